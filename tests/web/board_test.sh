#!/usr/bin/env bash
# The page with its leaderboard: board_test.mjs runs the package's nginx site serving the built
# site (build-web/site/) over HTTPS on a free port of 127.0.0.1, the real zellworth-board (build/)
# behind it, and drives the page in headless Chromium. Build both first (scripts/build.sh build,
# ./web.sh); web_test.sh installs playwright-core.
#   BOARD_TEST_SHOTS=docs/board bash tests/web/board_test.sh   also takes the README's screenshots
set -euo pipefail
cd "$(dirname "$0")/../.."
[ -f build-web/site/index.html ] || { echo "board page test: no site in build-web/site; run ./web.sh first" >&2; exit 1; }
[ -x build/zellworth-board ] || { echo "board page test: no build/zellworth-board; run scripts/build.sh build first" >&2; exit 1; }
[ -d build-web/node/node_modules/playwright-core ] || { echo "board page test: no playwright-core; run tests/web/web_test.sh first" >&2; exit 1; }
[ -x /usr/sbin/nginx ] || { echo "board page test: no nginx; run scripts/setup.sh first" >&2; exit 1; }
# The front's certificate, self-signed, made here so that node starts trusting it.
certs=$(mktemp -d)
trap 'rm -rf "$certs"' EXIT
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
  -addext 'subjectAltName=IP:127.0.0.1,DNS:localhost' -keyout "$certs/key.pem" -out "$certs/cert.pem" 2>/dev/null
BOARD_TEST_BINARY="$(pwd)/build/zellworth-board" BOARD_TEST_SITE="$(pwd)/build-web/site" \
  BOARD_TEST_CERT="$certs/cert.pem" BOARD_TEST_KEY="$certs/key.pem" NODE_EXTRA_CA_CERTS="$certs/cert.pem" \
  WEB_TEST_NODE_DIR="$(pwd)/build-web/node" timeout 300 node tests/web/board_test.mjs
