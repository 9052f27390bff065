#!/usr/bin/env bash
# Requests per second and 99th-percentile latency of GetParamFatCli (POST) at 32 connections,
# beside nginx serving the same answer bytes from a static file (GET) on loopback, in alternated
# rounds. Both log every request to a file, in buffers written every 16 KiB or 200 ms (kdr-server
# always does; nginx is told to). Prints one line per round with the CPU each server spent per
# answer, then "http-ratio R" and "http-p99-ratio R" per round for scripts/bench.
# bench/server_http.sh [BUILD_DIR] [SECONDS_PER_ROUND] [ROUNDS] [kdr-server options...]
# Needs wrk and nginx (scripts/setup installs them).
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="${1:-build/default}"
per="${2:-4}"
rounds="${3:-5}"
shift $(($# < 3 ? $# : 3))
work=$(mktemp -d /tmp/kdr-bench-http.XXXXXX)
server_pid=""
nginx_conf="$work/nginx.conf"
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && nginx -c "$nginx_conf" -s stop 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the program given (which prints "listening on ADDRESS:PORT") as the server measured; sets
# server_pid and port.
serve() {
  "$@" >"$work/server.out" 2>"$work/server.log" &
  server_pid=$!
  for _ in $(seq 100); do grep -q listening "$work/server.out" 2>/dev/null && break; sleep 0.1; done
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out")
}
serve "$build/bin/kdr-server" --db "sqlite:$work/kdr.db" --port 0 --seed demo "$@"

body='{"args":["101"]}'
session=$(sign_in "$port")
mkdir -p "$work/www"
curl -s -X POST -H "Authorization: Bearer $session" -H 'Content-Type: application/json' -d "$body" \
  "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GetParamFatCli" >"$work/www/answer.json"
echo "answer: $(wc -c <"$work/www/answer.json") bytes"

# KDR_BENCH_LEAST=bytes|cached|call: the least front (bench/least_front.cpp) answers in kdr-server's
# place, on the same database and session, to tell the front's share of an answer's cost.
front="kdr-server"
if [ -n "${KDR_BENCH_LEAST:-}" ]; then
  front="least-$KDR_BENCH_LEAST"
  kill "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  serve "$build/bin/bench_least_front" "sqlite:$work/kdr.db" "$KDR_BENCH_LEAST" "$work/www/answer.json"
fi

cat >"$work/post.lua" <<LUA
wrk.method = "POST"
wrk.body = '$body'
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer $session"
LUA

nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$nginx_conf" <<NGINX
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log $work/access.log combined buffer=16k flush=200ms;
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

echo "load: $(cut -d' ' -f1-3 /proc/loadavg); $rounds rounds of ${per}s each, 32 connections; $front $*"
# nginx's workers (one per core), once its master has started them.
nginx_pids=""
for _ in $(seq 50); do
  [ -s "$work/nginx.pid" ] && nginx_pids=$(pgrep -P "$(cat "$work/nginx.pid")" | tr '\n' ' ')
  [ "$(wc -w <<<"$nginx_pids")" -ge "$(nproc)" ] && break
  sleep 0.1
done
# User and system CPU ticks of the given processes, summed.
ticks() { for p in "$@"; do cat "/proc/$p/stat"; done | awk '{ u += $14; s += $15 } END { print u, s }'; }
hz=$(getconf CLK_TCK)
# "RPS P99_MS USER_US SYSTEM_US" of one wrk run: the CPU time the server (PIDS) spent per answer, in
# its own code and libraries and in the kernel, tells where a gap comes from.
measure() {
  local pids=$1
  shift
  local u0 s0 u1 s1
  read -r u0 s0 <<<"$(ticks $pids)"
  wrk -t2 -c32 -d"${per}s" --latency "$@" >"$work/wrk.out"
  read -r u1 s1 <<<"$(ticks $pids)"
  awk -v u=$((u1 - u0)) -v s=$((s1 - s0)) -v hz="$hz" '
    /^ +99%/ { v = $2; f = v ~ /us$/ ? 0.001 : v ~ /ms$/ ? 1 : 1000; sub(/[a-z]+$/, "", v); p99 = v * f }
    /requests in/ { n = $1 }
    /Requests\/sec/ { rps = $2 }
    END { print rps, p99, u / hz * 1e6 / n, s / hz * 1e6 / n }' "$work/wrk.out"
}
for r in $(seq "$rounds"); do
  # Other work on the machine comes and goes; alternating short rounds lets both servers see the
  # same load, and the order flips each round.
  if [ $((r % 2)) -eq 1 ]; then
    k=$(measure "$server_pid" -s "$work/post.lua" "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GetParamFatCli")
    n=$(measure "$nginx_pids" "http://127.0.0.1:$nginx_port/answer.json")
  else
    n=$(measure "$nginx_pids" "http://127.0.0.1:$nginx_port/answer.json")
    k=$(measure "$server_pid" -s "$work/post.lua" "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GetParamFatCli")
  fi
  read -r krps kp99 kuser ksys <<<"$k"
  read -r nrps np99 nuser nsys <<<"$n"
  awk -v r="$r" -v f="$front" -v kr="$krps" -v kp="$kp99" -v nr="$nrps" -v np="$np99" -v ku="$kuser" -v ks="$ksys" \
    -v nu="$nuser" -v ns="$nsys" 'BEGIN {
    printf "  round %d: %s %6.0f rps p99 %7.2f ms | nginx %6.0f rps p99 %6.2f ms\n", r, f, kr, kp, nr, np
    printf "           CPU per answer, user + system: %s %.1f + %.1f us | nginx %.1f + %.1f us\n", f, ku, ks, nu, ns
    printf "http-ratio %.3f\nhttp-p99-ratio %.3f\n", kr / nr, kp / np }'
done
