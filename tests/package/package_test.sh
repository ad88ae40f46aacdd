#!/usr/bin/env bash
# The package as a user gets it: makes the .debs (the program, and the -dev
# package for games) and the .tar.gz with CPack, unpacks the .debs into a
# throwaway root with dpkg -x (nothing is installed on this machine), checks
# what they hold, then plays the unpacked demo with the
# unpacked program on the current X display: the window must appear and show
# the demo's title card, and Escape must end the program with status 0 and
# nothing of its own on standard error.
#
#   package_test.sh CPACK CPACK_CONFIG [BUILD_CONFIG]
#
# Needs dpkg, xdotool and ImageMagick, and a DISPLAY (the test command runs
# everything under xvfb-run).
set -euo pipefail
cpack="$1"
config="$2"
build_config="${3:-}"

fail() {
  echo "package test: $*" >&2
  exit 1
}
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run under xvfb-run"

work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
  fi
  xdotool keyup Escape 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "Packaging into $work/out"
cpack_args=(--config "$config" -B "$work/out")
[ -n "$build_config" ] && cpack_args+=(-C "$build_config")
"$cpack" "${cpack_args[@]}" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack failed"; }

debs=("$work"/out/orvalen-intro_*.deb)
dev_debs=("$work"/out/orvalen-intro-dev_*.deb)
tars=("$work"/out/*.tar.gz)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one program .deb in $work/out, found: $(ls "$work/out")"
[ ${#dev_debs[@]} -eq 1 ] && [ -f "${dev_debs[0]}" ] || fail "expected one -dev .deb in $work/out, found: $(ls "$work/out")"
[ ${#tars[@]} -eq 1 ] && [ -f "${tars[0]}" ] || fail "expected one .tar.gz in $work/out, found: $(ls "$work/out")"
deb="${debs[0]}"
dev_deb="${dev_debs[0]}"
tar="${tars[0]}"
echo "Made $(basename "$deb"), $(basename "$dev_deb") and $(basename "$tar")"

# The control fields a package manager reads
[ "$(dpkg-deb -f "$deb" Package)" = "orvalen-intro" ] || fail "the package is not named orvalen-intro"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for library in libsfml-graphics libsfml-audio libopenal libpng16 libjpeg62-turbo; do
  grep -q "$library" <<<"$depends" || fail "Depends does not name $library"
done

# The -dev package: the library, its header and its CMake package, for games
[ "$(dpkg-deb -f "$dev_deb" Package)" = "orvalen-intro-dev" ] || fail "the -dev package is not named orvalen-intro-dev"
grep -q libsfml-dev <<<"$(dpkg-deb -f "$dev_deb" Depends)" || fail "the -dev package does not depend on libsfml-dev"
dev_files="$(dpkg-deb -c "$dev_deb" | awk '{ print $NF }')"
for wanted in 'usr/include/orvalen/intro\.h$' 'usr/lib/.*liborvalen-intro\.so' 'usr/lib/.*cmake/OrvalenIntro/OrvalenIntroConfig\.cmake$'; do
  grep -Eq "$wanted" <<<"$dev_files" || fail "the -dev package has nothing matching $wanted"
done

root="$work/root"
dpkg -x "$deb" "$root"
grep -q 'usr/include' <<<"$(find "$root")" && fail "the program's package holds headers: they belong in -dev"
dpkg -x "$dev_deb" "$root"
program="$root/usr/bin/orvalen-intro"
demo="$root/usr/share/orvalen-intro/demo"
[ -x "$program" ] || fail "no program at usr/bin/orvalen-intro"
[ -f "$root/usr/share/doc/orvalen-intro/README.md" ] || fail "no README at usr/share/doc/orvalen-intro"
for file in config.json assets/textures.json assets/sprites.json assets/music.json; do
  [ -f "$demo/$file" ] || fail "the demo has no $file"
done
# Every file a catalogue names is there
while read -r file; do
  [ -s "$demo/$file" ] || fail "the demo's catalogues name $file, which the package does not hold"
done < <(grep -ho '"file": *"[^"]*"' "$demo"/assets/*.json | sed 's/.*"\([^"]*\)"$/\1/' | sort -u)
# An installed program must not look for libraries in the build folder
if readelf -d "$program" | grep -E 'R(UN)?PATH' ; then
  fail "the installed program keeps a run path"
fi

# The .tar.gz holds the same files as the two, under its own top folder instead of /usr
deb_files="$(cd "$root/usr" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)"
tar_files="$(tar -tzf "$tar" | grep -v '/$' | sed 's|^[^/]*/||' | sort)"
if [ "$deb_files" != "$tar_files" ]; then
  diff <(echo "$deb_files") <(echo "$tar_files") >&2 || true
  fail "the .deb and the .tar.gz hold different files"
fi

# Play the unpacked demo from its own folder, as the README says
windows_before="$(xdotool search --name '^Orvalen 2017 - 2024$' 2>/dev/null || true)"
(cd "$demo" && exec env ALSOFT_DRIVERS=null "$program" >"$work/stdout.txt" 2>"$work/stderr.txt") &
pid=$!
window=""
for _ in $(seq 1 150); do
  for candidate in $(xdotool search --name '^Orvalen 2017 - 2024$' 2>/dev/null || true); do
    grep -qx "$candidate" <<<"$windows_before" || window="$candidate"
  done
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$window" ] || { cat "$work/stderr.txt" >&2; fail "the program's window did not appear"; }
echo "Window $window is up"

# The title card comes up out of black over its first seconds and stays
# whole for several more before the first slide comes over it: a capture in
# that time must match the packaged title picture
convert "$demo/assets/media/title.png" -resize 240x135! "$work/title-small.png"
matched=0
best=""
deadline=$((SECONDS + 40))
while [ "$SECONDS" -lt "$deadline" ]; do
  kill -0 "$pid" 2>/dev/null || break
  if import -window "$window" "$work/shot.png" 2>/dev/null; then
    convert "$work/shot.png" -resize 240x135! "$work/shot-small.png"
    # RMSE prints "absolute (normalised)"; the normalised one runs 0 to 1.
    # compare's status says only whether the pictures differ at all
    difference="$({ compare -metric RMSE "$work/shot-small.png" "$work/title-small.png" null: 2>&1 || true; } |
      sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')"
    [ -n "$difference" ] || difference=1
    if [ -z "$best" ] || awk -v a="$difference" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best="$difference"
    fi
    echo "  capture at $SECONDS s: RMSE $difference"
    if awk -v d="$difference" 'BEGIN { exit !(d < 0.04) }'; then
      matched=1
      break
    fi
  fi
  sleep 0.25
done
[ "$matched" = 1 ] || { cat "$work/stderr.txt" >&2; fail "the window did not show the title card within 40 s (closest RMSE ${best:-none})"; }
echo "The window shows the title card (RMSE $difference)"

# NOTE: the program reads the key's state once a frame, and a software
# renderer draws only a few frames a second: hold Escape until it is gone
xdotool keydown Escape
for _ in $(seq 1 150); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
xdotool keyup Escape
kill -0 "$pid" 2>/dev/null && fail "the program did not quit on Escape"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { cat "$work/stderr.txt" >&2; fail "the program ended with status $status"; }

# Mesa's notice about vertical sync on a virtual display is not the program's
if grep -v -x 'Setting vertical sync not supported' "$work/stderr.txt" | grep . >/dev/null; then
  cat "$work/stderr.txt" >&2
  fail "the program wrote to standard error"
fi
echo "The packaged program played the packaged demo and quit on Escape with status 0"

# --export hands over to the packaged video writer, in libexec
writer="$root/usr/libexec/orvalen-intro/orvalen-intro-export"
[ -x "$writer" ] || fail "no video writer at usr/libexec/orvalen-intro/orvalen-intro-export"
if grep -q 'libavcodec' <<<"$(readelf -d "$program")"; then
  fail "the program that plays links FFmpeg's libraries: only its video writer should"
fi
(cd "$demo" && env ALSOFT_DRIVERS=null "$program" --export "$work/demo.mp4" --to 2 --size 256x144 \
  >"$work/stdout.txt" 2>"$work/stderr.txt") || { cat "$work/stderr.txt" >&2; fail "the packaged --export failed"; }
[ -s "$work/demo.mp4" ] || fail "the packaged --export wrote no file"
echo "The packaged program exported two seconds of the demo through its video writer"
