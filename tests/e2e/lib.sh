# Shared by the end-to-end tests. Usage from a test script:
#   source "$(dirname "$0")/lib.sh" "$@"
# Arguments: the tockwise executable, the xshape_rects tool, the artefact folder.
# Sourcing starts the X server; the rest are helpers for windows, menus and the
# program's processes.
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
SETTINGS=$XDG_CONFIG_HOME/hqz.conf

# --- processes ---------------------------------------------------------------

# Every running copy of the program under test, also those it started itself
# (a restart), which are not our children.
program_pids() { pgrep -f "^$PROG_DIR/tockwise( |$)" || true; }

end_program_copies() {
    local pid
    for pid in $(program_pids); do kill "$pid" 2>/dev/null || true; done
}

e2e_cleanup() {
    local status=$?
    set +e
    # The program first, while its display is still there.
    end_program_copies
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ "$status" -eq 0 ] || [ "$status" -eq 77 ]; then rm -rf "$E2E_WORK"; fi
}
trap e2e_cleanup EXIT

log() { echo "[$E2E_NAME] $*"; }

# The machine offers no way to make what the test needs: CTest counts the test
# as skipped (exit status 77), not passed.
skip() {
    echo "[$E2E_NAME] SKIPPED: $*"
    exit 77
}

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

# wait_for SECONDS CHECK...: runs CHECK every tenth of a second until it
# succeeds, for up to SECONDS. What the successful CHECK prints is passed on,
# so a finder's answer can be taken: id=$(wait_for 10 visible_window ...).
wait_for() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# wait_until CHECK...: wait_for with ten seconds, enough on a loaded machine.
wait_until() { wait_for 10 "$@"; }

# stays_false SECONDS CHECK...: the check stays false for the whole time.
stays_false() { ! wait_for "$@" >/dev/null; }

# gone CHECK...: the check fails; for wait_until gone ..., stays_false gone ...
gone() { ! "$@"; }

# Waits up to $2 seconds (default 10) for process $1 to end.
wait_for_exit() { wait_for "${2:-10}" gone kill -0 "$1" 2>/dev/null; }

# --- servers and the program -------------------------------------------------

start_x() {
    # A display another run still holds is never borrowed: take the next free
    # one, and only once its lock names our own server.
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

# start_tray [TRAYER-OPTIONS...]: e.g. "--SetPartialStrut true" to keep windows
# off the tray's strip, as a desktop panel does.
start_tray() {
    local tray tree
    TRAY_OPTIONS=("$@")
    # A second try when the first tray host dies early on a busy machine.
    for _ in 1 2; do
        trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 "$@" >/dev/null 2>&1 &
        tray=$!
        TRAY_PID=$tray
        E2E_PIDS+=($tray)
        for _ in $(seq 100); do
            # Read the whole tree first: grep -q would close the pipe early and,
            # under pipefail, fail the check even when the panel is there.
            tree=$(xwininfo -root -tree 2>/dev/null || true)
            grep -q '"panel"' <<<"$tree" && return 0
            kill -0 "$tray" 2>/dev/null || break
            sleep 0.1
        done
    done
    fail "the tray host did not start"
}

# A private session bus, started after the test's own folders are set, so what
# it starts on demand (a panel's settings service) reads and writes only them.
start_session_bus() {
    local out
    out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no session bus"
    DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$out")
    export DBUS_SESSION_BUS_ADDRESS
    E2E_PIDS+=("$(sed -n 2p <<<"$out")")
}

install_program() {
    mkdir -p "$PROG_DIR"
    cp "$E2E_PROGRAM" "$PROG_DIR/"
    cp "$(dirname "$E2E_PROGRAM")/Chime1.wav" "$PROG_DIR/" 2>/dev/null || true
}

# The libfaketime library to preload; fails the test where there is none.
faketime_lib() {
    local lib
    lib=$(find /usr/lib -name libfaketime.so.1 -path '*faketime*' 2>/dev/null | head -n 1)
    [ -n "$lib" ] || fail "libfaketime.so.1 not found"
    echo "$lib"
}

# poll_the_clock: for tests that move the faked clock under a running program.
# The program sleeps on a kernel timer that the kernel cancels when the real
# clock is set, never for a jump libfaketime makes up; TOCKWISE_POLL_CLOCK=1
# selects the fallback that looks at the clock once a second instead.
poll_the_clock() { export TOCKWISE_POLL_CLOCK=1; }

# launch [VAR=VALUE...] -- [ARGS...]: starts the installed program in the
# background with those variables set; it is CLOCK_PID, its output goes to
# clock.log. env replaces itself with the program, so signals reach it.
launch() {
    local vars=()
    while [ "$1" != -- ]; do
        vars+=("$1")
        shift
    done
    shift
    env "${vars[@]}" "$PROG_DIR/tockwise" "$@" >>"$E2E_WORK/clock.log" 2>&1 &
    CLOCK_PID=$!
    E2E_PIDS+=($CLOCK_PID)
}

# start_clock [faketime-spec] [args...]
start_clock() {
    local when=${1:-} lib
    shift || true
    if [ -n "$when" ]; then
        lib=$(faketime_lib) || exit 1
        # libfaketime preloaded directly rather than through the faketime
        # wrapper, so that $! is the program itself and signals reach it.
        # Qt's timers run on the monotonic clock; only the date is meant to be
        # faked (shifting the monotonic clock by years would turn it negative).
        launch LD_PRELOAD="$lib" FAKETIME="$when" FAKETIME_DONT_RESET=1 FAKETIME_DONT_FAKE_MONOTONIC=1 -- "$@"
    else
        launch -- "$@"
    fi
}

setting() {
    sed -n "s/^${1}=//p" "$SETTINGS" 2>/dev/null
}

# --- windows -----------------------------------------------------------------

# Absolute position of a window: "X Y".
window_position() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'
}

