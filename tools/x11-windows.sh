# Sourced by the demo and the screenshot scripts: finding and capturing windows on the X display.

# Prints the id of the first window whose title matches, waiting up to SECONDS for it.
wait_for_window() {
  local pattern=$1 seconds=$2 id
  for _ in $(seq 1 $((seconds * 10))); do
    id=$(xdotool search --name "$pattern" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Saves a window once its picture has stopped changing (controls paint after the frame).
capture_painted() {
  local id=$1 file=$2 previous=""
  for _ in $(seq 1 30); do
    sleep 0.5
    xwd -id "$id" -silent | convert xwd:- "$file"
    current=$(md5sum <"$file")
    [ "$current" = "$previous" ] && return 0
    previous=$current
  done
}
