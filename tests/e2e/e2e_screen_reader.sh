#!/usr/bin/env bash
# What a screen reader hears, read from the real program's accessibility tree
# over AT-SPI: the notification is an alert whose "X" is a push button named
# "Close" (pressing it closes the notification); the alarm list is named; the
# editor's boxes and lists carry their labels; the about windows' links can be
# focused and open their sites with Enter. Over a link the pointer is the
# program's own 32 x 32 pointing hand with its hot spot at (5, 1).
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_alarms.sh"

export TZ=UTC
MENU_X=170
ATSPI_LAUNCHER=$(dpkg -L at-spi2-core 2>/dev/null | grep '/at-spi-bus-launcher$' | head -n1)
[ -x "$ATSPI_LAUNCHER" ] || fail "at-spi-bus-launcher not found (package at-spi2-core)"

# atspi dump | atspi press ROLE NAME: the program's tree as "ROLE|NAME|labelled-by:LABEL|STATES"
# lines indented by depth, or the "press" action of the first object of that
# role and name. Debian's own Python, which has pyatspi.
atspi() {
    timeout 30 /usr/bin/python3 - "$@" <<'PY'
import sys
import pyatspi

def line(o):
    labels = ["labelled-by:" + r.getTarget(0).name for r in o.getRelationSet()
              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    states = o.getState()
    flags = [s for s in ("focusable", "focused") if states.contains(getattr(pyatspi, "STATE_" + s.upper()))]
    return "%s|%s|%s|%s" % (o.getRoleName(), o.name, " ".join(labels), ",".join(flags))

def walk(o, depth=0):
    yield depth, o
    for i in range(o.childCount):
        child = o.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)

apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "Tockwise"]
if not apps:
    sys.exit("the program is not on the accessibility bus")
if sys.argv[1] == "dump":
    for depth, o in walk(apps[0]):
        print("  " * depth + line(o))
else:
    role, name = sys.argv[2], sys.argv[3]
    for _, o in walk(apps[0]):
        if o.getRoleName() == role and o.name == name:
            actions = o.queryAction()
            names = [actions.getName(i) for i in range(actions.nActions)]
            for i, action in enumerate(names):
                if action.lower() == "press":
                    sys.exit(0 if actions.doAction(i) else 1)
            sys.exit("%s %s offers no press action, only %s" % (role, name, names))
    sys.exit("no %s named %s" % (role, name))
PY
}

# has TREE LINE-PATTERN WHY: the dump holds a line matching the extended pattern.
has() { grep -Eq "^ *$2" <<<"$1" || fail "$3"; }

# The pointer's image as the X server has it: "WIDTH HEIGHT XHOT YHOT".
pointer_image() {
    python3 - <<'PY'
import ctypes, ctypes.util

class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p), ("atom", ctypes.c_ulong),
                ("name", ctypes.c_char_p)]

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
image = xfixes.XFixesGetCursorImage(x11.XOpenDisplay(None)).contents
print(image.width, image.height, image.xhot, image.yhot)
PY
}

start_session_bus
"$ATSPI_LAUNCHER" --launch-immediately >"$E2E_WORK/atspi.log" 2>&1 &
E2E_PIDS+=($!)
start_wm
start_tray
install_program
printf '#!/bin/sh\necho "$1" >>"%s"\n' "$E2E_WORK/opened.txt" >"$E2E_WORK/browser"
chmod +x "$E2E_WORK/browser"
export BROWSER=$E2E_WORK/browser
write_alarms "$PROG_DIR/Alarms.dat" 'Dentist|daily|08:00'
write_settings "Last%20Check=$(minute_of '2024-03-07 07:58')"
# Kept from an earlier run, for the missed panel at the end.
mkdir -p "$XDG_DATA_HOME/tockwise"
printf 'Gym - 07:00,  6 March\nPills - 07:30,  6 March\n' >"$XDG_DATA_HOME/tockwise/missed-alarms.txt"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_clock "@2024-03-07 07:59:57"
wait_for_clock

