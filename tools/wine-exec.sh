#!/usr/bin/env bash
# Runs one Windows program in the Wine session of STATE_DIR (see wine-session.sh).
#   wine-exec.sh STATE_DIR PROGRAM [ARGS...]
set -euo pipefail
state=$(cd "${1:?state directory}" && pwd); shift
. "$(dirname "$0")/wine-env.sh" "$state"
if [ -f "$state/display" ]; then export DISPLAY; DISPLAY=$(cat "$state/display"); fi
exec wine "$@"
