# Sourced by the bench scripts that start the program: AnswerDialog KEY..., which waits
# for the configuration dialog on this display and types the keys into it; says so and
# fails when no dialog comes within a minute.
AnswerDialog() {
  local dialog=""
  for _ in $(seq 600); do
    dialog="$(xdotool search --name '^Config$' 2>/dev/null | head -n1)" && [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || { echo "no configuration dialog" >&2; return 1; }
  sleep 1  # keys sent at once may come before the dialog takes them
  xdotool windowfocus --sync "$dialog" key --delay 120 "$@"
}
