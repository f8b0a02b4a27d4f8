#!/usr/bin/env bash
# Soaks the module in GNU Octave: scripts/soak.sh [minutes] (default 60)
# drives it round after round over null-modem pairs and fails when open
# descriptors, threads or resident memory grow. The summary line gives the
# rounds, calls and memory figures.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
minutes=${1:-60}

scripts/install-deps.sh
cmake -S "$root" -B build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE="" >/dev/null
cmake --build build/main -j"$(nproc)" --target quorvel_octave_module
QUORVEL_MODULE_DIR="$root/build/main/octave" QUORVEL_OCTAVE_TESTS="$root/octave/tests" \
  octave-cli --no-history --no-init-file --no-window-system --quiet \
  --eval "addpath('$root/tests/memcheck'); soak_session($minutes * 60)"
