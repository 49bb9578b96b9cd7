#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it the way a user
# meets it. Usage: tests/package/check_deb.sh [BUILD_DIR]   (default: build)
#
# Always: the package's name, version, files and dependencies, lintian (no
# error, no warning), and the packaged program answering --help and --version
# with no display. As root on Debian, also: apt-get install of the package, the
# installed clock started under Xvfb by an ordinary user with a fresh home (its
# window appears, Alarms.dat is made in the per-user data folder, nothing is
# written under /usr/lib/tockwise), the desktop entry and the metainfo
# validated where they were installed, and apt-get purge, which always runs,
# also when a check fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
started=$SECONDS
work=$(mktemp -d /tmp/check_deb.XXXXXX)
clock_pid=
xvfb_pid=
installed_by_us=
added_packages=()

log() { echo "[check_deb] $*"; }
fail() {
    echo "[check_deb] FAIL: $*" >&2
    [ -s "$work/clock.log" ] && sed 's/^/    clock: /' "$work/clock.log" >&2
    exit 1
}

cleanup() {
    local status=$?
    set +e
    [ -n "$clock_pid" ] && kill "$clock_pid" 2>/dev/null && wait "$clock_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    if [ -n "$installed_by_us" ]; then
        # What the install brought in besides the package goes too.
        if apt-get purge -y -qq -o DPkg::Lock::Timeout=120 tockwise "${added_packages[@]}" >"$work/purge.log" 2>&1 &&
            ! dpkg-query -W -f='${Status}' tockwise 2>/dev/null | grep -q installed && [ ! -e /usr/lib/tockwise ]; then
            log "purged: tockwise${added_packages[*]:+ and ${added_packages[*]}}; the whole check took $((SECONDS - started)) s"
        else
            cat "$work/purge.log" >&2
            echo "[check_deb] FAIL: apt-get purge did not remove the package" >&2
            status=1
        fi
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

wait_for() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# --- the package -------------------------------------------------------------

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
arch=$(dpkg --print-architecture)
deb=$build/tockwise_${version}_${arch}.deb
rm -f "$deb"
cpack_started=$SECONDS
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
log "built $(basename "$deb") in $((SECONDS - cpack_started)) s: $(($(stat -c %s "$deb") / 1024)) KiB, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tockwise ] || fail "package name is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "package version '$(field Version)' is not the project's $version"
[ "$(field Architecture)" = "$arch" ] || fail "architecture '$(field Architecture)', not $arch"
[ "$(field Section)" = utils ] || fail "section is '$(field Section)'"
depends=$(field Depends)
for need in qt6-qpa-plugins fonts-liberation libqt6multimedia6 libqt6widgets6 libcanberra0 libcanberra-pulse libpulse0 libical3 libsecret-1-0; do
    grep -Eq "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need: $depends"
done

id=example.varnod.Tockwise
files=(
    usr/bin/tockwise usr/lib/tockwise/tockwise usr/lib/tockwise/Chime1.wav
    "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
    "usr/share/icons/hicolor/48x48/apps/$id.png" "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/man/man1/tockwise.1.gz usr/share/doc/tockwise/copyright usr/share/doc/tockwise/changelog.gz
)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents"
for file in "${files[@]}"; do
    grep -qx "$file" "$work/contents" || fail "the package lacks /$file"
done
outside=$(awk '$0 != "" && $0 !~ /\/$/ && $0 !~ /^usr\//' "$work/contents")
[ -z "$outside" ] || fail "the package holds files outside /usr: $outside"
log "name, version $version, section, dependencies and the ${#files[@]} files are in place"

# Lintian runs as root with a note; errors and warnings both fail.
lintian_started=$SECONDS
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log" >&2
    fail "lintian reports the above"
}
log "lintian: no errors, no warnings ($((SECONDS - lintian_started)) s)"

# The packaged program itself, with no display at all.
dpkg-deb -x "$deb" "$work/unpacked"
program=$work/unpacked/usr/lib/tockwise/tockwise
help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help) || fail "tockwise --help failed without a display"
grep -q '^Usage: tockwise' <<<"$help" || fail "tockwise --help printed no usage: $help"
[ "$(env -u DISPLAY "$program" --version)" = "tockwise $version" ] || fail "tockwise --version does not print 'tockwise $version'"
status=0
env -u DISPLAY "$program" --no-such-option 2>"$work/err" >/dev/null || status=$?
if [ "$status" -ne 2 ] || [ "$(wc -l <"$work/err")" -ne 1 ]; then
    fail "an unknown option gave status $status and: $(cat "$work/err")"
fi
log "the packaged program answers --help, --version and an unknown option without a display"

# --- installed as a user installs it ------------------------------------------

