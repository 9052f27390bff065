#!/usr/bin/env bash
# The failover run: WRITERS desktops' writers (failover_load) through HAProxy to three servers on
# one PostgreSQL database, one server killed with SIGKILL every KILL_EVERY seconds and restarted a
# second later, for SECONDS; then the load program's check (nothing lost, nothing applied twice,
# nothing written that a desktop was told failed) and the error rate its writers saw.
#   tests/cluster/failover.sh BUILD_DIR [SECONDS] [WRITERS] [KILL_EVERY]
# Exits 77 (skipped) with a message when HAProxy or PostgreSQL is not installed.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:?BUILD_DIR}" && pwd)"
seconds="${2:-60}"
writers="${3:-16}"
every="${4:-5}"

command -v haproxy >/dev/null || { echo "SKIP: HAProxy is not installed (scripts/setup installs it)"; exit 77; }
ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1 || { echo "SKIP: PostgreSQL is not installed"; exit 77; }

export KDR_CLUSTER_DIR
KDR_CLUSTER_DIR="$(mktemp -u "${TMPDIR:-/tmp}/kdr-failover.XXXXXX")"
cluster="$root/scripts/cluster"
trap '"$cluster" stop' EXIT
balancer=$("$cluster" start 3 "$build" -- --seed "bulk:$((writers + 10))" | sed -n 's/^balancer //p')
echo "balancer $balancer, servers: $("$cluster" status | tr '\n' ' ')"

"$build/bin/failover_load" "${balancer%:*}" "${balancer#*:}" "$writers" "$seconds" &
load=$!
kills=0
end=$((SECONDS + seconds - every))
server=1
while [ "$SECONDS" -lt "$end" ] && kill -0 "$load" 2>/dev/null; do
  sleep "$every"
  "$cluster" kill "$server"
  kills=$((kills + 1))
  sleep 1
  "$cluster" restart "$server"
  server=$((server % 3 + 1))
done
status=0
wait "$load" || status=$?
logs="$("$cluster" dir)"
echo "kills: $kills (SIGKILL of one of 3 servers every $every s, restarted 1 s later)"
# The balancer's lines of requests that did not end normally: cut by a dying server or answered
# 5xx (the desktop's connection sent each again), or sent by the balancer itself to another server
# (a refused connection, or a kept connection to a server that died before answering).
awk '$1 ~ /^127\./ { if ($6 + 0 >= 500 || $6 == -1 || substr($10, 1, 2) != "--") cut++; if ($11 ~ /\+/) moved++ }
     END { print "requests cut or failed at the balancer (sent again by the desktop): " cut + 0
           print "requests the balancer sent again to another server: " moved + 0 }' "$logs/haproxy.log"
echo "resends answered with the first answer of their key: $(cat "$logs"/server*.log | grep -c 'answered with its first answer' || true)"
exit "$status"
