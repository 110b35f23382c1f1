#!/usr/bin/env bash
# The page with its leaderboard: board_test.mjs runs the real zellworth-board (build/) serving the
# built site (build-web/site/) on a free port of 127.0.0.1 and drives the page in headless
# Chromium. Build both first (scripts/build.sh build, ./web.sh); web_test.sh installs playwright-core.
#   BOARD_TEST_SHOTS=docs/board bash tests/web/board_test.sh   also takes the README's screenshots
set -euo pipefail
cd "$(dirname "$0")/../.."
[ -f build-web/site/index.html ] || { echo "board page test: no site in build-web/site; run ./web.sh first" >&2; exit 1; }
[ -x build/zellworth-board ] || { echo "board page test: no build/zellworth-board; run scripts/build.sh build first" >&2; exit 1; }
[ -d build-web/node/node_modules/playwright-core ] || { echo "board page test: no playwright-core; run tests/web/web_test.sh first" >&2; exit 1; }
BOARD_TEST_BINARY="$(pwd)/build/zellworth-board" BOARD_TEST_SITE="$(pwd)/build-web/site" \
  WEB_TEST_NODE_DIR="$(pwd)/build-web/node" timeout 300 node tests/web/board_test.mjs
