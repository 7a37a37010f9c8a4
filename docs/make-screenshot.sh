#!/usr/bin/env bash
# Makes the pictures in docs/ by running the real programs as a user would:
# harbord and vantlow of BUILD_DIR on a virtual X display (Xvfb) with a
# window manager (openbox), driven by xdotool. A small generated site is
# served on loopback, slowly enough that the progress window can be seen.
#   docs/vantlow-main-window.png    the main window after a load
#   docs/vantlow-new-location.png   the "Open a new Net location" dialog
#   docs/vantlow-progress.png       the progress window during the load
#   docs/vantlow-help.png           the help window on its symbols page
# Usage: docs/make-screenshot.sh BUILD_DIR
# Needs: xvfb openbox xdotool imagemagick (installed when missing, as root).
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

need=()
for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool import:imagemagick; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if ((${#need[@]})); then apt-get install -y -q "${need[@]}" >/dev/null; fi

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# --- the site ------------------------------------------------------------
site=$work/site
mkdir -p "$site/docs" "$site/img" "$site/news"
page() {  # file title links...
  local file=$1 title=$2; shift 2
  { echo "<html><head><title>$title</title></head><body><h1>$title</h1>"
    for link in "$@"; do echo "<a href=\"$link\">$link</a>"; done
    echo "<img src=\"/img/logo.png\"></body></html>"; } > "$site/$file"
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

origin=$(free_port)
python3 - "$origin" "$site" >/dev/null 2>&1 <<'PY' &
import functools, http.server, sys, time
class Slow(http.server.SimpleHTTPRequestHandler):
    def handle_one_request(self):
        time.sleep(0.4)  # slow enough to see the progress window at work
        super().handle_one_request()
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])),
                                         functools.partial(Slow, directory=sys.argv[2]))
server.serve_forever()
PY
pids+=($!)

# --- the proxy -------------------------------------------------------------
proxy=$(free_port)
mkdir -p "$work/proxy"
(cd "$work/proxy" && exec "$build/bin/harbord" -setup "$work/proxy/harbord.cfg" -port "$proxy" \
   -iport "$(free_port)" -cachedir "$work/proxy/cache" >"$work/proxy/log" 2>&1) &
pids+=($!)
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$origin/" && \
  curl -s -o /dev/null -x "127.0.0.1:$proxy" http://quaylo/ && break; sleep 0.1; done

# --- the display -------------------------------------------------------------
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

shoot() {  # window-id file
  import -window "$1" "$here/$2"
  echo "wrote $here/$2"
}
await() {  # window title (regular expression) -> id of the newest such window
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1) && [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "no window '$1' appeared" >&2
  return 1
}

# --- vantlow, as a user meets it ------------------------------------------------
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir -p "$XDG_CONFIG_HOME/vantlow"
printf '[Window]\nMaximized=1\nOverview=1\nPageIndex=1\n' > "$XDG_CONFIG_HOME/vantlow/vantlow.ini"
"$build/bin/vantlow" --proxy "127.0.0.1:$proxy" >"$work/vantlow.log" 2>&1 &
pids+=($!)
main=$(await '^Vantlow$')
xdotool windowactivate --sync "$main"
sleep 1

others() { xdotool search --onlyvisible --name '^Vantlow$' 2>/dev/null | grep -vx "$main" || true; }

xdotool key ctrl+n
dialog=$(await '^Open a new Net location$')
xdotool windowactivate --sync "$dialog"
xdotool type --delay 20 "http://127.0.0.1:$origin/index.html"
xdotool key alt+o  # "Yes, without asking": the graph comes at once
xdotool mousemove --window "$dialog" 185 304 click --repeat 2 1 type 2  # two levels
sleep 0.5
shoot "$dialog" vantlow-new-location.png
xdotool key --window "$dialog" alt+x  # Execute now

for _ in $(seq 100); do [ -n "$(others)" ] && break; sleep 0.1; done
sleep 1.5
shoot "$(others | tail -1)" vantlow-progress.png

# The end-of-load window follows the progress window; it is closed, and
# the graph window tiled to fill the main window, as a user would.
sleep 1
for _ in $(seq 300); do
  ends=$(others)
  [ -n "$ends" ] && xdotool windowactivate --sync "$(echo "$ends" | tail -1)" key Escape 2>/dev/null || true
  sleep 0.5
  [ -z "$(others)" ] && break
done
xdotool windowactivate --sync "$main" key alt+w t
sleep 1.5
shoot "$main" vantlow-main-window.png

xdotool key F1
help=$(await '^Vantlow Help$')
xdotool windowsize --sync "$help" 760 640
xdotool mousemove --window "$help" 115 15 click 1  # the Symbols button
sleep 1
shoot "$help" vantlow-help.png
