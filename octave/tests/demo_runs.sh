#!/usr/bin/env bash
# Runs the demo $2 times in a row (default 10), each time with a fresh cable,
# instrument and Octave, and checks every answer of its exchange with the
# instrument. usage: demo_runs.sh <module folder> [runs]
set -euo pipefail
module_dir=$1
runs=${2:-10}
octave_dir=$(cd "$(dirname "$0")/.." && pwd)

number='[+-][0-9]\.[0-9]{5}E[+-][0-9]{2}'
expected=(
  '< Virtual Instruments,VM-100,SN0042,1\.3 +\(37 bytes, quorvel_query status 0\)'
  "< $number +\\(12 bytes, quorvel_query status 0\\)"
  "< $number +\\(12 bytes, quorvel_query status 0\\)"
  '< [0-9]{2}\.[0-9] +\(4 bytes, quorvel_query status 0\)'
  '< ERROR: unknown command +\(22 bytes, quorvel_query status 0\)'
)

for run in $(seq "$runs"); do
  output=$("$octave_dir/run_demo.sh" "$module_dir" 2>&1) || { printf 'run %d failed:\n%s\n' "$run" "$output"; exit 1; }
  mapfile -t answers < <(grep '^   < ' <<<"$output")
  for k in "${!expected[@]}"; do
    if ! [[ ${answers[k]-} =~ ^\ \ \ ${expected[k]}$ ]]; then
      printf 'run %d, answer %d: got "%s", expected /%s/\n%s\n' "$run" "$((k + 1))" "${answers[k]-}" \
        "${expected[k]}" "$output"
      exit 1
    fi
  done
  [ "${#answers[@]}" -eq "${#expected[@]}" ] || { printf 'run %d: %d answers\n' "$run" "${#answers[@]}"; exit 1; }
done
echo "$runs runs of the demo, every answer right"
