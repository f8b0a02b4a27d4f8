#!/usr/bin/env bash
# Runs every test: the unit and tty tests, the Octave tests and those of the
# MATLAB module for Linux (its symbol tables, its archive, and the module
# loaded with dlopen) in a plain build; that build's real-driver tests in a
# QEMU guest on Debian's kernel (16550A UARTs, an FTDI adapter); every test
# again under AddressSanitizer +
# UndefinedBehaviorSanitizer, and the threaded tests (the POSIX backend with
# its tty and network lines, the Linux module's loader test) under
# ThreadSanitizer; then the Windows module, cross-compiled and run under Wine;
# then bounded fuzz runs of the module and of the network line's parser in a
# clang build. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

timings=()
started=$SECONDS
# Runs one part of the test command and notes how long it took.
timed() {
  local name=$1 began=$SECONDS
  shift
  "$@"
  timings+=("$name $((SECONDS - began)) s")
}

timed "install-deps" scripts/install-deps.sh

run_build() {
  local dir=$1 sanitize=$2 filter=$3
  echo "=== build $dir ${sanitize:+(sanitizers: $sanitize)}"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE="$sanitize" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" ${filter:+-L "$filter"})
}

windows_build() {
  echo "=== build build/windows (quorvel.mexw64 with mingw-w64; tests under Wine)"
  cmake -S "$root" -B build/windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/windows -j"$jobs"
  (cd build/windows && ctest --output-on-failure)
}

# The guest gets 150 s; the lane as a whole, kernel boot included, 175 s.
drivers_lane() {
  echo "=== real-drivers lane (QEMU: Debian's kernel with 16550A UARTs and an FTDI adapter)"
  timeout --kill-after=5 175 python3 "$root/tests/drivers/lane.py" build/main --limit 150
}

fuzz_build() {
  echo "=== build build/fuzz (clang: libFuzzer, ASan + UBSan; a bounded fuzz run)"
  CC=clang CXX=clang++ cmake -S "$root" -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVEL_SANITIZE="address,undefined" >/dev/null
  cmake --build build/fuzz -j"$jobs" --target quorvel_fuzzer quorvel_network_fuzzer
  (cd build/fuzz && ctest --output-on-failure -L fuzz)
}

timed "plain build and tests" run_build build/main "" ""
timed "real-drivers lane (QEMU)" drivers_lane
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  timed "ASan+UBSan build and tests" run_build build/asan "address,undefined" ""
TSAN_OPTIONS=halt_on_error=1 timed "TSan build and tests" run_build build/tsan "thread" "tty|unit/device|unit/posix|network|mexa64"
timed "Windows build and Wine tests" windows_build
timed "fuzz build and bounded run" fuzz_build

echo "=== all tests passed in $((SECONDS - started)) s:"
printf '  %s\n' "${timings[@]}"
