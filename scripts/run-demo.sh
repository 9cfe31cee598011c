#!/usr/bin/env bash
# Builds the program and the development server, starts the server with the demo
# account (login demo, password demo) on 127.0.0.1:2939 unless one already listens
# there, then the program. The server started here stops when the program exits.
# PELORIN_DEVSERVER_OPTIONS adds options of the server's own (e.g. "--data-rate 10000000").
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target pelorin-client pelorin-devserver

host=127.0.0.1
port=2939
data="${XDG_DATA_HOME:-$HOME/.local/share}/PelorinClient/devserver"

listening() { (exec 3<>"/dev/tcp/$host/$port") 2>/dev/null; }

server_pid=""
if listening; then
    echo "A server already listens on $host:$port; using it."
else
    mkdir -p "$data"
    log="$data/server.log"
    # shellcheck disable=SC2086 # the extra options are meant to be split into words
    build/server/pelorin-devserver --listen "$host:$port" --data "$data" --demo ${PELORIN_DEVSERVER_OPTIONS:-} >"$log" 2>&1 &
    server_pid=$!
    trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        grep -q '^listening on ' "$log" 2>/dev/null && break
        if ! kill -0 "$server_pid" 2>/dev/null; then
            echo "The development server did not start:" >&2
            cat "$log" >&2
            exit 1
        fi
        sleep 0.1
    done
    echo "Development server on $host:$port, data in $data (log: $log)."
fi
# The client runs with a settings file of its own for the demo, already holding the
# demo account, so the user's own settings stay untouched.
demo_home="${XDG_DATA_HOME:-$HOME/.local/share}/PelorinClient/demo"
ini="$demo_home/config/Kelvarhold/PelorinClient.ini"
if [ ! -e "$ini" ]; then
    mkdir -p "$(dirname "$ini")" "$demo_home/downloads"
    (umask 077
     printf '[UserOptions]\nAccount\\login=demo\nAccount\\pass=demo\ndefaultdownloaddirectory=%s\n\n[Network]\nServer\\serverhost=%s\nServer\\serverport=%s\n' \
         "$demo_home/downloads" "$host" "$port" >"$ini")
fi
echo "Logged in as demo (password demo; settings in $ini): press Connect."

XDG_CONFIG_HOME="$demo_home/config" build/pelorin-client "$@"
