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

echo "Built $to (version $version):"
(cd "$to" && for file in *; do
  printf '  %-34s %9d bytes  %9d gzip\n' "$file" "$(stat -c %s "$file")" "$(gzip -9 -c "$file" | wc -c)"
done)