if [ "$(id -u)" -ne 0 ] || [ ! -f /etc/debian_version ] || ! command -v apt-get >/dev/null; then
    log "SKIPPED: installing the package needs root on Debian; not installed, not started ($((SECONDS - started)) s)"
    exit 0
fi
if dpkg-query -W -f='${Status}' tockwise 2>/dev/null | grep -q 'install ok installed'; then
    log "SKIPPED: a tockwise package is already installed on this machine; it is left alone ($((SECONDS - started)) s)"
    exit 0
fi
[ ! -e /usr/lib/tockwise ] || fail "/usr/lib/tockwise exists without the package; remove it first"

# Whatever apt would add besides the package is removed again with it.
mapfile -t added_packages < <(apt-get install -s "$deb" 2>/dev/null | awk '/^Inst / && $2 != "tockwise" {print $2}')
installed_by_us=yes
install_started=$SECONDS
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=120 "$deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "apt-get install failed"; }
log "apt-get install: done in $((SECONDS - install_started)) s${added_packages[*]:+, bringing in ${added_packages[*]}}"
[ "$(readlink -f /usr/bin/tockwise)" = /usr/lib/tockwise/tockwise ] || fail "/usr/bin/tockwise does not lead to the program"

desktop-file-validate /usr/share/applications/$id.desktop || fail "the installed desktop entry is not valid"
appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "the installed metainfo is not valid"; }
log "installed desktop entry and metainfo are valid"

# A desktop user is not root: the clock runs as nobody with a fresh home, so
# the program folder is read-only to it, as on a user's machine.
user=nobody
group=$(id -gn "$user")
home=$work/home
mkdir -p "$home/.config" "$home/.local/share" "$home/.cache" "$home/run"
chmod 700 "$home/run"
chown -R "$user:$group" "$home"
chmod 755 "$work"
touch "$work/installed"

display=
for n in $(seq 150 199); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    if wait_for 10 sh -c "[ \"\$(tr -d ' ' </tmp/.X$n-lock)\" = $xvfb_pid ] && DISPLAY=:$n xdpyinfo >/dev/null" 2>/dev/null; then
        display=:$n
        break
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
done
[ -n "$display" ] || fail "Xvfb did not start"

setpriv --reuid="$user" --regid="$group" --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 DISPLAY="$display" \
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/run" \
    /usr/bin/tockwise >"$work/clock.log" 2>&1 &
clock_pid=$!

clock_window() {
    local wid
    for wid in $(DISPLAY=$display xdotool search --onlyvisible --pid "$clock_pid" 2>/dev/null); do
        DISPLAY=$display xwininfo -id "$wid" 2>/dev/null | grep -q 'Width: 200$' &&
            DISPLAY=$display xwininfo -id "$wid" | grep -q 'Height: 70$' && return 0
    done
    return 1
}
wait_for 15 clock_window || fail "the installed clock's 200 x 70 window did not appear"
alarms=$home/.local/share/tockwise/Alarms.dat
wait_for 10 test -s "$alarms" || fail "Alarms.dat was not made in the per-user data folder"
[ "$(stat -c %U "$alarms")" = "$user" ] || fail "Alarms.dat does not belong to the user"
kill -0 "$clock_pid" 2>/dev/null || fail "the clock ended on its own"
kill "$clock_pid"
wait "$clock_pid" 2>/dev/null || true
clock_pid=
written=$(find /usr/lib/tockwise -newer "$work/installed")
[ -z "$written" ] || fail "written under /usr/lib/tockwise: $written"
log "the installed clock showed its window, made ~/.local/share/tockwise/Alarms.dat, wrote nothing under /usr/lib/tockwise"

# Root could write under /usr; the clock still keeps its alarms at home.
roothome=$work/roothome
mkdir -p "$roothome/run"
chmod 700 "$roothome/run"
env -i PATH=/usr/bin:/bin HOME="$roothome" LANG=C.UTF-8 DISPLAY="$display" XDG_RUNTIME_DIR="$roothome/run" \
    /usr/bin/tockwise >"$work/clock-root.log" 2>&1 &
clock_pid=$!
wait_for 15 clock_window || fail "the installed clock started by root showed no window"
wait_for 10 test -s "$roothome/.local/share/tockwise/Alarms.dat" || fail "root's clock made no Alarms.dat at home"
kill "$clock_pid"
wait "$clock_pid" 2>/dev/null || true
clock_pid=
written=$(find /usr/lib/tockwise -newer "$work/installed")
[ -z "$written" ] || fail "root's clock wrote under /usr/lib/tockwise: $written"
log "started by root, the clock kept its alarms at home too"
log "passed in $((SECONDS - started)) s (purge follows)"
