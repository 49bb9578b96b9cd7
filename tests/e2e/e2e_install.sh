#!/usr/bin/env bash
# Installs into a temporary prefix, validates the desktop entry and the
# metainfo, and starts the installed program once through its launcher.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_alarms.sh"

build=$(cd "$(dirname "$E2E_PROGRAM")/.." && pwd)
prefix=$E2E_WORK/prefix
cmake --install "$build" --prefix "$prefix" >"$E2E_WORK/install.log" 2>&1 || fail "cmake --install failed: $(tail -3 "$E2E_WORK/install.log")"

id=example.varnod.Tockwise
for file in bin/tockwise lib/tockwise/tockwise lib/tockwise/Chime1.wav share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/48x48/apps/$id.png share/icons/hicolor/scalable/apps/$id.svg \
    share/man/man1/tockwise.1.gz share/doc/tockwise/copyright; do
    [ -e "$prefix/$file" ] || fail "$file was not installed"
done
[ "$(identify -format '%wx%h' "$prefix/share/icons/hicolor/48x48/apps/$id.png")" = 48x48 ] || fail "the icon is not 48 x 48"
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "the desktop entry is not valid"
grep -qx 'Categories=Utility;Clock;' "$prefix/share/applications/$id.desktop" || fail "wrong categories"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$E2E_WORK/appstream.log" 2>&1 ||
    fail "the metainfo is not valid: $(cat "$E2E_WORK/appstream.log")"
log "installed layout, desktop entry and metainfo valid"

start_tray
"$prefix/bin/tockwise" >>"$E2E_WORK/clock.log" 2>&1 &
CLOCK_PID=$!
E2E_PIDS+=($CLOCK_PID)
wait_for_clock
# A writable program folder keeps the alarms beside the program.
wait_for_size "$prefix/lib/tockwise/Alarms.dat" 128 || fail "Alarms.dat was not made beside the program"
log "the installed program runs and keeps Alarms.dat in its folder"
