#!/usr/bin/env bash
# Builds the module and shows what it reports for the default port settings.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/main -j"$(nproc)" --target quorvel_defaults_demo >/dev/null
build/main/demo/quorvel_defaults_demo
