#!/usr/bin/env bash
# Installing into a prefix gives a desktop game: the program, its media, a launcher on the path,
# a menu entry, icons, a manual page and AppStream metadata. The launcher, even through a link,
# starts the game with a data directory of the user's own, where a key configuration then saves
# Settings.bin and whose Scores.bin --scores reads; the installed tree stays untouched.
source "$(dirname "$0")/lib.sh"
: "${ZW_BUILD:?}"
e2e_init

prefix="$SCRATCH/prefix"
cmake --install "$ZW_BUILD" --prefix "$prefix" >"$SCRATCH/install.log" 2>&1 ||
  fail "cmake --install failed: $(cat "$SCRATCH/install.log")"
log "installed into $prefix"

[ -x "$prefix/lib/zellworth/zellworth" ] || fail "no program in lib/zellworth"
[ -x "$prefix/bin/zellworth" ] || fail "no launcher in bin"
for file in "$ZW_MEDIA"/*; do
  name=$(basename "$file")
  case $name in Settings.bin* | Scores.bin*) continue ;; esac
  cmp -s "$file" "$prefix/share/zellworth/Common/$name" || fail "media file $name not installed"
done
[ ! -e "$prefix/share/zellworth/Common/Settings.bin" ] || fail "a Settings.bin was installed"

desktop="$prefix/share/applications/zellworth.desktop"
[ -f "$desktop" ] || fail "no menu entry"
for line in "[Desktop Entry]" "Type=Application" "Name=Zellworth" "Icon=zellworth" \
            "Exec=$prefix/bin/zellworth" "Terminal=false"; do
  grep -qxF "$line" "$desktop" || fail "the menu entry lacks '$line'"
done
grep -q '^Categories=.*Game;' "$desktop" || fail "the menu entry is not in the games category"

for size in 16 22 24 32 48 64 128; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/zellworth.png"
  [ "$("$ZW_PROBE" size "$icon" 2>/dev/null)" = "$size $size" ] || fail "no $size x $size icon"
  # The icon is the bird, cut close: it covers at least a fifth of the square.
  [ "$("$ZW_PROBE" count "$icon" 0 0 "$size" "$size" 0 0 0)" -le $((size * size * 4 / 5)) ] ||
    fail "the $size x $size icon is nearly empty"
done
man="$prefix/share/man/man6/zellworth.6"
grep -qF "$prefix/lib/zellworth/zellworth" "$man" || fail "the manual page does not name the installed game"
# Wide enough for the long paths of a scratch prefix.
[ -z "$(LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$man" 2>&1 >/dev/null)" ] || fail "the manual page has faults"
[ -f "$prefix/share/metainfo/org.zellworth.zellworth.metainfo.xml" ] || fail "no AppStream metadata"

# Start the installed game through a link, from elsewhere, as a user with a fresh home.
home="$SCRATCH/home"
mkdir -p "$home" "$SCRATCH/games"
ln -s "$prefix/bin/zellworth" "$SCRATCH/games/zellworth"
unset XDG_DATA_HOME
E2E_PROGRAM="$SCRATCH/games/zellworth" E2E_RUN_DIR=/ e2e_start_game HOME="$home"
e2e_wait_window
wait_frame_at 390
data="$home/.local/share/zellworth"
[ -L "$data/Common/Title.png" ] && cmp -s "$data/Common/Title.png" "$ZW_MEDIA/Title.png" ||
  fail "the user's data directory does not link the installed media"

# A completed key configuration lands in the user's data directory.
e2e_key Down Return
e2e_wait_for 10 "the key configuration screen" settings_step 9 "${DEFAULT_KEY_NAMES[@]}"
e2e_key Up Down Left Right j Return BackSpace F4 space
wait_frame_at 390
settings="$data/Common/Settings.bin"
[ -f "$settings" ] && [ ! -L "$settings" ] || fail "no Settings.bin of the user's own in $data/Common"
expected="$(le32 40000052) $(le32 40000051) $(le32 40000050) $(le32 4000004F) $(le32 6A) $(le32 0D) $(le32 08) $(le32 4000003D)"
[ "$(hex_bytes "$settings")" = "$expected" ] || fail "Settings.bin holds $(hex_bytes "$settings")"
[ ! -e "$prefix/share/zellworth/Common/Settings.bin" ] || fail "Settings.bin written into the installation"
e2e_close_window
expect_exit_zero 5

# --scores through the launcher, from elsewhere, reads the user's own Scores.bin.
echo "not a table" >"$data/Common/Scores.bin"
scores=$(cd / && HOME="$home" "$SCRATCH/games/zellworth" --scores) || fail "--scores through the launcher: status $?"
[ "$scores" = "../Common/Scores.bin is cut short; the best scores start empty, and the next score saved replaces the file.
No best scores yet." ] || fail "--scores through the launcher: $scores"

# XDG_DATA_HOME, when set, is where the data directory goes.
E2E_PROGRAM="$prefix/bin/zellworth" e2e_start_game XDG_DATA_HOME="$SCRATCH/xdg" HOME="$home"
e2e_wait_window
wait_frame_at 390
[ -L "$SCRATCH/xdg/zellworth/Common/Title.png" ] || fail "XDG_DATA_HOME was not used"
e2e_close_window
expect_exit_zero 5
pass
