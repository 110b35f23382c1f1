#!/usr/bin/env bash
# The board step of ./test.sh: the leaderboard's scenario, then the page with its leaderboard
# through the front. Needs a build (build/) and the built site (./web.sh).
cd "$(dirname "$0")/../.."
status=0
/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/board/test_board.py || status=1
bash tests/web/board_test.sh || status=1
exit $status
