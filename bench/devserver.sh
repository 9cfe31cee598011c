# Sourced by the benchmark groups that need a peer: starts the development server on a
# free loopback port with a temporary data folder (extra server options as arguments),
# sets $work and $address, and stops and cleans up on exit.
#   start_devserver [SERVER OPTION...]
start_devserver() {
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelorin-bench.XXXXXX")"
    server_pid=""
    trap 'stop_devserver' EXIT
    build/server/pelorin-devserver --listen 127.0.0.1:0 --data "$work/server" --user bench:bench \
        "$@" >"$work/server.out" 2>"$work/server.err" &
    server_pid=$!
    for _ in $(seq 100); do
        grep -q '^listening on ' "$work/server.out" 2>/dev/null && break
        sleep 0.1
    done
    address="$(sed -n 's/^listening on \(.*\)$/\1/p' "$work/server.out")"
    if [ -z "$address" ]; then
        echo "the development server did not start:" >&2
        cat "$work/server.err" >&2
        exit 1
    fi
}

stop_devserver() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
