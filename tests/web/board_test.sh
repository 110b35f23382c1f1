#!/usr/bin/env bash
# The page with its leaderboard through the front in headless Chromium (board_test.mjs). Needs
# scripts/build.sh build, ./web.sh and tests/web/web_test.sh run first.
#   BOARD_TEST_SHOTS=docs/board bash tests/web/board_test.sh   also takes the README's screenshots
set -euo pipefail
cd "$(dirname "$0")/../.."
for need in build-web/site/index.html:./web.sh build/zellworth-board:scripts/build.sh build-web/node/node_modules/playwright-core:tests/web/web_test.sh /usr/sbin/nginx:scripts/setup.sh; do
  [ -e "${need%%:*}" ] || { echo "board page test: no ${need%%:*}; run ${need#*:} first" >&2; exit 1; }
done
certs=$(mktemp -d)
trap 'rm -rf "$certs"' EXIT
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
  -addext 'subjectAltName=IP:127.0.0.1,DNS:localhost' -keyout "$certs/key.pem" -out "$certs/cert.pem" 2>/dev/null
BOARD_TEST_BINARY="$(pwd)/build/zellworth-board" BOARD_TEST_SITE="$(pwd)/build-web/site" \
  BOARD_TEST_CERT="$certs/cert.pem" BOARD_TEST_KEY="$certs/key.pem" NODE_EXTRA_CA_CERTS="$certs/cert.pem" \
  WEB_TEST_NODE_DIR="$(pwd)/build-web/node" timeout 300 node tests/web/board_test.mjs
