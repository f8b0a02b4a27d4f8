#!/usr/bin/env bash
# The benchmark suite in one command: builds build/bench (Release), installs
# the peers when missing, and prints one table of quorvel against the raw
# tty, a floor MEX and the peers. Usage: bench/run.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make octave liboctave-dev python3 python3-serial octave-instrument-control)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF >/dev/null
# Build output goes to standard error: standard output is the table alone.
cmake --build build/bench -j"$(nproc)" --target quorvel_bench_peer quorvel_bench_raw quorvel_tty_bench \
  quorvel_bench_fdio quorvel_octave_module >&2
# Debian's own Python, where python3-serial is installed.
exec /usr/bin/python3 bench/bench.py --build build/bench "$@"
