# shellcheck shell=bash
# A StatusNotifierItem tray for the end-to-end tests: an Xfce panel at the
# bottom left holding only its status tray, on the test's own session bus.
# Source it after lib.sh; start_session_bus first.

export XDG_CACHE_HOME=$E2E_WORK/cache
WATCHER=org.kde.StatusNotifierWatcher

# One panel at the bottom left holding only the status tray.
start_xfce_panel() {
    local channel=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$channel" "$XDG_CACHE_HOME"
    cat >"$channel/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=1010"/>
      <property name="length" type="uint" value="20"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML
    xfce4-panel >"$E2E_WORK/panel.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 30 host_ready || fail "the Xfce panel registered no StatusNotifierItem host"
}

# get SERVICE PATH INTERFACE PROPERTY: a D-Bus property, as dbus-send prints it.
get() {
    dbus-send --session --print-reply --dest="$1" "$2" org.freedesktop.DBus.Properties.Get \
        string:"$3" string:"$4" 2>/dev/null
}

host_ready() {
    get "$WATCHER" /StatusNotifierWatcher "$WATCHER" IsStatusNotifierHostRegistered | grep -q 'boolean true'
}

# The bus name of the registered item of the program; fails when there is none.
item_service() {
    get "$WATCHER" /StatusNotifierWatcher "$WATCHER" RegisteredStatusNotifierItems |
        sed -n 's|.*string "\([^"/]*\)/StatusNotifierItem".*|\1|p' | head -n1 | grep .
}

