#!/usr/bin/env bash
# Builds what the benchmarks need and runs one group:
#   scripts/run-bench.sh NAME    runs bench/NAME.sh if present, else build/bench/bench_NAME
# Every figure comes out as one line "name: value".
set -euo pipefail
cd "$(dirname "$0")/.."
name="${1:?usage: scripts/run-bench.sh NAME}"
shift

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null

# The benchmarks build models and widgets; no display is needed.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

if [ -f "bench/$name.sh" ]; then
    exec bash "bench/$name.sh" "$@"
fi
exec "build/bench/bench_$name" "$@"
