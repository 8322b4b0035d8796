#!/usr/bin/env bash
# Starts and stops a throw-away PostgreSQL server for the tests: a cluster
# made with initdb inside DIR, listening only on a Unix socket in DIR (no
# network port, no system service). The cluster's encoding is SQL_ASCII and
# its locale C, so text holds any byte but NUL and compares byte by byte.
#
#   tools/pg.sh start DIR   make DIR, initdb in DIR/data, start the server;
#                           prints the settings for psql as shell lines:
#                           PGHOST=DIR PGPORT=... PGUSER=postgres PGDATABASE=postgres
#   tools/pg.sh stop DIR    stop the server (if running) and remove DIR
#
# PostgreSQL refuses to run as root; when run as root the server runs as
# the `postgres` user that Debian's package creates. The server binaries are
# taken from PG_BIN, else from the newest /usr/lib/postgresql/*/bin.
set -euo pipefail

usage() { echo "usage: tools/pg.sh start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
cmd=$1
dir=$2
port=${PG_PORT:-54329}

bin=${PG_BIN:-}
if [ -z "$bin" ]; then
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
fi
[ -n "$bin" ] && [ -x "$bin/pg_ctl" ] || { echo "tools/pg.sh: no PostgreSQL server binaries (install the postgresql package)" >&2; exit 1; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case $cmd in
start)
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir"; fi
  chmod 700 "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E SQL_ASCII --locale=C \
    --no-instructions >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses= -k $dir -p $port -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
  echo "PGHOST=$dir PGPORT=$port PGUSER=postgres PGDATABASE=postgres"
  ;;
stop)
  if [ -d "$dir/data" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  # Only a folder that start made is removed.
  if [ -f "$dir/initdb.log" ]; then rm -rf "$dir"; fi
  ;;
*) usage ;;
esac
