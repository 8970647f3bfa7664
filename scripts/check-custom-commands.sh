#!/usr/bin/env bash
# Checks that every custom command of the build makes the folders it writes into and
# waits only on what it declares. Make (the generator build.sh uses) does not create an
# output's folder, and the commands of one target run in parallel, so a command that
# writes into a folder another one makes fails now and then at -j2. Here each command
# runs alone in a freshly configured tree, its declared inputs made first and every
# folder a command made before removed: such a command fails every time.
# The commands and their inputs are read from a Ninja configuration of the tree (Ninja
# itself would make the folders, so the commands are run here, not by Ninja); the tools
# they run are the desktop build's, from build/ (built there if missing).
# Also checked: no command is in the Make rules of two targets (Make copies a command
# into each target of its folder that reads its output, unless that target depends on
# the one that makes it, and the copies can run at once).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$top/scripts/deps.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tree="$tmp/tree"
cmake -G Ninja -S "$top" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$tmp/configure.log" 2>&1 ||
  { cat "$tmp/configure.log"; exit 1; }
cd "$tree"

# Prints the explicit and implicit inputs of the build statement that makes $1 (none
# for a source file), then the rule's name on a line "rule: NAME".
query() {
  ninja -t query "$1" | awk -v tree="$tree/" '
    /^  input: / { print "rule: " $2; inputs = 1; next }
    /^  outputs:/ { inputs = 0 }
    inputs && !/^    \|\|/ { sub(/^    (\| )?/, ""); sub("^" tree, ""); print }'
}

# The commands' outputs, the CTest dashboard targets' stamps (CMakeFiles/) aside.
mapfile -t outputs < <(ninja -t targets rule CUSTOM_COMMAND | sed "s|^$tree/||" | grep -v '/CMakeFiles/\|^CMakeFiles/')
[ ${#outputs[@]} -gt 0 ] || { echo "check-custom-commands: no custom command found" >&2; exit 1; }
declare -A command_of
for output in "${outputs[@]}"; do command_of[$output]=$(ninja -t commands -s "$output"); done

# The programs the commands run (inputs a linker makes), linked in from build/; the
# linker rule's name holds the target's.
declare -A tools
for output in "${outputs[@]}"; do
  while read -r input; do
    target=$(query "$input" | sed -n 's/^rule: [A-Z]*_[A-Z]*_LINKER__\(.*\)_[A-Za-z]*$/\1/p')
    if [ -n "$target" ]; then tools[$input]=$target; fi
  done < <(query "$output" | grep -v '^rule: ')
done
"$top/scripts/build.sh" "${tools[@]}" > "$tmp/build.log" 2>&1 || { cat "$tmp/build.log"; exit 1; }
for tool in "${!tools[@]}"; do
  [ -x "$top/build/$tool" ] || { echo "check-custom-commands: build/$tool was not built" >&2; exit 1; }
  ln -s "$top/build/$tool" "$tool"
done
find . -type d | sort > "$tmp/folders"

# Runs the command that makes $1 after those that make its inputs (each once); false if
# any fails or leaves one of its outputs unwritten.
declare -A made
make_output() {
  local command=${command_of[$1]} input output
  if [ -n "${made[$command]:-}" ]; then return 0; fi
  made[$command]=1
  while read -r input; do
    if [ -n "${command_of[$input]:-}" ]; then make_output "$input" || return 1; fi
  done < <(query "$1" | grep -v '^rule: ')
  if ! sh -c "$command" > "$tmp/command.log" 2>&1; then
    echo "FAILED: $command"
    sed 's/^/  /' "$tmp/command.log"
    return 1
  fi
  for output in "${!command_of[@]}"; do
    if [ "${command_of[$output]}" = "$command" ] && [ ! -e "$output" ]; then
      echo "FAILED: $command"
      echo "  did not write $output"
      return 1
    fi
  done
}

# One run per command, whatever number of outputs it has.
failed=0
declare -A checked
for output in "${outputs[@]}"; do
  command=${command_of[$output]}
  if [ -n "${checked[$command]:-}" ]; then continue; fi
  checked[$command]=1
  comm -13 "$tmp/folders" <(find . -type d | sort) | xargs -r rm -rf
  made=()
  make_output "$output" || failed=1
done
if [ $failed = 1 ]; then
  echo "check-custom-commands: a command above failed when run alone; each command must make" >&2
  echo "the folders it writes into and declare (DEPENDS) the outputs it reads." >&2
  exit 1
fi
echo "check-custom-commands: ${#checked[@]} commands run alone, each made its outputs"

# build/'s Make rules: each command line in one target's rules only.
copies=$(find "$top/build" -path '*/CMakeFiles/*.dir/build.make' -exec sh -c \
  'for f; do grep "^	cd " "$f" | sort -u; done' sh {} + | sort | uniq -d)
if [ -n "$copies" ]; then
  echo "$copies"
  echo "check-custom-commands: the commands above are in the Make rules of two targets that can" >&2
  echo "run at once: the targets reading an output must depend on the one that makes it." >&2
  exit 1
fi
