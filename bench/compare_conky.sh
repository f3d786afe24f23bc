#!/usr/bin/env bash
# Runs Corvane and conky (Debian's conky-std, set up by bench/conky.conf) side by side on a
# private Xvfb display with a notification area (trayer), all in one network namespace whose
# one real link is an up veth pair the script makes, every program watching that link at
# 200 ms. Each round measures all programs over the same window of time, first with the link
# idle, then busy with traffic whose rate swings (the lines keep moving, off the top and the
# bottom rows). Per program and phase it prints the CPU time as % of one core (from
# /proc/PID/task/*/schedstat), wake-ups per second (voluntary context switches of all
# threads), and at the end resident and private dirty memory; then the CPU ratios to conky,
# and the median time from start to window mapped over 10 starts of Corvane and of a bare Qt
# window.
#
#   bench/compare_conky.sh [seconds per phase, default 30] [build dir, default build]
#
# Environment: ROUNDS (default 3); LOW and HIGH, the bytes per second the busy rate swings
# between (default 30000 and 70000: against the default full scale of 102400 bytes per
# second, "100 KB/s", the line stays between about a third and two thirds of the height);
# SCALE, the GraphicScale stored for Corvane (default 102400);
# RASTER=1 adds a Corvane that paints through Qt's raster path (CORVANE_RASTER=1);
# OTHER="name=path ..." adds other builds of corvane under those names (a before and after
# in one window of time);
# FLOOR=1 adds the floor programs (bench/floor): a timer and one counter reading per tick,
# without Qt (floor-poll), with a QCoreApplication (floor-qt) and with a QGuiApplication
# connected to the display but without a window (floor-gui);
# LINKS=N adds N links (ifb, down) to the watched namespace ahead of the watched one, as on a
# host that runs containers (default 0).
# Installs conky-std with apt-get when it is missing (needs root; never in CI). Needs root for
# the namespaces. Every process the script starts is ended by its PID on exit, and the
# namespaces it made are deleted; nothing else is touched.
set -euo pipefail

duration=${1:-30}
build=${2:-build}
rounds=${ROUNDS:-3}
low=${LOW:-30000}
high=${HIGH:-70000}
scale=${SCALE:-102400}
here=$(cd "$(dirname "$0")" && pwd)
corvane=$build/corvane
[ -x "$corvane" ] || { echo "no $corvane: build the program first" >&2; exit 1; }
corvane=$(cd "$(dirname "$corvane")" && pwd)/$(basename "$corvane")
for tool in Xvfb trayer xdotool python3 dbus-daemon ip; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
if ! command -v conky >/dev/null; then
    echo "conky is missing: installing conky-std" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq conky-std >/dev/null
fi

ns=
peer=
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
    [ -z "$ns" ] || ip netns delete "$ns" 2>/dev/null || true
    [ -z "$peer" ] || ip netns delete "$peer" 2>/dev/null || true
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

# A plain X session with a session bus of its own on a socket path (an abstract socket would
# not be reachable from inside the namespace); no status notifier, so the tray icon goes to
# trayer. No Wayland.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus.sock" \
    --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
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

# The watched namespace: lo and cvb0, whose peer cvb1 sits in a second namespace. Without
# IPv6 link-local addresses the link carries only what the script sends.
ns=cvbench$$
peer=cvpeer$$
ip netns add "$ns"
ip netns add "$peer"
# Extra links first, so the watched one is the last in the kernel's order; one batch for ip.
if [ "${LINKS:-0}" -gt 0 ]; then
    for i in $(seq 1 "$LINKS"); do echo "link add cvx$i type ifb"; done | ip -n "$ns" -batch -
fi
ip -n "$ns" link add cvb0 type veth peer name cvb1 netns "$peer"
ip -n "$ns" link set cvb0 addrgenmode none
ip -n "$peer" link set cvb1 addrgenmode none
ip -n "$ns" addr add 10.214.0.1/30 dev cvb0
ip -n "$peer" addr add 10.214.0.2/30 dev cvb1
ip -n "$ns" link set lo up
ip -n "$ns" link set cvb0 up
ip -n "$peer" link set cvb1 up

# Corvane watches cvb0 by its position in the namespace's link order.
position=$(ip -n "$ns" -o link | awk -F': ' '{ sub(/@.*/, "", $2); if ($2 == "cvb0") { print NR - 1; exit } }')
[ -n "$position" ] || { echo "no cvb0 link" >&2; exit 1; }
mkdir -p "$work/config/corvane"
printf '[Settings]\nNetworkDevice=%s\nGraphicScale=%s\n' "$position" "$scale" \
    >"$work/config/corvane/corvane.conf"
