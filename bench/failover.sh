#!/usr/bin/env bash
# The long failover run: 16 desktops' writers through HAProxy to three servers, one of them killed
# with SIGKILL every 5 s and restarted, for a minute; prints the kills, the changes acknowledged,
# lost, doubled and written though refused, and the errors the writers saw.
# bench/failover.sh [BUILD_DIR] [SECONDS] [WRITERS] [KILL_EVERY]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec bash "$here/../tests/cluster/failover.sh" "${1:-build/default}" "${2:-60}" "${3:-16}" "${4:-5}"
