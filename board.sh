#!/usr/bin/env bash
# The leaderboard: installs what is missing, builds zellworth-board and runs it on 127.0.0.1
# (port 8000 unless given), its database in board-data/ (ignored by git). When the browser site
# has been built (./web.sh), it is served at the same address.
set -euo pipefail
cd "$(dirname "$0")"
port=${1:-8000}
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null
mkdir -p board-data
site=()
if [ -f build-web/site/index.html ]; then
  site=(--site build-web/site)
  echo "Zellworth and its leaderboard are served at http://localhost:$port/ (Ctrl+C stops it)"
else
  echo "The leaderboard is served at http://localhost:$port/api/scores (Ctrl+C stops it; ./web.sh builds the page)"
fi
exec build/zellworth-board --listen "127.0.0.1:$port" --db board-data/board.db "${site[@]}"
