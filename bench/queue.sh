#!/usr/bin/env bash
# Queueing a big folder download: starts the development server on a free loopback
# port with a temporary data folder, runs bench_queue against it, and cleans up.
#   scripts/run-bench.sh queue [--small N] [--big N] [--big-size BYTES]
# The server answers requests after 20 ms of silence instead of 100 (both the program
# and curl wait for it, once per file), so that a thousand files take seconds.
# BENCH_WRAP runs the benchmark under another program (a profiler).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/devserver.sh
start_devserver --request-quiet-ms 20

${BENCH_WRAP:-} build/bench/bench_queue --server "$address" --user bench:bench --work "$work" "$@"
