#!/usr/bin/env bash
# Runs the Octave demo against the built module in $1 (build/<dir>/octave):
# a virtual null-modem cable (two pseudo-terminals joined by socat) with COM1
# on one end and the simulated instrument on the other.
set -euo pipefail
module_dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

devices=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$devices"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$devices/com1" pty,raw,echo=0,link="$devices/instrument" &
pids+=($!)
for _ in $(seq 100); do
  [ -e "$devices/com1" ] && [ -e "$devices/instrument" ] && break
  sleep 0.05
done
[ -e "$devices/instrument" ] || { echo "socat did not create the virtual cable" >&2; exit 1; }

# Octave starts only once the instrument listens: the instrument flushes its
# input when it opens its end, and would discard a query sent before that.
ready=$devices/instrument.ready
python3 "$here/instrument_sim.py" "$devices/instrument" --seconds 120 --ready "$ready" &
instrument=$!
pids+=("$instrument")
for _ in $(seq 200); do
  [ -e "$ready" ] && break
  kill -0 "$instrument" 2>/dev/null || break
  sleep 0.05
done
[ -e "$ready" ] || { echo "the simulated instrument did not start" >&2; exit 1; }

echo "Virtual cable: COM1 = $(readlink "$devices/com1"), instrument on $(readlink "$devices/instrument")"
QUORVEL_DEVICES=$devices timeout 120 octave-cli --no-history --no-init-file --no-window-system --quiet \
  --eval "addpath('$module_dir', '$here'); quorvel_demo"
