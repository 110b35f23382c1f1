#!/usr/bin/env bash
# The board step of ./test.sh: the leaderboard's scenario (the board alone, then behind its nginx
# front), then the page with its leaderboard through the front. Needs a build (build/) and the
# built site (./web.sh); ./test.sh gives the whole step 3 minutes.
cd "$(dirname "$0")/../.."
status=0
bash tests/board/board_test.sh build/zellworth-board build/tests/board/board_replay_maker build/zellworth || status=1
bash tests/web/board_test.sh || status=1
exit $status
