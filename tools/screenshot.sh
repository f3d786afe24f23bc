#!/usr/bin/env bash
# Takes the README's picture of the real program: the built binary on a private Xvfb with a
# notification area (trayer), watching the loopback link while a paced UDP stream over
# 127.0.0.1 rises and falls, so that both graphs and the tray lamps show traffic.
#
#   tools/screenshot.sh [build dir, default build] [output, default doc/screenshot.png]
#
# Both paths are taken from the top of the source tree.
# Needs Xvfb, trayer, xdotool, ImageMagick and python3 (tools/bootstrap.sh --test). Every
# process the script starts is ended by its PID on exit; nothing else is touched.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
out=${2:-doc/screenshot.png}
corvane=$build/corvane
[ -x "$corvane" ] || { echo "no $corvane: build the program first" >&2; exit 1; }
for tool in Xvfb trayer xdotool import convert display python3 dbus-daemon ip; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

# The picture: a small desktop with the panel along its top and the window below its right end.
width=400
height=200
work=$(mktemp -d /tmp/corvane-shot.XXXXXX)
started=()
cleanup() {
    local i pid
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        pid=${started[i]}
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_for_file() {
    for _ in $(seq 100); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    echo "$2 did not start" >&2
    exit 1
}

Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset 3>"$work/display" \
    >/dev/null 2>&1 &
started+=($!)
wait_for_file "$work/display" Xvfb
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
started+=($!)
wait_for_file "$work/bus" dbus-daemon
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS
unset WAYLAND_DISPLAY
export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

trayer --edge top --align right --widthtype pixel --width 120 --height 26 --SetDockType true \
    --transparent true --alpha 0 --tint 0x303030 >/dev/null 2>&1 &
started+=($!)
for _ in $(seq 100); do
    xdotool search --classname panel >/dev/null 2>&1 && break
    sleep 0.1
done

# Watch lo; the window 174 x 123 sits below the panel's right end.
lo_position=$(ip -o link | awk -F': ' '{ if ($2 == "lo") { print NR - 1; exit } }')
[ -n "$lo_position" ] || { echo "no lo link" >&2; exit 1; }
left=$((width - 174 - 12))
top=40
mkdir -p "$work/config/corvane"
cat >"$work/config/corvane/corvane.conf" <<CONF
[Settings]
NetworkDevice=$lo_position
NetworkDeviceName=lo
GraphicScale=20480
rect.left=$left
rect.top=$top
rect.right=$((left + 174))
rect.bottom=$((top + 123))
CONF

# A UDP stream over 127.0.0.1 whose rate rises and falls between about 2 and 17 KB/s, in
# 1 KB datagrams on a fixed schedule; lo counts every byte once received and once sent.
cat >"$work/pace.py" <<'PY'
import math, socket, time
rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
rx.bind(("127.0.0.1", 0))
rx.setblocking(False)
tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
size = 1024
start = time.monotonic()
due = start
while True:
    t = time.monotonic() - start
    rate = 9500 + 4500 * math.sin(t / 3.0) + 3000 * math.sin(t / 1.1)
    tx.sendto(b"\0" * size, rx.getsockname())
    try:
        while True:
            rx.recv(65536)
    except BlockingIOError:
        pass
    due += size / rate
    delay = due - time.monotonic()
    if delay > 0:
        time.sleep(delay)
PY
python3 "$work/pace.py" &
started+=($!)

XDG_CONFIG_HOME="$work/config" "$corvane" >"$work/corvane.log" 2>&1 &
pid=$!
started+=("$pid")
for _ in $(seq 150); do
    xdotool search --onlyvisible --all --pid "$pid" --name '^Corvane$' >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/corvane.log" >&2; exit 1; }
    sleep 0.1
done

# 164 points at 5 a second: after 35 s the graphs are full.
echo "drawing traffic for 35 s on $DISPLAY" >&2
sleep 35
mkdir -p "$(dirname "$out")"
import -window root -silent "$work/shot.png"
# The bare desktop is black; paint it over with a gradient so the window's edges show. The
# graphs' black panes are enclosed by the frame, so filling from a corner leaves them alone.
convert "$work/shot.png" -fill none -draw 'color 0,0 floodfill' "$work/windows.png"
convert -size "${width}x${height}" gradient:'#4a6d8c'-'#22364a' "$work/windows.png" \
    -composite -strip "$out"
echo "wrote $out" >&2
