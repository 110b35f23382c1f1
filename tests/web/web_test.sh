#!/usr/bin/env bash
# The page's test: serves build-web/site/ (serve.py) and plays the real page in headless Chromium
# (web_test.mjs). Build the site first: ./web.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
[ -f build-web/site/index.html ] || { echo "web test: no site in build-web/site; run ./web.sh first" >&2; exit 1; }

# playwright-core, as the committed lock file names it, in the ignored build folder.
node=build-web/node
if ! cmp -s web/package-lock.json $node/package-lock.json || [ ! -d $node/node_modules/playwright-core ]; then
  rm -rf $node && mkdir -p $node && cp web/package.json web/package-lock.json $node/
  (cd $node && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
fi

# The next build, for a returning visitor: one line added to the page's script, stamped a second
# later, since the server answers "not modified" by the second.
next=build-web/test-next
rm -rf $next && sleep 1 && mkdir -p $next && cp -r build-web/files $next/files
echo "// the next build" >>$next/files/page.js
bash web/stamp.sh $next/files $next/site >/dev/null
served=build-web/test-served  # this build's site, then the next one's
ln -sfn "$PWD/build-web/site" $served

exec 3< <(exec python3 tests/web/serve.py $served 2>build-web/server.log)
server=$!
trap 'kill $server' EXIT
read -r port <&3
WEB_TEST_URL="http://127.0.0.1:$port/" WEB_TEST_NODE_DIR="$PWD/$node" WEB_TEST_SERVED="$PWD/$served" \
  WEB_TEST_NEXT_SITE="$PWD/$next/site" timeout 170 node tests/web/web_test.mjs