# visible_window TITLE WIDTH HEIGHT [PID]: one look, no waiting, for a window of
# that title and size on screen (of process PID only, if given); prints its id.
visible_window() {
    local id info
    local search=(xdotool search --onlyvisible --name "^$1\$")
    [ -z "${4:-}" ] || search=(xdotool search --all --onlyvisible --pid "$4" --name "^$1\$")
    for id in $("${search[@]}" 2>/dev/null || true); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        if grep -q "Width: $2\$" <<<"$info" && grep -q "Height: $3\$" <<<"$info"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# wait_for_window TITLE WIDTH HEIGHT: waits up to ten seconds for such a window.
wait_for_window() { wait_for 10 visible_window "$@"; }

# named_window TITLE: one look for a window of that title on screen, whatever
# its size; prints the first one's id.
named_window() {
    { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; } | head -n 1 | grep .
}

# window_sizes TITLE: "WxH" of every window of that title on screen, for
# failure messages.
window_sizes() {
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true); do
        xwininfo -id "$id" 2>/dev/null | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {printf "%sx%s ", w, h}'
    done
}

# click_at WINDOW X Y: a left click at pixel (X, Y) of the window's client area.
click_at() {
    local wx wy
    read -r wx wy < <(window_position "$1")
    xdotool mousemove $((wx + $2)) $((wy + $3)) click 1
}

# clock_window [PID]: the visible 200 x 70 window titled Tockwise.
clock_window() { visible_window Tockwise 200 70 "${1:-}"; }
clock_shown() { clock_window >/dev/null; }

wait_for_clock() {
    CLOCK_WIN=$(wait_for 10 clock_window) || fail "the clock window did not appear"
}

# The missed alarms panel: the window titled "Missed Alarms", 400 x 135.
panel_window() { visible_window 'Missed Alarms' 400 135; }
panel_shown() { panel_window >/dev/null; }

# Any window titled "Missed Alarms" on screen, whatever its size; empty if none.
missed_window() { named_window 'Missed Alarms' || true; }

# Tree listings can be long, under a window manager more so; a reader that
# stops early would break the pipe, so the listing is taken whole first.
tray_icon() {
    local tree
    tree=$(xwininfo -root -tree 2>/dev/null) || return 1
    awk '/"Tockwise".*22x22/ && !found {print $1; found=1}' <<<"$tree" | grep .
}

# The tray host is no part of the program: on a busy machine trayer has been
# seen to die just after it started. The program docks its icon again in a
# new one, so a dead host is started again once.
wait_for_tray_icon() {
    TRAY_ICON=$(wait_for 10 tray_icon) && return 0
    if [ -n "${TRAY_PID:-}" ] && ! kill -0 "$TRAY_PID" 2>/dev/null; then
        log "the tray host had ended; it is started again"
        start_tray "${TRAY_OPTIONS[@]}"
        TRAY_ICON=$(wait_for 10 tray_icon) && return 0
    fi
    fail "no tray icon"
}

