#!/usr/bin/env bash
# What signing in costs: the time of one sign-in (the password hash's check, at the cost the
# server hashes with), and requests per second of one read with the session check beside the same
# read with the machine token, which the server checks without the database, in alternated
# rounds. Prints "session-ratio R" per round (session rps / token rps) for comparison.
# bench/server_sessions.sh [BUILD_DIR] [SECONDS_PER_ROUND] [ROUNDS] [SIGN_INS]
# Needs wrk (scripts/setup installs it).
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="${1:-build/default}"
per="${2:-4}"
rounds="${3:-5}"
sign_ins="${4:-20}"
bin="$build/bin"
bench_begin sessions
token=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
start_server --db "sqlite:$work/kdr.db" --seed demo --token "$token"

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
t0=$(date +%s.%N)
for _ in $(seq "$sign_ins"); do sign_in "$port" >/dev/null; done
echo "sign-in: $(echo "($(date +%s.%N) - $t0) * 1000 / $sign_ins" | bc -l | xargs printf '%.1f') ms each ($sign_ins in a row)"

url="http://127.0.0.1:$port/KDR.rdmCache/GetTable"
script() { # BEARER: a wrk script posting GetTable EMPRESA with it
  printf 'wrk.method = "POST"\nwrk.body = %s\nwrk.headers["Content-Type"] = "application/json"\nwrk.headers["Authorization"] = "Bearer %s"\n' \
    "'{\"args\":[\"EMPRESA\"]}'" "$1" >"$work/$2.lua"
}
script "$KDR_BENCH_SESSION" session
script "$token" token
rps() { wrk -t2 -c32 -d"${per}s" -s "$work/$1.lua" "$url" | awk '/Requests\/sec/ { print $2 }'; }
for r in $(seq "$rounds"); do
  # The order flips each round, so that both meet the same load on average.
  if [ $((r % 2)) -eq 1 ]; then s=$(rps session); t=$(rps token); else t=$(rps token); s=$(rps session); fi
  awk -v r="$r" -v s="$s" -v t="$t" 'BEGIN {
    printf "  round %d: session %6.0f rps | machine token %6.0f rps\nsession-ratio %.3f\n", r, s, t, s / t }'
done
