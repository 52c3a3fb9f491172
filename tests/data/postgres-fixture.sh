#!/bin/sh
# A private PostgreSQL server for the data tests, on a Unix socket only, in DIR:
#   postgres-fixture.sh start DIR | stop DIR
# Where the server binaries are missing it does nothing (the PostgreSQL tests then skip themselves).
set -eu
BIN=/usr/lib/postgresql/15/bin
ACTION=$1
DIR=$2
PORT=5499

if [ ! -x "$BIN/initdb" ]; then
    echo "PostgreSQL server binaries missing in $BIN: the PostgreSQL tests will be skipped"
    exit 0
fi

# initdb refuses to run as root
as_server_user() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_server() {
    if [ -f "$DIR/data/postmaster.pid" ]; then
        as_server_user "$BIN/pg_ctl" -D "$DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
}

case "$ACTION" in
start)
    stop_server
    rm -rf "$DIR"
    mkdir -p "$DIR/sock"
    if [ "$(id -u)" -eq 0 ]; then chown -R postgres "$DIR"; fi
    as_server_user "$BIN/initdb" -D "$DIR/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$DIR/initdb.log"
    as_server_user "$BIN/pg_ctl" -D "$DIR/data" -l "$DIR/log" -w \
        -o "-c listen_addresses='' -k $DIR/sock -p $PORT -c fsync=off -c max_connections=200" start
    ;;
stop)
    stop_server
    rm -rf "$DIR"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
