#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and for trying a server EID:
#   scripts/pg-cluster.sh start DIR PORT   initdb (first time) and start
#   scripts/pg-cluster.sh stop DIR         stop it (fast shutdown)
#   scripts/pg-cluster.sh uri DIR          print the connection URI
# The cluster lives in DIR, listens on 127.0.0.1:PORT and a socket in DIR,
# and has one superuser `ravederi` whose password is in DIR/pgpass (point
# PGPASSFILE there). PostgreSQL refuses to run as root, so under root the
# server runs as the unprivileged user `ravederi-pg` (created on demand).
set -euo pipefail
cmd=${1:-}; dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|uri DIR [PORT]" >&2; exit 2; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
data=$dir/data
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bindir/pg_ctl" ] || { echo "PostgreSQL server programs not found; run scripts/install-deps.sh" >&2; exit 1; }

as_server=()
if [ "$(id -u)" -eq 0 ]; then
  id ravederi-pg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin ravederi-pg
  as_server=(runuser -u ravederi-pg --)
fi

case "$cmd" in
start)
  port=${3:?port}
  # A server left running by an interrupted run goes first; then a fresh
  # cluster, so that no test meets what an earlier run left behind.
  if [ -f "$data/PG_VERSION" ]; then
    "${as_server[@]}" "$bindir/pg_ctl" -D "$data" stop -m immediate >/dev/null 2>&1 || true
  fi
  rm -rf "$data"
  mkdir -p "$data"
  # The password only guards a cluster that lives for one test run.
  umask 077
  head -c 18 /dev/urandom | base64 | tr -d '/+=' > "$dir/password"
  [ ${#as_server[@]} -eq 0 ] || chown ravederi-pg "$data" "$dir/password"
  "${as_server[@]}" "$bindir/initdb" -D "$data" -U ravederi --pwfile="$dir/password" \
    --auth-local=scram-sha-256 --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; exit 1; }
  [ ${#as_server[@]} -eq 0 ] || chown root "$dir/password"
  echo "127.0.0.1:*:*:ravederi:$(cat "$dir/password")" > "$dir/pgpass"
  echo "$data:*:*:ravederi:$(cat "$dir/password")" >> "$dir/pgpass"
  chmod 600 "$dir/pgpass"
  [ ${#as_server[@]} -eq 0 ] || chmod o+x "$dir"
  echo "$port" > "$dir/port"
  "${as_server[@]}" "$bindir/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 start \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $data -c fsync=off -c max_connections=64" >/dev/null \
    || { tail -n 20 "$data/server.log" >&2; exit 1; }
  # Text columns are citext; installed once here so that tests creating
  # their schemas side by side do not race to install it.
  PGPASSFILE=$dir/pgpass "$bindir/psql" -X -q -h 127.0.0.1 -p "$port" -U ravederi -d postgres \
    -c "CREATE EXTENSION IF NOT EXISTS citext SCHEMA public" >/dev/null
  ;;
stop)
  if [ -f "$data/PG_VERSION" ] && "${as_server[@]}" "$bindir/pg_ctl" -D "$data" status >/dev/null 2>&1; then
    "${as_server[@]}" "$bindir/pg_ctl" -D "$data" stop -m fast -w >/dev/null
  fi
  ;;
uri)
  echo "postgresql://ravederi@127.0.0.1:$(cat "$dir/port")/postgres"
  ;;
*) echo "usage: $0 start|stop|uri DIR [PORT]" >&2; exit 2 ;;
esac
