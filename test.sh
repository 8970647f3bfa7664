#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   ./test.sh [ctest arguments]              in build/
#   ./test.sh --sanitize [ctest arguments]   in build-asan/: tests, program and tools
#       built with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer; any
#       report fails the test that caused it (options and suppressions: tests/sanitizer/)
#   ./test.sh --web [node --test arguments]  the browser build (build-web/, see web.sh)
#       in Debian's chromium, headless: tests/web/
#   ./test.sh --windows [ctest arguments]    the Windows build (build-windows/, see
#       windows.sh) under Wine: tests/windows/ (skipped by the other runs)
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ "${1:-}" = --web ]; then
  shift
  exec "$top/scripts/web/test.sh" "$@"
fi
if [ "${1:-}" = --windows ]; then
  shift
  exec "$top/scripts/windows/test.sh" "$@"
fi
"$top/scripts/deps.sh"
if [ "${1:-}" = --sanitize ]; then
  shift
  "$top/scripts/build.sh" --sanitize
  cd "$top/build-asan"
else
  "$top/scripts/build.sh"
  cd "$top/build"
fi
# The Windows build's tests run with ./test.sh --windows.
ctest --output-on-failure -E '^Windows' "$@"
