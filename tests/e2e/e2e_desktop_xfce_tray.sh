#!/usr/bin/env bash
# On a tray that hosts icons over D-Bus (StatusNotifierItem: the Xfce panel
# here, as on KDE Plasma, GNOME with AppIndicator and LXQt) the icon registers
# titled "Tockwise"; a left click on it (the item's activation; such a tray has
# no double click) shows the hidden clock and raises it above a covering
# window. The item exports the tray menu (Show, Exit, Cancel) over D-Bus, so a
# right click on it opens that menu in the panel and each entry works; a host
# that asks for the menu instead (the item's context request) gets ours.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/lib_wm.sh"
source "$(dirname "$0")/lib_panel.sh"

# call METHOD: one of the item's methods, at the panel's corner as a host passes it.
call() {
    dbus-send --session --print-reply --dest="$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem."$1" \
        int32:10 int32:1000 >/dev/null || fail "the item did not answer $1"
}

# The labels of the item's exported menu, in order, a separator as "-".
exported_labels() {
    local path
    path=$(get "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Menu | sed -n 's/.*object path "\(.*\)"/\1/p')
    [ -n "$path" ] && [ "$path" != /NO_DBUSMENU ] || return 1
    dbus-send --session --print-reply --dest="$ITEM" "$path" com.canonical.dbusmenu.GetLayout \
        int32:0 int32:-1 array:string: 2>/dev/null |
        awk '/string "label"/ {getline; sub(/.*string "/, ""); sub(/"$/, ""); print} /string "separator"/ {print "-"}' |
        tr '\n' ' '
}

# One look for the panel's open pop-up menu: "ID X Y WIDTH HEIGHT".
panel_menu() {
    local id
    for id in $(xdotool search --onlyvisible --classname '^wrapper-2.0$' 2>/dev/null || true); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q POPUP_MENU || continue
        echo "$id $(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')"
        return 0
    done
    return 1
}

# panel_menu_choose Show|Exit|Cancel: a real right click on the icon, then the
# entry of the menu the panel opens (three entries, a separator before Cancel).
panel_menu_choose() {
    local id x y w h offset
    xdotool mousemove $((PLUGIN_X + 12)) $((PLUGIN_Y + PLUGIN_H / 2)) click 3
    read -r id x y w h < <(wait_for 10 panel_menu) || fail "a right click on the tray icon opened no menu in the panel"
    # A loaded panel may still be laying its menu out: the place of an entry
    # is read once the menu has kept one size and place for a moment.
    local now=""
    for _ in $(seq 20); do
        sleep 0.3
        now=$(panel_menu) || fail "the panel's menu closed by itself"
        [ "$now" = "$id $x $y $w $h" ] && break
        read -r id x y w h <<<"$now"
    done
    menu_shown && fail "a right click on the tray icon opened the program's own menu as well"
    case $1 in
    Show) offset=$((h / 5)) ;;
    Exit) offset=$((h / 2)) ;;
    Cancel) offset=$((h - h / 5)) ;;
    esac
    xdotool mousemove $((x + w / 2)) $((y + offset))
    sleep 0.3
    xdotool click 1
    wait_until gone panel_menu || fail "the panel's menu stayed open after \"$1\""
}

start_session_bus
start_wm
start_xfce_panel
install_program
start_clock
wait_for_clock
ITEM=$(wait_for 10 item_service) || fail "the program registered no StatusNotifierItem with the Xfce panel"
title=$(get "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Title | sed -n 's/.*string "\(.*\)"/\1/p')
[ "$title" = Tockwise ] || fail "the tray item is titled \"$title\", not \"Tockwise\""
screenshot registered
log "item $ITEM registered, titled Tockwise"

# A foreign window over the left of the clock, then the clock hidden from its own menu.
read -r clock_x clock_y < <(window_position "$CLOCK_WIN")
xlogo -name tockwise-cover -geometry 150x110+$((clock_x - 30))+$((clock_y - 30)) >/dev/null 2>&1 &
E2E_PIDS+=($!)
COVER=$(wait_for 5 xdotool search --onlyvisible --classname '^tockwise-cover$') || fail "the covering window did not appear"
COVER=$(head -n1 <<<"$COVER")
main_menu_choose 3 170
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"

# A left click on the icon in the panel (the panel activates the item) brings
# it back, above the cover. The tray plugin runs in its own embedded window.
plugin=$(xdotool search --onlyvisible --name '^wrapper-2.0$' 2>/dev/null | head -n1) || true
[ -n "$plugin" ] || fail "the panel's tray plugin window was not found"
read -r PLUGIN_X PLUGIN_Y < <(window_position "$plugin")
PLUGIN_H=$(xwininfo -id "$plugin" | awk '/Height:/ {print $2}')
log "tray plugin window $plugin at $PLUGIN_X,$PLUGIN_Y, $PLUGIN_H high"
xdotool mousemove $((PLUGIN_X + 12)) $((PLUGIN_Y + PLUGIN_H / 2)) click 1
wait_until clock_shown || fail "a left click on the tray icon did not show the hidden clock"
CLOCK_WIN=$(clock_window)
wait_until above "$CLOCK_WIN" "$COVER" || fail "a left click on the tray icon left the clock under the covering window"
[ "$(window_position "$CLOCK_WIN")" = "$clock_x $clock_y" ] || fail "the clock came back at another place"
stays_false 1 panel_shown || fail "a left click on the tray icon also showed the missed panel"
screenshot activated
log "a left click on the icon showed and raised the clock"

# Already showing and covered: the item's activation raises it again.
xdotool windowactivate "$COVER" 2>/dev/null || true
wait_until above "$COVER" "$CLOCK_WIN" || fail "setup: the covering window could not be raised over the clock"
call Activate
wait_until above "$CLOCK_WIN" "$COVER" || fail "activating the tray item did not raise the showing clock"

# The exported menu: its entries, and a real right click on the icon opening it.
labels=$(exported_labels) || fail "the tray item exports no menu"
[ "$labels" = "Show Exit - Cancel " ] || fail "the exported tray menu lists \"$labels\", not Show, Exit, a line, Cancel"
main_menu_choose 3 170
wait_until gone clock_shown || fail "\"Hide\" left the clock on screen"
panel_menu_choose Show
wait_until clock_shown || fail "\"Show\" in the panel's menu did not show the hidden clock"
screenshot panel-menu-show
panel_menu_choose Cancel
stays_false 1 gone clock_shown || fail "\"Cancel\" in the panel's menu hid the clock"
log "the panel lists the exported menu; its Show showed the hidden clock, Cancel did nothing"

# A host that asks for the menu (the context request) gets the program's own.
xdotool mousemove 40 900
call ContextMenu
open_menu >/dev/null || fail "the item's context request opened no menu"
screenshot context-menu
tray_menu_choose Cancel
wait_until gone menu_shown || fail "\"Cancel\" left the tray menu open"
stays_false 1 gone clock_shown || fail "\"Cancel\" hid the clock"

panel_menu_choose Exit
wait_for_exit "$CLOCK_PID" 10 || fail "\"Exit\" in the panel's menu did not end the program"
wait "$CLOCK_PID" || fail "after \"Exit\" in the panel's menu the program ended with status $?"
wait_until gone item_service || fail "the tray item stayed registered after the program ended"
log "the context request opened the tray menu; Exit in the panel's menu ended the program"