# click_icon BUTTON [REPEAT]: clicks in the middle of the tray icon TRAY_ICON.
click_icon() {
    local ix iy
    read -r ix iy < <(window_position "$TRAY_ICON")
    xdotool mousemove $((ix + 11)) $((iy + 11)) click --repeat "${2:-1}" --delay 120 "$1"
}

# double_click_until CHECK...: a left double click on the tray icon, then the
# check. On a loaded machine the two clicks may reach the program further
# apart than a double click's interval, as two single clicks, which do
# nothing: up to three tries.
double_click_until() {
    for _ in 1 2 3; do
        click_icon 1 2
        wait_until "$@" && return 0
    done
    return 1
}

# A visible message box: titled "Tockwise" but neither the 200 x 70 clock
# nor the 393 x 345 alarm list.
message_box() {
    local id info
    for id in $(xdotool search --onlyvisible --name '^Tockwise$' 2>/dev/null || true); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        if grep -q 'Width: 200$' <<<"$info" && grep -q 'Height: 70$' <<<"$info"; then continue; fi
        if grep -q 'Width: 393$' <<<"$info" && grep -q 'Height: 345$' <<<"$info"; then continue; fi
        # The tray icon is a 22 x 22 window titled Tockwise too.
        if grep -q 'Width: 22$' <<<"$info"; then continue; fi
        echo "$id"
        return 0
    done
    return 1
}

# wait_for_message_box [SECONDS]
wait_for_message_box() { wait_for "${1:-5}" message_box; }

# answer_box BOX: the box's default button (OK, or Yes for a question) by the
# keyboard; fails if the box is still there three seconds later.
answer_box() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key --clearmodifiers Return
    wait_for 3 box_gone "$1"
}

box_gone() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || return 0
    ! grep -q 'IsViewable' <<<"$info"
}

# One look for the program's tooltip-type windows on screen: "ID WIDTH HEIGHT"
# per line (a tray message is one, a tooltip another).
tip_windows() {
    local id found=1
    for id in $(xdotool search --all --onlyvisible --pid "$CLOCK_PID" --class tockwise 2>/dev/null || true); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP || continue
        echo "$id $(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')"
        found=0
    done
    return $found
}
# A tooltip: a tip window one line high; prints its id.
tooltip_window() { tip_windows | awk '$3 < 40 {print $1; found=1} END {exit !found}'; }

# --- menus -------------------------------------------------------------------

# One look, no waiting: the open pop-up menu of the program, "ID X Y WIDTH HEIGHT".
menu_geometry() {
    local id info
    for id in $(xdotool search --onlyvisible --class tockwise 2>/dev/null || true); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        # Menus are override-redirect, like the tray icon; the icon is 22 high.
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        # So are a first start's tray message and tooltips.
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && continue
        if [ "$(awk '/Height:/ {print $2}' <<<"$info")" -gt 40 ]; then
            echo "$id $(awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}' <<<"$info")"
            return 0
        fi
    done
    return 1
}

menu_shown() { menu_geometry >/dev/null; }

# The open pop-up menu, waiting up to ten seconds for it: "ID X Y WIDTH HEIGHT".
open_menu() { wait_for 10 menu_geometry; }

# The open menu once it has kept one size and place for a moment, as a loaded
# machine may still be placing it: "ID X Y WIDTH HEIGHT".
settled_menu() {
    local now last
    last=$(open_menu) || return 1
    for _ in $(seq 20); do
        sleep 0.2
        # A look that finds nothing (the window list changing meanwhile)
        # keeps what the last one found.
        now=$(menu_geometry) || break
        [ "$now" = "$last" ] && break
        last=$now
    done
    echo "$last"
}

# menu_choose INDEX COUNT: clicks item INDEX (from 0) of an open menu of COUNT
# equally high items.
menu_choose() {
    local index=$1 count=$2 id x y w h
    read -r id x y w h < <(settled_menu) || fail "no menu is open"
    local item_height=$(( (h - 8) / count ))
    xdotool mousemove $((x + w / 2)) $((y + 4 + item_height * index + item_height / 2)) click 1
}

