#!/usr/bin/env bash
# springboard-sim's command line as a person types it: each mode's output
# and exit status (0 ran, 1 a line or the film failed, 2 the command line
# was wrong), its refusals, and what --root, --film and --dump-on-fail
# leave behind.
set -u
sim=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
failures=0
fail() {
  echo "command_line: $*" >&2
  failures=$((failures + 1))
}
# runs WANT CMD...: CMD's output in out and err, its status checked.
runs() {
  local want=$1
  shift
  "$@" >out 2>err </dev/null
  local got=$?
  [ "$got" = "$want" ] || fail "'$*' exited $got, not $want: $(head -c 400 err)"
}
has() { grep -q -- "$2" "$1" || fail "no '$2' in $1: $(head -c 400 "$1")"; }

printf 'plugin none\nboot\nexpect /host/booted == true\n' >ok.scenario
cp ok.scenario again.scenario
printf 'plugin none\nboot\nexpect /host/booted == false\nexpect /host/booted == true\n' >bad.scenario
printf 'plugin none\n' >never.scenario

for wrong in "run" "bogus" "help me" "describe it" "run --root" "run ok.scenario --root" \
  "run ok.scenario --dump-on-fail" "run ok.scenario --film"; do
  # shellcheck disable=SC2086
  runs 2 "$sim" $wrong
  has err "^usage: springboard-sim"
done
runs 2 "$sim" --film film.gif run ok.scenario
has err "name it FILE.webp"
runs 2 "$sim" run --film film.webp -
has err "not standard input"
[ ! -e film.gif ] && [ ! -e film.webp ] || fail "a refused command line wrote a film"

for form in help --help -h; do
  runs 0 "$sim" $form
  has out "^usage: springboard-sim"
  has out "^  snapshot PATH.png$"
done
runs 0 "$sim" describe
has out '^  "files": {$'

runs 0 "$sim" run ok.scenario
[ ! -s err ] || fail "a passing run complained: $(cat err)"
! grep -q "^== " out || fail "a run of one file named it as one of several"
runs 1 "$sim" run ok.scenario bad.scenario
has out "^== ok.scenario$"
has out "^== bad.scenario$"
has err "^bad.scenario:3: expect failed: /host/booted is true"
has err "^bad.scenario: 1 line(s) failed$"
runs 1 "$sim" run missing.scenario
has err "missing.scenario: cannot read the scenario"

# Each file of a kept root gets a folder of its own, named after it; a
# lone file's root is the folder itself; with no root, nothing is kept.
runs 0 "$sim" run --root kept ok.scenario again.scenario
[ -d kept/ok/var/mobile/Library/Preferences ] && [ -d kept/again ] || fail "no folder per file under --root"
runs 0 "$sim" run --root lone ok.scenario
[ -d lone/var/mobile/Library/Preferences ] && [ ! -e lone/ok ] || fail "a lone file's root is not the folder given"
runs 0 "$sim" run ok.scenario again.scenario
[ ! -e ok ] && [ ! -e again ] || fail "a run without --root kept a folder"
runs 1 "$sim" run bad.scenario --dump-on-fail fails
has out "kept fails/bad-line3.json and fails/bad-line3.svg"
grep -q '"booted": true' fails/bad-line3.json || fail "the kept dump is not the failing moment's"
grep -q '^  "host": {$' fails/bad-line3.json || fail "the kept dump is not indented as the dump command indents it"
grep -q '^<svg' fails/bad-line3.svg || fail "the kept picture is not an SVG"
[ ! -e fails/bad-line4.json ] || fail "a passing line was kept"

runs 0 "$sim" run ok.scenario again.scenario --film film.webp
# The boot's picture held for a change, then to the end's second; the same
# picture on the second phone adds nothing; a pixel per point at scale 2.
has out "^-- film film.webp: 30 frames at 30 a second (1.0 s), 750x1334; a still phone's waits over 1 s shortened (0.0 s left out)$"
[ "$(head -c 4 film.webp)" = RIFF ] && [ "$(dd if=film.webp bs=1 skip=8 count=4 2>/dev/null)" = WEBP ] ||
  fail "the film is not a WebP"
runs 1 "$sim" run --film none.webp never.scenario
has err "^film none.webp: nothing to film: the phone never started$"

printf 'plugin none\nboot\nbogus\n' | "$sim" run - >out 2>err
[ $? = 0 ] || fail "the interactive protocol exited with a failure"
[ "$(sed -n 1p out)" = ok ] && [ "$(sed -n 4p out)" = "error: unknown command bogus; springboard-sim help lists every command" ] ||
  fail "the interactive protocol answered: $(cat out)"

# Options go anywhere on the line, the last one too.
runs 0 "$sim" --root demo-root
has out "^-- wrote demo.svg$"
[ -d demo-root/var/mobile/Library/Preferences ] || fail "the demo did not keep its root"
grep -q '^<svg' demo.svg || fail "the demo wrote no picture"

[ "$failures" = 0 ] || exit 1
echo "command_line: every mode answered as it should"
