#!/usr/bin/env bash
# Requests per second of GetParamFatCli at 32 connections, beside nginx serving the same answer
# bytes from a static file on loopback. Run by hand: bench/server_http.sh [BUILD_DIR] [SECONDS]
# Needs wrk and nginx (scripts/setup installs them).
set -euo pipefail
build="${1:-build/default}"
seconds="${2:-10}"
work=$(mktemp -d /tmp/kdr-bench-http.XXXXXX)
server_pid=""
nginx_conf="$work/nginx.conf"
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && nginx -c "$nginx_conf" -s stop 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/kdr-server" --db "sqlite:$work/kdr.db" --port 0 --seed demo >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do grep -q listening "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out")

body='{"args":["101"]}'
mkdir -p "$work/www"
curl -s -X POST -H 'Content-Type: application/json' -d "$body" \
  "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GetParamFatCli" >"$work/www/answer.json"
echo "answer: $(wc -c <"$work/www/answer.json") bytes"

cat >"$work/post.lua" <<LUA
wrk.method = "POST"
wrk.body = '$body'
wrk.headers["Content-Type"] = "application/json"
LUA

nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$nginx_conf" <<NGINX
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work;
  proxy_temp_path $work;
  fastcgi_temp_path $work;
  uwsgi_temp_path $work;
  scgi_temp_path $work;
  default_type application/json;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
  }
}
NGINX
nginx -c "$nginx_conf"

echo "== kdr-server GetParamFatCli (POST, 32 connections, ${seconds}s)"
wrk -t2 -c32 -d"${seconds}s" -s "$work/post.lua" "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GetParamFatCli" |
  tee "$work/server.wrk"
echo "== nginx static file with the same bytes (GET, 32 connections, ${seconds}s)"
wrk -t2 -c32 -d"${seconds}s" "http://127.0.0.1:$nginx_port/answer.json" | tee "$work/nginx.wrk"

s=$(awk '/Requests\/sec/ {print $2}' "$work/server.wrk")
n=$(awk '/Requests\/sec/ {print $2}' "$work/nginx.wrk")
awk -v s="$s" -v n="$n" 'BEGIN { printf "kdr-server %.0f rps, nginx %.0f rps, ratio %.2f\n", s, n, s / n }'
