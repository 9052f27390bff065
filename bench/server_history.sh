#!/usr/bin/env bash
# The cost of the change history on a copy to every client of a bulk database (client "1" is the
# model, with all six billing types): GeraAutomParam through kdr-server, which keeps the history,
# against the same GeraAutomParam through the server as it was before the history (BASE_BUILD),
# each on a fresh copy of one seeded database, same engine, in rounds that alternate which goes
# first. Prints every time, min / median / max of each and of the per-round ratio.
# Run by hand: bench/server_history.sh BUILD_DIR BASE_BUILD_DIR [sqlite|postgresql] [CLIENTS] [ROUNDS]
# BASE_BUILD_DIR is a build of kdr-server at the commit before the one that added the history:
#   base=$(git log --diff-filter=A --format=%H -- server/history.cpp server/history/history.cpp | tail -n 1)
#   git worktree add --detach /tmp/kdr-base "$base^"
#   (cd /tmp/kdr-base && cmake --preset default && cmake --build build/default --target kdr-server)
# The databases go to TMPDIR (default /tmp); /dev/shm keeps the disk out of the measure.
# PostgreSQL: uses KDR_BENCH_PG (an admin URL) or starts a throwaway cluster (scripts/pg-cluster).
set -euo pipefail
source "$(dirname "$0")/../scripts/pg-cluster"
build="${1:?build dir}"
base_build="${2:?build dir of the server before the history}"
engine="${3:-sqlite}"
clients="${4:-1000000}"
rounds="${5:-3}"
source "$(dirname "$0")/common.sh"
bench_begin bench-history kdr_pg_stop

now() { date +%s.%N; }

order=$(copy_order)

bench_database "$engine" kdr_hbulk
seeded="$db"

# Seeded by the older server, whose schema the newer one then extends with the history's tables.
t0=$(now)
bin="$base_build/bin" start_server --db "$seeded" --seed "bulk:$clients"
stop_server
echo "seed bulk:$clients on $engine: $(echo "$(now) - $t0" | bc) s"

fresh_copy() { # prints the URL of a fresh copy of the seeded database
  if [ "$engine" = sqlite ]; then
    rm -f "$work"/run.db*
    cp "${seeded#sqlite:}" "$work/run.db"
    echo "sqlite:$work/run.db"
  else
    psql "$admin" -qc "DROP DATABASE IF EXISTS kdr_hrun" -qc "CREATE DATABASE kdr_hrun TEMPLATE kdr_hbulk"
    local url="${admin/\/postgres\?//kdr_hrun?}"
    psql "$url" -qc "VACUUM ANALYZE"
    echo "$url"
  fi
}

copy_time() { # BUILD_DIR: seconds of one GeraAutomParam to every client, on a fresh copy
  bin="$1/bin" start_server --db "$(fresh_copy)"
  local t0
  t0=$(now)
  curl -s --max-time 7200 -X POST -H "$auth" -H 'Content-Type: application/json' \
    -d "{\"args\":[\"T\",\"1\",$order]}" "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GeraAutomParam" \
    >"$work/answer.json"
  echo "$(now) - $t0" | bc
  stop_server
  # Both servers must have done the same copy.
  grep -o '"rows":\[\[[0-9,]*\]\]' "$work/answer.json" | head -n 1 >>"$work/answers"
}

summary() { # label; one number per line on stdin
  sort -g | awk -v label="$1" '{ a[NR] = $1 }
    END { m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
          printf "%-36s min %8.3f  median %8.3f  max %8.3f  (%d rounds)\n", label, a[1], m, a[NR], NR }'
}

for r in $(seq "$rounds"); do
  if [ $((r % 2)) -eq 1 ]; then
    without=$(copy_time "$base_build")
    with=$(copy_time "$build")
  else
    with=$(copy_time "$build")
    without=$(copy_time "$base_build")
  fi
  echo "round $r: without history ${without} s, with history ${with} s"
  echo "$without" >>"$work/without"
  echo "$with" >>"$work/with"
  echo "scale=4; $with / $without" | bc >>"$work/ratio"
done

if [ "$(sort -u "$work/answers" | wc -l)" -ne 1 ]; then
  echo "the two servers answered differently:"
  sort "$work/answers" | uniq -c
  exit 1
fi
echo "answer of every copy (CLIENTES, LINHAS): $(head -n 1 "$work/answers")"
summary "GeraAutomParam without history (s)" <"$work/without"
summary "GeraAutomParam with history (s)" <"$work/with"
summary "ratio with / without" <"$work/ratio"
