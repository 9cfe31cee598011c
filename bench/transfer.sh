#!/usr/bin/env bash
# Transfer benchmarks: starts the development server on a free loopback port with a
# temporary data folder, runs bench_transfer against it, and cleans up.
#   scripts/run-bench.sh transfer [--size BYTES]      (default 1 GiB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/devserver.sh
start_devserver

build/bench/bench_transfer --server "$address" --user bench:bench --work "$work" "$@"
