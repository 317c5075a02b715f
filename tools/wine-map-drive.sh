#!/usr/bin/env bash
# Maps a drive letter of a Wine session's prefix to a host folder, as a mounted drive would be.
#   wine-map-drive.sh STATE_DIR LETTER FOLDER   (STATE_DIR as for wine-session.sh)
# The session's wineserver is restarted, since Wine lists the prefix's drives when it starts.
set -euo pipefail
state=${1:?state directory}
letter=$(printf '%s' "${2:?drive letter}" | tr 'A-Z' 'a-z')
folder=${3:?host folder}
. "$(dirname "$0")/wine-env.sh" "$state"
[ -d "$WINEPREFIX/dosdevices" ] || { echo "no Wine prefix in $state" >&2; exit 1; }
mkdir -p "$folder"
ln -sfn "$(cd "$folder" && pwd)" "$WINEPREFIX/dosdevices/$letter:"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
DISPLAY=$(cat "$state/display" 2>/dev/null || echo "${DISPLAY:-}")
export DISPLAY
wineserver -p </dev/null >/dev/null 2>&1 || true  # (fails when a server already runs: fine)
# The first program of the new server may find the old one still going away: try again.
for attempt in 1 2 3; do
  wine cmd /c exit </dev/null >/dev/null 2>&1 && break
  [ "$attempt" = 3 ] && { echo "Wine did not start again after drive ${letter^^}: was mapped" >&2; exit 1; }
  sleep 1
  wineserver -p </dev/null >/dev/null 2>&1 || true
done
echo "drive ${letter^^}: is $folder"
