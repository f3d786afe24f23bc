#!/usr/bin/env bash
# Runs the Linux-source benchmarks in a network namespace with 1,000 interfaces (ifb links;
# the namespace is made here and deleted on exit). Needs root.
#   bench/many_interfaces.sh [build dir] [extra benchmark arguments]
set -euo pipefail
build=${1:-build}
shift || true
bench=$build/bench/corvane_bench
[ -x "$bench" ] || { echo "no $bench: build with -DCORVANE_BENCH=ON first" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "needs root (ip netns)" >&2; exit 1; }

ns=corvane-bench-$$
trap 'ip netns del "$ns" 2>/dev/null || true' EXIT
ip netns add "$ns"
# One batch for ip, not 1,000 processes.
for i in $(seq 1 999); do echo "link add ifb$i type ifb"; done | ip -n "$ns" -batch -
echo "interfaces in $ns: $(ip -n "$ns" -o link | wc -l)"
ip netns exec "$ns" "$bench" --benchmark_filter='QueryPerfData|ReadDelta|MeterRead' "$@"
