#!/usr/bin/env bash
# Runs Corvane and conky (Debian's conky-std, set up by bench/conky.conf) one after the other
# on a private Xvfb display with a notification area (trayer), both watching the loopback link
# at 200 ms, first on an idle link and then with a paced UDP stream over 127.0.0.1. For each
# program and phase it prints the CPU time as % of one core, the resident memory at the end
# (VmRSS) and its peak (VmHWM), the time from start to the window being mapped, and the
# ratios Corvane/conky.
#
#   bench/compare_conky.sh [seconds per run, default 60] [build dir, default build]
#
# Environment: RATE (bytes per second of the busy phase, default 204800), SETTLE (seconds
# after the window appears before the CPU time is counted, default 1).
# Installs conky-std with apt-get when it is missing (needs root). Every process the script
# starts is ended by its PID on exit; nothing else is touched.
set -euo pipefail

duration=${1:-60}
build=${2:-build}
rate=${RATE:-204800}
settle=${SETTLE:-1}
here=$(cd "$(dirname "$0")" && pwd)
corvane=$build/corvane
[ -x "$corvane" ] || { echo "no $corvane: build the program first" >&2; exit 1; }
corvane=$(cd "$(dirname "$corvane")" && pwd)/$(basename "$corvane")
for tool in Xvfb trayer xdotool python3 dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
if ! command -v conky >/dev/null; then
    echo "conky is missing: installing conky-std" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq conky-std >/dev/null
fi

work=$(mktemp -d /tmp/corvane-conky.XXXXXX)
started=() # every PID this script started, ended in reverse order on exit

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

forget() { # drops a PID that has been ended from the list
    local i
    for i in "${!started[@]}"; do
        [ "${started[i]}" = "$1" ] && unset 'started[i]'
    done
    started=("${started[@]}")
}

stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
    forget "$1"
}

# The display: Xvfb picks a free number itself and writes it to -displayfd once it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
    >/dev/null 2>&1 &
started+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY

# Both programs get the same plain X session with a session bus of its own, as a desktop
# has one (without it libdbus would launch a bus for the display by itself); it has no status
# notifier, so the tray icon goes to trayer. No Wayland.
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
started+=($!)
for _ in $(seq 100); do
    [ -s "$work/bus" ] && break
    sleep 0.1