# open_main_menu [X]: right-clicks the clock X pixels from its left edge
# (default 100, the middle) and half-way down, and waits for its menu. Its five
# items: "Open Alarms", "Show Missed Alarms", "Change Appearance", "Hide", "Exit".
open_main_menu() {
    local x y
    read -r x y < <(window_position "$CLOCK_WIN")
    xdotool mousemove $((x + ${1:-100})) $((y + 35)) click 3
    open_menu >/dev/null || fail "no menu after a right click on the clock"
}

# main_menu_choose INDEX [X]: item INDEX of the clock's main menu, opened as by
# open_main_menu; the menu must close.
main_menu_choose() {
    open_main_menu "${2:-}"
    menu_choose "$1" 5
    wait_until gone menu_shown || fail "the main menu stayed open"
}

# tray_menu_choose Show|Exit|Cancel: the item of the open tray menu ("Show",
# "Exit", a separator line, "Cancel"). The items are equally high and the line
# is thin, so thirds of the height find them. Fails if no menu opens.
tray_menu_choose() {
    local id x y w h offset
    read -r id x y w h < <(settled_menu) || return 1
    case $1 in
    Show) offset=$((h / 6)) ;;
    Exit) offset=$((h / 2)) ;;
    Cancel) offset=$((h - h / 6)) ;;
    esac
    xdotool mousemove $((x + w / 2)) $((y + offset)) click 1
}

# Ends the program with Exit from its main menu.
exit_from_menu() {
    open_main_menu
    sleep 0.3
    menu_choose 4 5
    wait_for_exit "$CLOCK_PID" 10 || fail "Exit did not end the program"
}

# --- the program's windows ---------------------------------------------------

# open_alarm_list [X]: "Open Alarms" from the clock's main menu (see
# open_main_menu for X); prints the list's window id.
open_alarm_list() {
    main_menu_choose 0 "${1:-}"
    # The list window: 5895 x 5175 twips.
    wait_for_window Tockwise 393 345 || fail "\"Open Alarms\" showed no 393 x 345 \"Tockwise\" window"
}

# open_theme_window [X]: "Change Appearance" from the clock's main menu;
# prints the theme window's id.
open_theme_window() {
    main_menu_choose 2 "${1:-}"
    # The theme window: 3015 x 2535 twips.
    wait_for_window 'Tockwise - Theme' 201 169 ||
        fail "\"Change Appearance\" showed no 201 x 169 \"Tockwise - Theme\" window"
}

# open_editor LIST [WHY]: "Add New" (120, 3840, 1815, 375 twips) in the alarm
# list; prints the editor's window id, or fails saying WHY.
open_editor() {
    click_at "$1" 68 268
    # The editor: 4575 x 4815 twips.
    wait_for_window 'Alarm Details' 305 321 ||
        fail "${2:-"\"Add New\" showed no 305 x 321 \"Alarm Details\" window"}"
}

# type_alarm_name EDITOR NAME: into NameText (1200, 120, 3255, 285 twips); the
# other fields appear once it has a name.
type_alarm_name() {
    click_at "$1" 188 17
    sleep 0.2
    xdotool type --delay 30 "$2"
    sleep 0.3
}

# ConfirmButton (1680, 4320, 1335, 375 twips).
confirm_alarm() { click_at "$1" 156 300; }

# add_alarm LIST NAME: "Add New", the name, "Confirm" (a Once Only alarm at the
# editor's defaults).
add_alarm() {
    local editor
    editor=$(open_editor "$1") || exit 1
    sleep 0.3
    type_alarm_name "$editor" "$2"
    confirm_alarm "$editor"
}

# Waits up to five seconds for the editor to go.
wait_editor_closed() { wait_until gone named_window 'Alarm Details' >/dev/null; }

# --- pictures ----------------------------------------------------------------

# dark_pixels FILE RECT [THRESHOLD] / light_pixels ...: how many pixels in a
# rectangle ("WxH+X+Y") of a picture are darker / lighter than THRESHOLD
# (default 50%) grey; 0 if the picture cannot be read.
dark_pixels() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold "${3:-50%}" \
        -format '%[fx:int(w*h*(1-mean)+0.5)]' info: 2>/dev/null || echo 0
}
light_pixels() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold "${3:-50%}" \
        -format '%[fx:int(w*h*mean+0.5)]' info: 2>/dev/null || echo 0
}

start_x
