#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere, and
# runs the installed programs from there, from an unrelated folder: the demo
# must find the plugin (its one expectation is a launch by a bubble), and the
# playground must serve its page and a phone, keeping the phone's files in
# the user's state folder. A program that still looked into the build tree,
# or at the place it was installed to, fails here.
#
#   installed_programs.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1 build=$2
tmp=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "install: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$tmp/installed" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install failed"; }
mv "$tmp/installed" "$tmp/moved"
prefix=$tmp/moved
for f in bin/springboard-sim lib/floattiles/device-template/Library/MobileSubstrate/DynamicLibraries/FloatTiles.so \
         lib/floattiles/device-template/Library/MobileSubstrate/DynamicLibraries/FloatTiles.plist; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done

mkdir "$tmp/work" && cd "$tmp/work"
"$prefix/bin/springboard-sim" >demo.out 2>demo.err || { cat demo.out demo.err; fail "the installed demo failed"; }
grep -q "launch com.apple.camera suspended=NO" demo.out || fail "the demo's bubbles did not launch an app"
grep -q "<svg" demo.svg || fail "no demo.svg written"
[ ! -s demo.err ] || { cat demo.err; fail "the demo complained"; }
echo "install: the installed demo ran and wrote demo.svg"

[ -x "$prefix/bin/floattiles-playground" ] || { echo "install: no playground in this build"; exit 0; }
export XDG_STATE_HOME=$tmp/state
mkfifo server.pipe
"$prefix/bin/floattiles-playground" --port 0 >server.pipe 2>server.err &
server=$!
exec 3<server.pipe
url=""
while IFS= read -r -t 120 line <&3; do
  if [[ $line =~ (http://[^ ]*/) ]]; then url=${BASH_REMATCH[1]}; break; fi
done
[ -n "$url" ] || { cat server.err; fail "the playground printed no address"; }
# The event stream's first message is the whole phone, once it has started.
python3 - "$url" <<'PY' || fail "the installed playground did not serve its page and phone"
import sys, urllib.request
url = sys.argv[1]
page = urllib.request.urlopen(url, timeout=60).read().decode()
assert "<html" in page.lower() and "app.js" in page, "the page"
assert urllib.request.urlopen(url + "app.js", timeout=60).status == 200, "app.js"
with urllib.request.urlopen(url + "api/events", timeout=120) as events:
    for line in events:
        if line.startswith(b"data:") and b"<svg" in line:
            break
    else:
        raise AssertionError("no picture of the phone")
PY
[ -d "$XDG_STATE_HOME/floattiles/playground-device" ] || fail "the phone's files are not in the user's state folder"
echo "install: the installed playground served its page and the phone"