done
[ -s "$work/bus" ] || { echo "dbus-daemon did not start" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS
unset WAYLAND_DISPLAY
export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

trayer --edge top --align right --widthtype pixel --width 200 --height 32 \
    --SetDockType true --transparent false >/dev/null 2>&1 &
started+=($!)
for _ in $(seq 100); do
    xdotool search --classname panel >/dev/null 2>&1 && break
    sleep 0.1
done

# Corvane watches lo by its position in the kernel's link order.
lo_position=$(ip -o link | awk -F': ' '{ if ($2 == "lo") { print NR - 1; exit } }')
[ -n "$lo_position" ] || { echo "no lo link" >&2; exit 1; }
mkdir -p "$work/config/corvane"
printf '[Settings]\nNetworkDevice=%s\n' "$lo_position" >"$work/config/corvane/corvane.conf"

cat >"$work/pace.py" <<'EOF'
# A steady UDP stream over 127.0.0.1 at the given bytes per second, 2 KB datagrams on a fixed
# schedule; the receiving socket is drained in the same process.
import socket, sys, time
rate = int(sys.argv[1])
size = 2048
interval = size / rate
rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
rx.bind(("127.0.0.1", 0))
rx.setblocking(False)
tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
payload = b"\0" * size
due = time.monotonic()
while True:
    tx.sendto(payload, rx.getsockname())
    try:
        while True:
            rx.recv(65536)
    except BlockingIOError:
        pass
    due += interval
    delay = due - time.monotonic()
    if delay > 0:
        time.sleep(delay)
EOF

ticks=$(getconf CLK_TCK)
cpu_ticks() { # utime + stime of a process; the name in field 2 may hold spaces
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo $((${12} + ${13}))
}
cpu_ns() { # time on a CPU of all the process's threads, in ns: finer than the clock ticks
    local total=0 f run
    for f in /proc/"$1"/task/*/schedstat; do
        read -r run _ <"$f" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
now_us() { local t=${EPOCHREALTIME/./}; echo "${t#0}"; }

# run <label> <xdotool search arguments...> -- <command...>
# Starts the command, waits until the window the search finds is mapped (@PID@ in the
# search stands for the started process), lets it run, and records
# start-to-window (ms), CPU % of one core, VmRSS and VmHWM (KiB) in $work/<label>.
run() {
    local label=$1 search=() pid t0 t1 c0 c1 n0 n1 w0 w1 rss hwm
    shift
    while [ "$1" != -- ]; do search+=("$1"); shift; done
    shift
    t0=$(now_us)
    "$@" >"$work/$label.log" 2>&1 &
    pid=$!
    started+=("$pid")
    search=("${search[@]//@PID@/$pid}")
    t1=
    while [ -z "$t1" ]; do
        if xdotool search --onlyvisible "${search[@]}" >/dev/null 2>&1; then
            t1=$(now_us)
        elif ! kill -0 "$pid" 2>/dev/null; then
            echo "$label ended before its window appeared:" >&2
            cat "$work/$label.log" >&2
            exit 1
        elif (($(now_us) - t0 > 20000000)); then
            echo "$label: no window after 20 s" >&2
            exit 1
        fi
    done
    if [ "$duration" = 0 ]; then # a warm-up start
        stop "$pid"
        return
    fi
    sleep "$settle"
    c0=$(cpu_ticks "$pid")
    n0=$(cpu_ns "$pid")
    w0=$(now_us)
    sleep "$duration"
    c1=$(cpu_ticks "$pid")
    n1=$(cpu_ns "$pid")
    w1=$(now_us)
    rss=$(status_kb "$pid" VmRSS)
    hwm=$(status_kb "$pid" VmHWM)
    stop "$pid"
    awk -v t0="$t0" -v t1="$t1" -v c="$((c1 - c0))" -v hz="$ticks" -v w="$((w1 - w0))" \
        -v rss="$rss" -v hwm="$hwm" -v ns="$((n1 - n0))" 'BEGIN {
            printf "%.1f %.3f %d %d %.3f\n", (t1 - t0) / 1000, 100 * c / hz / (w / 1e6), rss, hwm,
                100 * ns / 1000 / w }' \
        >"$work/$label"
}

lo_bytes() { echo $(($(</sys/class/net/lo/statistics/rx_bytes))); }

measure_phase() {
    local name=$1 gen='' b0 b1 s0 s1
    if [ "$name" = busy ]; then
        python3 "$work/pace.py" "$rate" &
        gen=$!
        started+=("$gen")
        sleep 1
    fi
    b0=$(lo_bytes)
    s0=$(now_us)
    echo "phase $name: Corvane for ${duration} s" >&2
    run "corvane-$name" --all --pid @PID@ --name '^Corvane$' -- \
        env XDG_CONFIG_HOME="$work/config" "$corvane"
    echo "phase $name: conky for ${duration} s" >&2
    # conky does not set _NET_WM_PID; its window is known by the class the config gives it.
    run "conky-$name" --class '^conky-bench$' -- conky -c "$here/conky.conf"
    b1=$(lo_bytes)
    s1=$(now_us)
    [ -n "$gen" ] && stop "$gen"
    awk -v b="$((b1 - b0))" -v s="$((s1 - s0))" 'BEGIN { printf "%.1f\n", b / 1024 / (s / 1e6) }' \
        >"$work/rate-$name"
}

echo "display $DISPLAY, lo at position $lo_position, $(nproc) cores, $duration s per run" >&2
# One start of each first, so that neither program's first measured start pays for a cold
# page cache alone.
duration=0 run warmup-corvane --all --pid @PID@ --name '^Corvane$' -- \
    env XDG_CONFIG_HOME="$work/config" "$corvane"
duration=0 run warmup-conky --class '^conky-bench$' -- conky -c "$here/conky.conf"
measure_phase idle
measure_phase busy

printf '\n%-6s %-8s %14s %10s %12s %12s %12s\n' phase program "start->map ms" "CPU %" \
    "VmRSS KiB" "VmHWM KiB" "CPU % (ns)"
for name in idle busy; do
    for prog in corvane conky; do
        read -r start cpu rss hwm ns <"$work/$prog-$name"
        printf '%-6s %-8s %14s %10s %12s %12s %12s\n' "$name" "$prog" "$start" "$cpu" "$rss" \
            "$hwm" "$ns"
    done
    read -r cs ccpu crss chwm cns <"$work/corvane-$name"
    read -r ks kcpu krss khwm kns <"$work/conky-$name"
    awk -v a="$cs" -v b="$ks" -v c="$ccpu" -v d="$kcpu" -v e="$crss" -v f="$krss" \
        -v g="$chwm" -v h="$khwm" -v i="$cns" -v j="$kns" -v n="$name" 'function r(x, y) {
            return y > 0 ? sprintf("%.2f", x / y) : "-" }
        BEGIN { printf "%-6s %-8s %14s %10s %12s %12s %12s\n", n, "ratio", r(a, b), r(c, d),
            r(e, f), r(g, h), r(i, j) }'
    echo "$name: lo received $(<"$work/rate-$name") KiB/s during the phase"
done
# The CPU targets are judged on the finer nanosecond figures.
read -r cs _ _ chwm ccpu_idle <"$work/corvane-idle"
read -r cs2 _ _ chwm2 ccpu_busy <"$work/corvane-busy"
read -r _ _ _ _ kcpu_idle <"$work/conky-idle"
read -r _ _ _ _ kcpu_busy <"$work/conky-busy"
awk -v ci="$ccpu_idle" -v cb="$ccpu_busy" -v ki="$kcpu_idle" -v kb="$kcpu_busy" \
    -v h1="$chwm" -v h2="$chwm2" -v s1="$cs" -v s2="$cs2" 'BEGIN {
    printf "\ntargets for Corvane:\n"
    printf "  CPU <= 1/3 of conky:     idle %s, busy %s\n", (ci * 3 <= ki ? "met" : "MISSED"),
        (cb * 3 <= kb ? "met" : "MISSED")
    m = h1 > h2 ? h1 : h2
    printf "  resident <= 30 MiB:      peak %.1f MiB, %s\n", m / 1024, (m <= 30 * 1024 ? "met" : "MISSED")
    s = s1 > s2 ? s1 : s2
    printf "  start to window <= 60 ms: slower start %.1f ms, %s\n", s, (s <= 60 ? "met" : "MISSED")
}'
