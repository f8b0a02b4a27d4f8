#!/usr/bin/env bash
# Soaks the module in GNU Octave: scripts/soak.sh [minutes] [round trips]
# (default 10 and 1000000) drives it round after round over null-modem pairs
# for that many minutes, then makes that many Write/Read round trips, and
# fails when open descriptors, threads or resident memory grow. It prints the
# rounds, calls and memory figures, and the memory ten times along the round
# trips.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
minutes=${1:-10}
round_trips=${2:-1000000}

scripts/install-deps.sh
cmake -S "$root" -B build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE="" >/dev/null
cmake --build build/main -j"$(nproc)" --target quorvel_octave_module
QUORVEL_MODULE_DIR="$root/build/main/octave" QUORVEL_OCTAVE_TESTS="$root/octave/tests" \
  octave-cli --no-history --no-init-file --no-window-system --quiet \
  --eval "addpath('$root/tests/memcheck'); soak_session($minutes * 60, $round_trips)"
