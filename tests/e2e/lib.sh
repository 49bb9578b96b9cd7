# Shared by the end-to-end tests. Usage from a test script:
#   source "$(dirname "$0")/lib.sh" "$@"
# Arguments: the tockwise executable, the xshape_rects tool, the artefact folder.
set -euo pipefail

E2E_PROGRAM=$1
E2E_XSHAPE=$2
E2E_ARTIFACTS=$3
E2E_NAME=$(basename "$0" .sh)
E2E_WORK=$(mktemp -d "/tmp/${E2E_NAME}.XXXXXX")
E2E_PIDS=()

# Each test its own display, so tests may run side by side.
E2E_DISPLAY_NUM=$(( 100 + ($(cksum <<<"$E2E_NAME" | cut -d' ' -f1) % 400) ))

export XDG_CONFIG_HOME=$E2E_WORK/config
export XDG_DATA_HOME=$E2E_WORK/data
export XDG_RUNTIME_DIR=$E2E_WORK/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export DISPLAY=:$E2E_DISPLAY_NUM
PROG_DIR=$E2E_WORK/prog
FAKETIME_LIB=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -1)
SETTINGS=$XDG_CONFIG_HOME/hqz.conf

e2e_cleanup() {
    local status=$?
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Copies started by the program itself (a restart) are not our children.
    pkill -f "^$PROG_DIR/tockwise" 2>/dev/null || true
    wait 2>/dev/null || true
    if [ "$status" -eq 0 ]; then rm -rf "$E2E_WORK"; fi
}
trap e2e_cleanup EXIT

log() { echo "[$E2E_NAME] $*"; }

screenshot() {
    mkdir -p "$E2E_ARTIFACTS"
    import -window root "$E2E_ARTIFACTS/$E2E_NAME-$1.png" 2>/dev/null || true
}

fail() {
    echo "[$E2E_NAME] FAIL: $*" >&2
    screenshot failure
    [ -f "$E2E_WORK/clock.log" ] && sed 's/^/    clock: /' "$E2E_WORK/clock.log" >&2
    echo "[$E2E_NAME] work folder kept: $E2E_WORK" >&2
    exit 1
}

start_x() {
    # A display another run still holds is never borrowed: take the next free one.
    local n=$E2E_DISPLAY_NUM xvfb
    for _ in $(seq 20); do
        if [ ! -e "/tmp/.X${n}-lock" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
            xvfb=$!
            E2E_PIDS+=($xvfb)
            export DISPLAY=:$n
            for _ in $(seq 100); do
                if [ "$(cat "/tmp/.X${n}-lock" 2>/dev/null | tr -d ' ')" = "$xvfb" ] && xdpyinfo >/dev/null 2>&1; then
                    xsetroot -solid '#3a6ea5'
                    return 0
                fi
                kill -0 "$xvfb" 2>/dev/null || break
                sleep 0.1
            done
        fi
        n=$((n + 1))
    done
    fail "Xvfb did not start"
}

start_tray() {
    trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
    E2E_PIDS+=($!)
    for _ in $(seq 50); do
        xwininfo -root -tree 2>/dev/null | grep -q '"panel"' && return 0
        sleep 0.1
    done
    fail "the tray host did not start"
}

install_program() {
    mkdir -p "$PROG_DIR"
    cp "$E2E_PROGRAM" "$PROG_DIR/"
    cp "$(dirname "$E2E_PROGRAM")/Chime1.wav" "$PROG_DIR/" 2>/dev/null || true
}

# start_clock [faketime-spec] [args...]
start_clock() {
    local when=${1:-}
    shift || true
    if [ -n "$when" ]; then
        # libfaketime preloaded directly rather than through the faketime
        # wrapper, so that $! is the program itself and signals reach it.
        LD_PRELOAD=$FAKETIME_LIB FAKETIME="$when" FAKETIME_DONT_RESET=1 \
            "$PROG_DIR/tockwise" "$@" >>"$E2E_WORK/clock.log" 2>&1 &
    else
        "$PROG_DIR/tockwise" "$@" >>"$E2E_WORK/clock.log" 2>&1 &
    fi
    CLOCK_PID=$!
    E2E_PIDS+=($CLOCK_PID)
}

# The visible 200 x 70 window titled Tockwise.
clock_window() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Tockwise$' 2>/dev/null); do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Width: 200' &&
            xwininfo -id "$id" 2>/dev/null | grep -q 'Height: 70'; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

wait_for_clock() {
    for _ in $(seq 100); do
        CLOCK_WIN=$(clock_window) && return 0
        sleep 0.1
    done
    fail "the clock window did not appear"
}

# Absolute position of a window: "X Y".
window_position() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'
}

# Waits up to $2 seconds (default 5) for process $1 to end.
wait_for_exit() {
    local pid=$1 limit=${2:-5}
    for _ in $(seq $((limit * 10))); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

setting() {
    sed -n "s/^${1}=//p" "$SETTINGS" 2>/dev/null
}

start_x

# The open pop-up menu of the program: "ID X Y WIDTH HEIGHT".
open_menu() {
    local id geometry
    for _ in $(seq 30); do
        for id in $(xdotool search --onlyvisible --class tockwise 2>/dev/null); do
            geometry=$(xwininfo -id "$id" 2>/dev/null |
                awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width/ {w=$2} /Height/ {h=$2} END {print x, y, w, h}')
            # Menus are override-redirect, like the tray icon; the icon is 22 high.
            if xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes' &&
                [ "$(cut -d' ' -f4 <<<"$geometry")" -gt 40 ]; then
                echo "$id $geometry"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# menu_choose INDEX COUNT: clicks item INDEX (from 0) of an open menu of COUNT
# equally high items.
menu_choose() {
    local index=$1 count=$2 id x y w h
    read -r id x y w h < <(open_menu) || fail "no menu is open"
    local item_height=$(( (h - 8) / count ))
    xdotool mousemove $((x + w / 2)) $((y + 4 + item_height * index + item_height / 2)) click 1
}
