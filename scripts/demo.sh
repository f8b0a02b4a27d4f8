#!/usr/bin/env bash
# Builds the Octave module and runs the demo: an Octave script queries a
# simulated instrument over a virtual null-modem cable.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/main -j"$(nproc)" --target quorvel_octave_module quorvel_ports_octave >/dev/null
exec octave/run_demo.sh build/main/octave
