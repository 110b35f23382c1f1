#!/usr/bin/env bash
# Makes the site from the page's files: usage: web/stamp.sh FILES SITE.
# Every file but index.html and sw.js is named by its content (zellworth.0123456789ab.wasm), so
# that a browser downloads again only what a new build changed, and a page still running an
# older build asks only for that build's files. index.html names them; the service worker (sw.js)
# lists them under a cache named after the whole site.
set -euo pipefail
from=$1
to=$2
rm -rf "$to"
mkdir -p "$to"

# In this order: the icons before the manifest that names them.
index=$(cat "$from/index.html")
manifest=$(cat "$from/manifest.webmanifest")
stamped=()
for file in icon-192.png icon-512.png NOTICES.txt page.css page.js best_games.css best_games.js leaderboard.css leaderboard.js zellworth.js \
  zellworth.wasm zellworth.data manifest.webmanifest; do
  source=$from/$file
  if [ "$file" = manifest.webmanifest ]; then
    source=$to/$file
    printf '%s\n' "$manifest" >"$source"
  fi
  named=${file%.*}.$(sha256sum "$source" | cut -c1-12).${file##*.}
  cp "$source" "$to/$named"
  index=${index//\"$file\"/\"$named\"}
  manifest=${manifest//\"$file\"/\"$named\"}
  stamped+=("$named")
done
rm "$to/manifest.webmanifest"
printf '%s\n' "$index" >"$to/index.html"

quoted() { printf '"%s",' "$@" | sed 's/,$//'; }
version=$(cd "$to" && sha256sum -- * | sha256sum | cut -c1-16)
sed -e "s/@VERSION@/$version/" -e "s|@STAMPED@|[$(quoted "${stamped[@]}")]|" "$from/sw.js" >"$to/sw.js"

# Beside each file that gzip makes a tenth smaller or more, its compressed copy, for a server
# that sends it to the browsers that take it (the board's nginx front does). The copies are not
# in the site's version or the worker's list: they are what those name.
echo "Built $to (version $version):"
(cd "$to" && for file in *; do
  gzip -9 -n -k "$file"
  printf '  %-34s %9d bytes  %9d gzip\n' "$file" "$(stat -c %s "$file")" "$(stat -c %s "$file.gz")"
  [ "$(stat -c %s "$file.gz")" -le $(($(stat -c %s "$file") * 9 / 10)) ] || rm "$file.gz"
done)
