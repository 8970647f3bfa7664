#!/usr/bin/env bash
# Builds the .tqz decoder fuzz target (clang libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, outside the normal build) and runs it.
#   fuzz/run.sh [seconds]          build, make seeds, fuzz (default 600 s, one job)
#   fuzz/run.sh 0                  build only
# Seeds: small generated files, the production's pictures (build/data/*.tqz, when
# built) and the kept regression files (tests/codec/data). Inputs up to 512 KB, 2 GB
# of memory. Corpus and findings live in build-fuzz/ (not kept in git); each finding
# goes into tests/codec/data/ as a regression case once it is fixed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
top="$(dirname "$here")"
seconds="${1:-600}"
out="$top/build-fuzz"
mkdir -p "$out/corpus" "$out/findings"

cxx=clang++-14
flags=(-std=c++20 -g -O1 -ffp-contract=off -I"$top/src" -fno-omit-frame-pointer)
sanitize=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
sources=("$top"/src/codec/*.cpp "$top/src/framework/binfile/binfile.cpp" "$here/window_stub.cpp")

"$cxx" "${flags[@]}" "${sanitize[@]}" -fsanitize=fuzzer "${sources[@]}" \
  "$here/decode_fuzzer.cpp" -o "$out/decode_fuzzer"
"$cxx" "${flags[@]}" "${sources[@]}" "$here/make_seeds.cpp" -o "$out/make_seeds"
"$out/make_seeds" "$out/corpus"
cp "$top"/tests/codec/data/*.tqz "$out/corpus/"
if compgen -G "$top/build/data/*.tqz" > /dev/null; then
  for f in "$top"/build/data/*.tqz; do cp "$f" "$out/corpus/data-$(basename "$f")"; done
fi
[ "$seconds" = 0 ] && exit 0

cd "$out/findings"
exec "$out/decode_fuzzer" -max_total_time="$seconds" -max_len=524288 -rss_limit_mb=2048 \
  -timeout=10 -print_final_stats=1 "$out/corpus"
