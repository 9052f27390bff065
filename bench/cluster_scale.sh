#!/usr/bin/env bash
# Requests per second through HAProxy with 1, 2 and 3 servers on one PostgreSQL database, side by
# side in one run: the read mix (GetParamFatCli of one of 40 clients, by wrk at 32 connections) and
# the write mix (16 desktops' writers saving one change after another, failover_load, no kills).
# bench/cluster_scale.sh [BUILD_DIR] [SECONDS]
# Needs HAProxy, PostgreSQL and wrk (scripts/setup installs them).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-build/default}" && pwd)"
seconds="${2:-10}"
cluster="$root/scripts/cluster"
export KDR_CLUSTER_DIR
work=$(mktemp -d "${TMPDIR:-/tmp}/kdr-scale.XXXXXX")
trap '"$cluster" stop; rm -rf "$work"' EXIT

cat >"$work/read.lua" <<'LUA'
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
request = function()
  return wrk.format(nil, nil, nil, '{"args":["' .. math.random(2, 41) .. '"]}')
end
LUA

echo "load: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores; ${seconds}s per measure"
printf '%-8s %12s %12s %16s\n' servers "read req/s" "read p99 ms" "write changes/s"
for n in 1 2 3; do
  KDR_CLUSTER_DIR="$work/cluster$n"
  balancer=$("$cluster" start "$n" "$build" -- --seed bulk:50 | sed -n 's/^balancer //p')
  read -r rps p99 < <(wrk -t2 -c32 -d"${seconds}s" --latency -s "$work/read.lua" \
    "http://$balancer/KDR03020.rdmParamFatCli/GetParamFatCli" | awk '
      /^ +99%/ { v = $2; f = v ~ /us$/ ? 0.001 : v ~ /ms$/ ? 1 : 1000; sub(/[a-z]+$/, "", v); p99 = v * f }
      /Requests\/sec/ { rps = $2 }
      END { print rps, p99 }')
  writes=$("$build/bin/failover_load" "${balancer%:*}" "${balancer#*:}" 16 "$seconds" |
    sed -n 's/.*acknowledged (\([0-9]*\)\/s).*/\1/p')
  printf '%-8s %12s %12s %16s\n' "$n" "$rps" "$p99" "$writes"
  "$cluster" stop
done
