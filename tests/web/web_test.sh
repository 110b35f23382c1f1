#!/usr/bin/env bash
# The browser test: serves build-web/site/ on a free port of its own and drives the real page in
# headless Chromium (web_test.mjs). Build the site first (./web.sh, or ./web.sh test for both).
set -euo pipefail
cd "$(dirname "$0")/../.."
site=build-web/site
[ -f "$site/index.html" ] || { echo "web test: no site in $site; run ./web.sh first" >&2; exit 1; }

# playwright-core, as the committed lock file names it, in the ignored build folder.
node_dir=build-web/node
if ! cmp -s web/package-lock.json "$node_dir/package-lock.json" || [ ! -d "$node_dir/node_modules/playwright-core" ]; then
  rm -rf "$node_dir"
  mkdir -p "$node_dir"
  cp web/package.json web/package-lock.json "$node_dir/"
  (cd "$node_dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
fi

# The next build, for a returning visitor: the same files with one line added to the page's script.
next=build-web/test-next
rm -rf "$next"
# Written in a later second than this build: the server answers "not modified" by the second, so a
# next build stamped in the same second as this one would never reach the visitor.
sleep 1
mkdir -p "$next"
cp -r build-web/files "$next/files"
echo "// the next build" >>"$next/files/page.js"
bash web/stamp.sh "$next/files" "$next/site" >/dev/null
served=build-web/test-served  # the folder served: this build's site, then the next one's
ln -sfn "$(pwd)/$site" "$served"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
python3 tests/web/serve.py "$port" "$served" >build-web/server.log 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/bytes-sent')" 2>/dev/null && break
  sleep 0.1
done

WEB_TEST_URL="http://127.0.0.1:$port/" WEB_TEST_NODE_DIR="$(pwd)/$node_dir" \
  WEB_TEST_SERVED="$(pwd)/$served" WEB_TEST_NEXT_SITE="$(pwd)/$next/site" \
  timeout 170 node tests/web/web_test.mjs
