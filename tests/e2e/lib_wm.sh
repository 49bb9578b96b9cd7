# shellcheck shell=bash
# A window manager for the end-to-end tests where stacking, focus or closing a
# window as a user does matters. Source it after lib.sh:
#   source "$(dirname "$0")/lib_wm.sh"

# Starts openbox on the test's display and waits until it manages windows.
# Openbox claims the display well before it is ready, and a window mapped in
# between stays unmanaged, so readiness is proven with a probe window.
start_wm() {
    openbox --sm-disable >"$E2E_WORK/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    local probe id
    for _ in $(seq 20); do
        xlogo -name tockwise-wm-probe -geometry 10x10+0+0 >/dev/null 2>&1 &
        probe=$!
        for _ in $(seq 10); do
            sleep 0.1
            id=$(xdotool search --classname '^tockwise-wm-probe$' 2>/dev/null | head -n1) || true
            # Managed means reparented into a frame.
            if [ -n "$id" ] && ! xwininfo -id "$id" -children 2>/dev/null | grep -q '^ *Parent window id: .*(the root window)'; then
                kill "$probe" 2>/dev/null || true
                wait "$probe" 2>/dev/null || true
                return 0
            fi
        done
        kill "$probe" 2>/dev/null || true
        wait "$probe" 2>/dev/null || true
    done
    fail "the window manager did not start"
}

# above A B: window A is higher than window B in the window manager's stacking.
above() {
    local list a b
    list=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //' | tr -d ' ' | tr ',' '\n')
    a=$(grep -nx "$(printf '0x%x' "$1")" <<<"$list" | cut -d: -f1)
    b=$(grep -nx "$(printf '0x%x' "$2")" <<<"$list" | cut -d: -f1)
    [ -n "$a" ] && [ -n "$b" ] && [ "$a" -gt "$b" ]
}

# wm_close WINDOW: asks the window to close the way a title bar's close button
# does (WM_DELETE_WINDOW), so the program sees an ordinary close, not a
# destroyed window.
wm_close() {
    python3 - "$1" <<'EOF'
import ctypes, ctypes.util, sys

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("message", ClientMessage), ("pad", ctypes.c_long * 24)]


display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
window = int(sys.argv[1], 0)
event = Event()
event.message.type = 33  # ClientMessage
event.message.window = window
event.message.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.message.format = 32
event.message.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.message.data[1] = 0  # CurrentTime
if not x11.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit("the close request could not be sent")
x11.XFlush(display)
x11.XCloseDisplay(display)
EOF
}
