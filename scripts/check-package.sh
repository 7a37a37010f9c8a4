#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB) from a release build, installs it
# with dpkg, checks that harbord and vantlow run from PATH and that the
# desktop entry and the user unit validate, removes the package and checks that nothing it
# installed is left. Needs root for dpkg. Usage: scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}
bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" --target harbord vantlow
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/quaylo_*.deb | head -1)
echo "package: $deb"
dpkg-deb --info "$deb" | grep -E "Package|Version|Depends"

dpkg -i "$deb" || { apt-get install -y -f -q >/dev/null && dpkg -i "$deb"; }
mapfile -t files < <(dpkg -L quaylo | while read -r path; do [ -f "$path" ] && echo "$path"; done)
echo "installed ${#files[@]} files"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home harbord -help >/dev/null 2>&1 || [ $? -eq 0 ] || { echo "harbord -help failed"; exit 1; }
HOME=$home harbord -help 2>&1 | grep -q -- "-sslports" || { echo "harbord -help lists no options"; exit 1; }
HOME=$home vantlow --help | grep -q -- "--load URL" || { echo "vantlow --help failed"; exit 1; }
desktop-file-validate /usr/share/applications/vantlow.desktop
# The user unit, checked by systemd as far as this machine lets it run.
if command -v systemd-analyze >/dev/null; then systemd-analyze verify /usr/lib/systemd/user/harbord.service; fi
[ -f /usr/share/quaylo/help_e/help.htm ] || { echo "help files missing"; exit 1; }

dpkg -r quaylo >/dev/null
left=0
for path in "${files[@]}"; do
  if [ -e "$path" ]; then echo "left behind: $path"; left=1; fi
done
[ $left -eq 0 ] && echo "package installs, runs and removes cleanly"
exit $left
