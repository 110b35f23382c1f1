#!/usr/bin/env bash
# Makes the site from the page's files: usage: web/stamp.sh FILES SITE.
# The game's and the page's scripts, styles, WebAssembly and data are named by their content
# (zellworth.0123456789ab.wasm), so that a browser downloads again only what a new build changed,
# and a page still running an older build asks only for that build's files. index.html names
# them; the service worker (sw.js) lists them under a cache named after the whole site.
set -euo pipefail
from=$1
to=$2
rm -rf "$to"
mkdir -p "$to"

index=$(cat "$from/index.html")
for file in zellworth.js zellworth.wasm zellworth.data page.js page.css; do
  named=${file%.*}.$(sha256sum "$from/$file" | cut -c1-12).${file##*.}
  cp "$from/$file" "$to/$named"
  index=${index//\"$file\"/\"$named\"}
  stamped+=("$named")
done
printf '%s\n' "$index" >"$to/index.html"
kept=(manifest.webmanifest icon-192.png icon-512.png NOTICES.txt)
for file in "${kept[@]}"; do cp "$from/$file" "$to/"; done

quoted() { printf '"%s",' "$@" | sed 's/,$//'; }
version=$(cd "$to" && sha256sum -- * | sha256sum | cut -c1-16)
sed -e "s/@VERSION@/$version/" -e "s|@STAMPED@|[$(quoted "${stamped[@]}")]|" \
  -e "s|@KEPT@|[\"./\",$(quoted "${kept[@]}")]|" "$from/sw.js" >"$to/sw.js"

echo "Built $to (version $version):"
(cd "$to" && for file in *; do
  printf '  %-30s %9d bytes  %9d gzip\n' "$file" "$(stat -c %s "$file")" "$(gzip -9 -c "$file" | wc -c)"
done)
