#!/usr/bin/env bash
# Queueing a big folder download: starts the development server on a free loopback
# port with a temporary data folder, runs bench_queue against it, and cleans up.
#   scripts/run-bench.sh queue [--small N] [--big N] [--big-size BYTES]
# The server answers requests after 20 ms of silence instead of 100 (both the program
# and curl wait for it, once per file), so that a thousand files take seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

work="$(mktemp -d "${TMPDIR:-/tmp}/pelorin-bench-queue.XXXXXX")"
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

build/server/pelorin-devserver --listen 127.0.0.1:0 --data "$work/server" --user bench:bench \
    --request-quiet-ms 20 >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do
    grep -q '^listening on ' "$work/server.out" 2>/dev/null && break
    sleep 0.1
done
address="$(sed -n 's/^listening on \(.*\)$/\1/p' "$work/server.out")"
if [ -z "$address" ]; then
    echo "queue.sh: the development server did not start:" >&2
    cat "$work/server.err" >&2
    exit 1
fi

${BENCH_WRAP:-} build/bench/bench_queue --server "$address" --user bench:bench --work "$work" "$@"