sed 's/\<lo\>/cvb0/g' "$here/conky.conf" >"$work/conky.conf"

# UDP datagrams of 1 KB at a rate that swings between low and high bytes per second over a
# period, so the lines keep moving; nothing listens, so the sent graph sees the replies.
printf '%s\n' \
    'import math, socket, sys, time' \
    'address, low, high, period = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])' \
    'size = 1024' \
    'tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)' \
    'payload = b"\0" * size' \
    'start = due = time.monotonic()' \
    'while True:' \
    '    tx.sendto(payload, (address, 9))' \
    '    t = time.monotonic() - start' \
    '    rate = low + (high - low) * (0.5 + 0.5 * math.sin(2 * math.pi * t / period))' \
    '    due += size / rate' \
    '    delay = due - time.monotonic()' \
    '    if delay > 0:' \
    '        time.sleep(delay)' >"$work/swing.py"

cpu_ns() { # time on a CPU of all the process's threads, in ns
    local total=0 f run
    for f in /proc/"$1"/task/*/schedstat; do
        read -r run _ <"$f" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}
wakeups() { # voluntary context switches of all the process's threads
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '$1 == "voluntary_ctxt_switches:" { n += $2 } END { print n + 0 }'
}
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
private_dirty_kb() { awk '$1 == "Private_Dirty:" { print $2 }' "/proc/$1/smaps_rollup"; }
now_us() { local t=${EPOCHREALTIME/./}; echo "${t#0}"; }

# start_window <xdotool search arguments...> -- <command...>: starts the command in the
# namespace, waits until its window is mapped (@PID@ in the search stands for the started
# process) and leaves its PID in $work/started. (Start times come from corvane_maptime.)
start_window() {
    local search=() pid t0
    while [ "$1" != -- ]; do search+=("$1"); shift; done
    shift
    t0=$(now_us)
    ip netns exec "$ns" "$@" >>"$work/programs.log" 2>&1 &
    pid=$!
    started+=("$pid")
    search=("${search[@]//@PID@/$pid}")
    until xdotool search --onlyvisible "${search[@]}" >/dev/null 2>&1; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$* ended before its window appeared:" >&2
            cat "$work/programs.log" >&2
            exit 1
        elif (($(now_us) - t0 > 20000000)); then
            echo "$*: no window after 20 s" >&2
            exit 1
        fi
    done
    echo "$pid" >"$work/started"
}

corvane_cmd=(env XDG_CONFIG_HOME="$work/config" "$corvane")
corvane_search=(--all --pid @PID@ --name '^Corvane$')

echo "display $DISPLAY, cvb0 at position $position of $(ip -n "$ns" -o link | wc -l) links," \
    "$(nproc) cores," \
    "$rounds rounds of 2 x $duration s" >&2

# Start to window mapped, from the X server's own notice (bench/floor/MapTime.cpp): after
# one warm-up start each, 10 starts of each program in turns, beside a bare Qt program that
# shows one empty window. Started outside the namespaces, as a user starts them.
maptime=$(dirname "$corvane")/bench/corvane_maptime
floor=$(dirname "$corvane")/bench/corvane_floor
for tool in "$maptime" "$floor"; do
    [ -x "$tool" ] || { echo "no $tool: build the corvane_maptime and corvane_floor targets" >&2; exit 1; }
done
start_names=(corvane bare-qt)
start_cmds=("$corvane" "$floor window")
for other in ${OTHER:-}; do
    start_names+=("${other%%=*}")
    start_cmds+=("${other#*=}")
done
for round in 0 $(seq 10); do
    for i in "${!start_names[@]}"; do
        # shellcheck disable=SC2086 # a command and its arguments
        ms=$(env XDG_CONFIG_HOME="$work/config" "$maptime" Corvane ${start_cmds[i]}) || exit 1
        [ "$round" = 0 ] || echo "$ms" >>"$work/start-${start_names[i]}"
    done
done

# All programs run together for the whole measurement.
names=(corvane conky)
start_window "${corvane_search[@]}" -- "${corvane_cmd[@]}"
read -r pid <"$work/started"
pids=("$pid")
# conky does not set _NET_WM_PID; its window is known by the class the config gives it.
start_window --class '^conky-bench$' -- conky -c "$work/conky.conf"
read -r pid <"$work/started"
pids+=("$pid")
if [ "${RASTER:-0}" = 1 ]; then
    mkdir -p "$work/config-raster/corvane"
    cp "$work/config/corvane/corvane.conf" "$work/config-raster/corvane/"
    start_window "${corvane_search[@]}" -- env CORVANE_RASTER=1 \
        XDG_CONFIG_HOME="$work/config-raster" "$corvane"
    read -r pid <"$work/started"
    names+=(raster)
    pids+=("$pid")
fi
for other in ${OTHER:-}; do
    mkdir -p "$work/config-${other%%=*}/corvane"
    cp "$work/config/corvane/corvane.conf" "$work/config-${other%%=*}/corvane/"
    start_window "${corvane_search[@]}" -- env XDG_CONFIG_HOME="$work/config-${other%%=*}" \
        "${other#*=}"
    read -r pid <"$work/started"
    names+=("${other%%=*}")
    pids+=("$pid")
done
if [ "${FLOOR:-0}" = 1 ]; then
    floor=$(dirname "$corvane")/bench/corvane_floor
    [ -x "$floor" ] || { echo "no $floor: build the corvane_floor target" >&2; exit 1; }
    for mode in poll qt gui; do
        ip netns exec "$ns" "$floor" "$mode" cvb0 >>"$work/programs.log" 2>&1 &
        started+=($!)
        names+=("floor-$mode")
        pids+=($!)
    done
fi
sleep 2

# measure <phase> <round>: one window of time for all programs.
measure() {
    local i n0=() w0=() n1 w1 t0 t1
    for i in "${!pids[@]}"; do
        n0[i]=$(cpu_ns "${pids[i]}")
        w0[i]=$(wakeups "${pids[i]}")
    done
    t0=$(now_us)
    sleep "$duration"
    t1=$(now_us)
    for i in "${!pids[@]}"; do
        n1=$(cpu_ns "${pids[i]}")
        w1=$(wakeups "${pids[i]}")
        awk -v ns="$((n1 - n0[i]))" -v w="$((w1 - w0[i]))" -v us="$((t1 - t0))" 'BEGIN {
            printf "%.3f %.2f\n", 100 * ns / 1000 / us, w / (us / 1e6) }' \
            >"$work/${names[i]}-$1-$2"
    done
}

for round in $(seq "$rounds"); do
    echo "round $round: idle" >&2
    measure idle "$round"
    ip netns exec "$peer" python3 "$work/swing.py" 10.214.0.1 "$low" "$high" 7 &
    gen=$!
    started+=("$gen")
    sleep 1
    echo "round $round: busy" >&2
    measure busy "$round"
    stop "$gen"
    # The next idle phase starts once the busy line has scrolled out of the graphs (165
    # points of 200 ms): until then they still move.
    [ "$round" = "$rounds" ] || sleep 35
done

printf '\n%-6s %-5s %-10s %10s %10s %10s\n' phase round program "CPU %" "wakeups/s" "of conky"
for phase in idle busy; do
    for round in $(seq "$rounds"); do
        read -r kcpu _ <"$work/conky-$phase-$round"
        for name in "${names[@]}"; do
            read -r cpu wake <"$work/$name-$phase-$round"
            awk -v p="$phase" -v r="$round" -v n="$name" -v c="$cpu" -v w="$wake" -v k="$kcpu" \
                'BEGIN { printf "%-6s %-5s %-10s %10s %10s %10s\n", p, r, n, c, w,
                    (k > 0 ? sprintf("%.3f", c / k) : "-") }'
        done
    done
done

printf '\n%-10s %12s %12s %18s\n' program "VmRSS KiB" "VmHWM KiB" "Private_Dirty KiB"
for i in "${!pids[@]}"; do
    printf '%-10s %12s %12s %18s\n' "${names[i]}" "$(status_kb "${pids[i]}" VmRSS)" \
        "$(status_kb "${pids[i]}" VmHWM)" "$(private_dirty_kb "${pids[i]}")"
done
echo
for name in "${start_names[@]}"; do
    sort -n "$work/start-$name" | awk -v n="$name" '{ a[NR] = $1; s = s sprintf(" %.1f", $1) }
        END { printf "%-10s start to window mapped, median %.1f ms of 10 (sorted:%s)\n", n,
            (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2), s }'
done
