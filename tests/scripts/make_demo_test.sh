#!/usr/bin/env bash
# scripts/make-demo as an author meets it: the folder it lays out passes the
# program's --check, and running it again fills in what is missing without
# overwriting what the author changed.
#
#   make_demo_test.sh REPOSITORY PROGRAM
#
# ORVALEN_BUILD_DIR names the build that holds the generator.
set -euo pipefail
root="$1"
program="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
demo="$work/demo"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
same() { cmp -s "$1" "$2"; }

# The check runs with no display and no audio device
check() { (cd "$demo" && env -u DISPLAY ALSOFT_DRIVERS=nonexistent "$program" --check 2>&1); }

# A fresh folder: every file, and an intro with nothing to say
"$root/scripts/make-demo" "$demo" >"$work/first.txt"
[ -s "$work/first.txt" ] && fail "a fresh folder gave lines: $(cat "$work/first.txt")"
for file in config.json assets/textures.json assets/sprites.json assets/music.json; do
  same "$root/tools/demo/$file" "$demo/$file" || fail "$file is not the demo's"
done
[ -s "$demo/assets/media/song.ogg" ] || fail "no song was made"
report="$(check)" || fail "the demo does not pass the check:
$report"
[ "$report" = "Check: 0 problems, 0 notes." ] || fail "the check of the demo said:
$report"

# The author's changes, then a second run
echo '{"fullscreen": true}' >"$demo/config.json"
cp "$demo/assets/media/ov1.png" "$demo/assets/media/title.png"
echo "notes" >"$demo/assets/media/mine.txt"
rm "$demo/assets/media/ov4.png"
cp "$demo/assets/media/end.png" "$work/end.png"
"$root/scripts/make-demo" "$demo" >"$work/second.txt"
[ "$(cat "$demo/config.json")" = '{"fullscreen": true}' ] || fail "config.json was overwritten"
same "$demo/assets/media/ov1.png" "$demo/assets/media/title.png" || fail "the author's title.png was overwritten"
[ "$(cat "$demo/assets/media/mine.txt")" = "notes" ] || fail "a file of the author's own is gone"
[ -s "$demo/assets/media/ov4.png" ] || fail "the missing ov4.png was not made again"
same "$work/end.png" "$demo/assets/media/end.png" || fail "end.png changed"
grep -qx "make-demo: keeping your config.json (it differs from the demo's)" "$work/second.txt" \
  || fail "no word about keeping config.json: $(cat "$work/second.txt")"
grep -qx "make-demo: keeping your assets/media/title.png (it differs from the demo's)" "$work/second.txt" \
  || fail "no word about keeping title.png: $(cat "$work/second.txt")"

# A file as make-demo wrote it before the demo changed is brought up to date
echo '{"music": {}}' >"$demo/assets/music.json"
old_sum="$(sha256sum "$demo/assets/music.json" | cut -d' ' -f1)"
sed -i "s|^[0-9a-f]* assets/music.json\$|$old_sum assets/music.json|" "$demo/.make-demo.sums"
"$root/scripts/make-demo" "$demo" >"$work/third.txt"
same "$root/tools/demo/assets/music.json" "$demo/assets/music.json" || fail "music.json as made before was not updated"
grep -qx "make-demo: updated assets/music.json" "$work/third.txt" || fail "no word about the update: $(cat "$work/third.txt")"
[ "$(cat "$demo/config.json")" = '{"fullscreen": true}' ] || fail "config.json was overwritten on the third run"

# Never into the repository itself
if "$root/scripts/make-demo" "$root" >"$work/root.txt" 2>&1; then
  fail "make-demo laid out the repository itself"
fi
grep -q "a folder of its own" "$work/root.txt" || fail "no reason given: $(cat "$work/root.txt")"
[ -e "$root/.make-demo.sums" ] && fail "make-demo wrote into the repository"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
