#!/usr/bin/env bash
# Makes docs/vantlow-main-window.png: crawls a small generated site served on
# loopback (no proxy) into a graph window of the main window, on Qt's
# offscreen platform, and saves a picture of the window.
# Usage: docs/make-screenshot.sh BUILD_DIR   (with vantlow_gui_helper built)
set -euo pipefail
build=${1:?build directory}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT

site=$work/site
mkdir -p "$site/docs" "$site/img" "$site/news"
page() {  # file title links...
  local file=$1 title=$2; shift 2
  { echo "<html><head><title>$title</title></head><body><h1>$title</h1>"
    for link in "$@"; do echo "<a href=\"$link\">$link</a>"; done
    echo "</body></html>"; } > "$site/$file"
}
page index.html "Harbour Club" docs/index.html news/index.html about.html contact.html \
  img/logo.png http://elsewhere.test/ mailto:info@example.test ftp://files.example.test/
page about.html "About us" index.html history.html team.html missing.html
page history.html "History" about.html
page team.html "Team" about.html contact.html
page contact.html "Contact" index.html mailto:info@example.test
page docs/index.html "Documents" guide.html faq.html prices.txt brochure.zip
page docs/guide.html "Guide" index.html faq.html ../about.html
page docs/faq.html "FAQ" guide.html news://news.example.test/club
page news/index.html "News" 2024.html 2025.html ../index.html
page news/2024.html "News 2024" index.html photo.jpg
page news/2025.html "News 2025" index.html http://press.example.test/story
echo "prices" > "$site/docs/prices.txt"
printf 'PK' > "$site/docs/brochure.zip"
printf '\x89PNG' > "$site/img/logo.png"
printf '\xff\xd8' > "$site/news/photo.jpg"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

QT_QPA_PLATFORM=offscreen "$build/bin/vantlow_gui_helper" --screenshot "http://127.0.0.1:$port/index.html" \
  "$here/vantlow-main-window.png"
echo "wrote $here/vantlow-main-window.png"
