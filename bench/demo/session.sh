# Sourced by the live-run scripts: a work folder and the processes started into
# `pids`, all ended and removed when the script exits, and StartXvfb SIZE, which
# starts a private Xvfb of that screen size and exports its DISPLAY.
work="$(mktemp -d /tmp/lumetra-live-XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

StartXvfb() {
  exec 3>"$work/displayfd"
  Xvfb -displayfd 3 -screen 0 "$1x24" -noreset -nolisten tcp 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 300); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/displayfd")"
}

# Waits for the configuration dialog on this display and types the given keys into
# it; says so and fails when no dialog comes within a minute.
AnswerDialog() {
  local dialog=""
  for _ in $(seq 600); do
    dialog="$(xdotool search --name '^Config$' 2>/dev/null | head -n1)" && [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || { echo "no configuration dialog" >&2; return 1; }
  xdotool windowfocus --sync "$dialog" key --delay 120 "$@"
}