# --- the notification ----------------------------------------------------------
wait_for 10 visible_window 'Alarm Notification' 400 100 >/dev/null || fail "the 08:00 alarm showed no notification"
tree=$(atspi dump) || fail "the accessibility tree could not be read"
has "$tree" 'alert\|Alarm Notification: Dentist, 08:00' "the notification is not an alert named after its alarm"
alert=$(awk '/^ *alert\|/ {d=match($0, /[^ ]/); on=1; print; next} on && match($0, /[^ ]/) > d {print; next} {on=0}' <<<"$tree")
has "$alert" 'push button\|Close\|' "the notification's \"X\" is no push button named \"Close\""
atspi press 'push button' Close || fail "the notification's \"Close\" button could not be pressed"
wait_until gone visible_window 'Alarm Notification' 400 100 || fail "pressing \"Close\" left the notification open"
log "the notification is an alert; its \"Close\" button closed it"

# --- the alarm list and the editor --------------------------------------------
LIST_WIN=$(open_alarm_list "$MENU_X")
EDITOR=$(open_editor "$LIST_WIN")
sleep 0.3
type_alarm_name "$EDITOR" "Tea"
tree=$(atspi dump) || fail "the accessibility tree could not be read"
has "$tree" 'list\|List of alarms\|' "the alarm list is not named"
has "$tree" 'link\|About Varnod\|.*focusable' "\"About Varnod\" is no focusable link"
has "$tree" 'link\|About Crewline Kit\|.*focusable' "\"About Crewline Kit\" is no focusable link"
has "$tree" 'text\|Name\|labelled-by:Name:' "the name box is not named by its label"
has "$tree" 'text\|Hour\|labelled-by:Time:' "the hour box is not named by its label"
has "$tree" 'text\|Minute\|' "the minute box is not named"
has "$tree" 'combo box\|Once Only\|labelled-by:Type:' "the type list is not labelled \"Type:\""
has "$tree" 'combo box\|Monday\|labelled-by:Day:' "the weekday list is not labelled \"Day:\""
has "$tree" 'table\|Date\|labelled-by:Date:' "the calendar is not named by its label"
log "the list is named; the editor's boxes and lists carry their labels"
xdotool key Escape
wait_editor_closed || fail "Escape did not close the editor"

# --- the about windows ---------------------------------------------------------
for about in 'About Varnod|750|469|4680|4800|https://www.varnod.example|528|416' \
    'Crewline Kit|750|500|3840|720|https://www.crewlinekit.example|48|314'; do
    IFS='|' read -r title w h link_x link_y address area_x area_y <<<"$about"
    click_at "$LIST_WIN" $((link_x / 15 + 30)) $((link_y / 15 + 8))
    ABOUT=$(wait_for_window "$title" "$w" "$h") || fail "the link did not open \"$title\""
    tree=$(atspi dump) || fail "the accessibility tree could not be read"
    has "$tree" "link\\|$address\\|\\|focusable,focused" "the link of \"$title\" is not a focused link named $address"
    xdotool windowactivate --sync "$ABOUT" 2>/dev/null || true
    xdotool key Return
    wait_until grep -qsx "$address" "$E2E_WORK/opened.txt" || fail "Enter in \"$title\" did not open $address"
    read -r ax ay < <(window_position "$ABOUT")
    xdotool mousemove $((ax + area_x + 20)) $((ay + area_y + 12))
    sleep 0.5
    [ "$(pointer_image)" = "32 32 5 1" ] ||
        fail "over the link of \"$title\" the pointer is $(pointer_image) (width, height, hot spot), not the 32 x 32 hand at 5, 1"
    screenshot "link-$w-$h"
    xdotool key Escape
    wait_until gone visible_window "$title" "$w" "$h" || fail "Escape did not close \"$title\""
    log "\"$title\": a focused link that Enter opens; the pointer over it is the 32 x 32 hand"
done

# --- the missed panel ------------------------------------------------------------
# Up and Down in the active panel give the chosen line the focus: it is read.
panel_shown || main_menu_choose 1 "$MENU_X"
wait_until panel_shown || fail "\"Show Missed Alarms\" did not show the panel"
read -r px py < <(window_position "$(panel_window)")
xdotool mousemove $((px + 40)) $((py + 10)) click 1
sleep 0.3
xdotool key Down Down
focused_line() {
    local tree
    tree=$(atspi dump) || return 1
    grep -Eq '^ *list item\|Pills - 07:30,  6 March\|.*focused' <<<"$tree"
}
wait_until focused_line || fail "the line chosen with Down is not the focused list item: $(atspi dump | grep -E 'list( item)?\|' || true)"
screenshot missed-line-focused
log "Down in the missed panel gives the chosen line the focus, as a list item named by its text"
