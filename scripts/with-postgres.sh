#!/usr/bin/env bash
# Runs a command beside a throw-away PostgreSQL 15 cluster: initdb in BUILD_DIR/postgres as an
# unprivileged user (postgres when run as root), started on a free loopback port, its URL
# exported as YRCLOUD_TEST_POSTGRES_URL (the cloud's tests read it), stopped and removed when
# the command ends, however it ends.
# Usage: scripts/with-postgres.sh BUILD_DIR COMMAND [ARGUMENT...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ]; then
    echo "usage: $0 BUILD_DIR COMMAND [ARGUMENT...]" >&2
    exit 2
fi
build=$1
shift

bash "$root/scripts/install-deps.sh"
bin=/usr/lib/postgresql/15/bin
cluster=$(cd "$build" && pwd)/postgres
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# initdb refuses to run as root; the cluster belongs to an ordinary user.
as_owner=()
owner=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    owner=postgres
    as_owner=(runuser -u postgres --)
fi

rm -rf "$cluster"
mkdir -p "$cluster"
chown "$owner" "$cluster"
"${as_owner[@]}" "$bin/initdb" -D "$cluster/data" -U postgres --auth=trust -E UTF8 \
    --no-instructions > "$cluster/initdb.log"
stop_cluster() {
    "${as_owner[@]}" "$bin/pg_ctl" -D "$cluster/data" -m fast -w stop > /dev/null 2>&1 || true
    rm -rf "$cluster"
}
trap stop_cluster EXIT
# Each test server opens a connection per worker thread; a few servers run at once.
"${as_owner[@]}" "$bin/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w \
    -o "-h 127.0.0.1 -p $port -k $cluster -c max_connections=400 -c fsync=off" start > /dev/null

export YRCLOUD_TEST_POSTGRES_URL="postgresql://postgres@127.0.0.1:$port/postgres"
echo "with-postgres.sh: PostgreSQL at $YRCLOUD_TEST_POSTGRES_URL"
"$@"
