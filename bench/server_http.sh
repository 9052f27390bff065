#!/usr/bin/env bash
# Requests per second of GetParamFatCli (POST) at 32 connections, beside nginx serving the same
# answer bytes from a static file (GET) on loopback.
# Run by hand: bench/server_http.sh [BUILD_DIR] [SECONDS] [kdr-server options, e.g. --answer-cache 64]
# Needs wrk and nginx (scripts/setup installs them).
set -euo pipefail
build="${1:-build/default}"
seconds="${2:-10}"
shift $(($# < 2 ? $# : 2))
work=$(mktemp -d /tmp/kdr-bench-http.XXXXXX)
server_pid=""
nginx_conf="$work/nginx.conf"
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && nginx -c "$nginx_conf" -s stop 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/kdr-server" --db "sqlite:$work/kdr.db" --port 0 --seed demo "$@" >"$work/server.out" 2>"$work/server.log" &
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

# Other work on the machine comes and goes; alternating short rounds lets both servers see the
# same load, instead of one of them getting the quiet half of the run.
rounds=3
per=$(((seconds + rounds - 1) / rounds))
echo "load: $(cut -d' ' -f1-3 /proc/loadavg); $rounds rounds of ${per}s each, 32 connections; kdr-server $*"
run() { # name, then wrk arguments; appends "requests seconds" to $work/name.sum
  local name=$1
  shift
  wrk -t2 -c32 -d"${per}s" "$@" >"$work/$name.wrk"
  awk '/requests in/ {
    t = $4; sub(",", "", t); f = t ~ /ms$/ ? 0.001 : t ~ /m$/ ? 60 : 1; sub(/[a-z]+$/, "", t)
    print $1, t * f }' "$work/$name.wrk" >>"$work/$name.sum"
  awk -v n="$name" '/Requests\/sec/ {printf "  %-10s %8.0f rps", n, $2}' "$work/$name.wrk"
}
for r in $(seq "$rounds"); do
  run kdr-server -s "$work/post.lua" "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GetParamFatCli"
  run nginx "http://127.0.0.1:$nginx_port/answer.json"
  echo
done
rate() { awk '{n += $1; t += $2} END {print n / t}' "$work/$1.sum"; }
s=$(rate kdr-server)
n=$(rate nginx)
awk -v s="$s" -v n="$n" 'BEGIN { printf "kdr-server %.0f rps, nginx %.0f rps, ratio %.2f\n", s, n, s / n }'
