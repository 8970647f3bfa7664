#!/usr/bin/env bash
# The browser build's tests (./test.sh --web): builds build-web/ with web.sh and
# lumetra-render (the frames' reference), installs the test browsers' packages and
# puppeteer-core from npm (pinned; it drives Debian's chromium and firefox-esr, no
# browser is downloaded), then runs tests/web/*.test.js with Node's test runner in each
# engine: Chromium, Firefox, WebKit (LUMETRA_WEB_ENGINES="chromium firefox webkit" by
# default). Arguments go to the runner (for example --test-name-pattern=Escape).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
"$top/scripts/deps.sh" "$top/scripts/web/test-packages.txt"
"$top/web.sh"
"$top/scripts/build.sh" lumetra-render
if ! command -v npm > /dev/null; then
  list=$(mktemp)
  echo npm > "$list"
  "$top/scripts/deps.sh" "$list"
  rm -f "$list"
fi
driver="$top/build-web/test-driver"
puppeteer=24.43.1
if [ "$(node -p "try { require('$driver/node_modules/puppeteer-core/package.json').version } catch { '' }")" != "$puppeteer" ]; then
  mkdir -p "$driver"
  PUPPETEER_SKIP_DOWNLOAD=1 npm install --prefix "$driver" --no-audit --no-fund --loglevel=error \
    "puppeteer-core@$puppeteer"
fi
cd "$top"
# One file at a time: each has a browser of its own, and two at once would share the
# two cores that the frame timings are taken on.
failed=0
for engine in ${LUMETRA_WEB_ENGINES:-chromium firefox webkit}; do
  for file in tests/web/*.test.js; do
    LUMETRA_WEB_BROWSER=$engine NODE_PATH="$driver/node_modules" \
      node --test --test-reporter=spec "$@" "$file" || failed=1
  done
done
exit $failed
