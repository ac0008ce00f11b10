#!/usr/bin/env bash
# Starts Debian's clickhouse-server in a scratch folder, on free ports, for
# the store's tests: `clickhouse-scratch.sh start FOLDER` prints the HTTP
# port once the server answers; `clickhouse-scratch.sh stop FOLDER` ends it.
# Started again in the same folder, it keeps its port and its data.
# A user `quorvex` with the password `store-test` is there beside `default`.
set -euo pipefail
action=$1
folder=$2
server=/usr/sbin/clickhouse-server

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "$action" in
start)
    [ -x "$server" ] || { echo "no $server (apt install clickhouse-server)" >&2; exit 3; }
    mkdir -p "$folder"
    if [ -f "$folder/http_port" ]; then
        http=$(cat "$folder/http_port")
        tcp=$(cat "$folder/tcp_port")
    else
        http=$(free_port)
        tcp=$(free_port)
        echo "$http" > "$folder/http_port"
        echo "$tcp" > "$folder/tcp_port"
    fi
    cat > "$folder/config.xml" << XML
<?xml version="1.0"?>
<yandex>
    <logger><level>warning</level><log>$folder/server.log</log><errorlog>$folder/server.err.log</errorlog><console>0</console></logger>
    <http_port>$http</http_port>
    <tcp_port>$tcp</tcp_port>
    <listen_host>127.0.0.1</listen_host>
    <path>$folder/data/</path>
    <tmp_path>$folder/tmp/</tmp_path>
    <user_files_path>$folder/user_files/</user_files_path>
    <format_schema_path>$folder/format_schemas/</format_schema_path>
    <users_config>users.xml</users_config>
    <default_profile>default</default_profile>
    <default_database>default</default_database>
    <mark_cache_size>5368709</mark_cache_size>
</yandex>
XML
    cat > "$folder/users.xml" << XML
<?xml version="1.0"?>
<yandex>
    <profiles><default></default></profiles>
    <users>
        <default><password></password><networks><ip>127.0.0.1</ip></networks><profile>default</profile><quota>default</quota></default>
        <quorvex><password>store-test</password><networks><ip>127.0.0.1</ip></networks><profile>default</profile><quota>default</quota></quorvex>
    </users>
    <quotas><default></default></quotas>
</yandex>
XML
    "$server" --config-file="$folder/config.xml" > "$folder/server.out" 2>&1 &
    echo $! > "$folder/server.pid"
    for _ in $(seq 1 300); do
        if python3 - "$http" << 'PY' 2> /dev/null; then
import sys, urllib.request
urllib.request.urlopen("http://127.0.0.1:%s/ping" % sys.argv[1], timeout=1).read()
PY
            echo "$http"
            exit 0
        fi
        sleep 0.1
    done
    echo "clickhouse-server did not answer on port $http within 30 s:" >&2
    tail -5 "$folder/server.out" "$folder/server.err.log" >&2 || true
    exit 1
    ;;
stop)
    if [ -f "$folder/server.pid" ]; then
        pid=$(cat "$folder/server.pid")
        # It waits for open connections to close: a test's client may keep
        # one, so after 3 s it is killed (its inserts are on disk already).
        kill "$pid" 2> /dev/null || true
        for _ in $(seq 1 30); do
            kill -0 "$pid" 2> /dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2> /dev/null || true
        rm -f "$folder/server.pid"
    fi
    ;;
esac
