#!/usr/bin/env bash
# A game built against the installed library: installs the build into a
# throwaway root (DESTDIR), checks that the library exports its API and
# nothing else, configures the example game from a temporary folder with
# find_package(OrvalenIntro) against that root, builds it, and runs it on the
# current X display with the demo intro: the game must reach its menu after
# skipping the intro and stay there, with nothing on standard error.
#
#   find_package_test.sh BUILD_DIR SOURCE_DIR DEMO_DIR [BUILD_CONFIG]
set -euo pipefail
build="$1"
source="$2"
demo="$3"
build_config="${4:-}"

fail() {
  echo "find_package test: $*" >&2
  exit 1
}
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run under xvfb-run"

work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

install_args=(--install "$build" --prefix /usr)
[ -n "$build_config" ] && install_args+=(--config "$build_config")
DESTDIR="$work/root" cmake "${install_args[@]}" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
prefix="$work/root/usr"
[ -f "$prefix/include/orvalen/intro.h" ] || fail "no header at include/orvalen/intro.h"
config="$(find "$prefix/lib" -name OrvalenIntroConfig.cmake | head -1)"
[ -n "$config" ] || fail "no OrvalenIntroConfig.cmake under lib/"
library="$(find "$prefix/lib" -name 'liborvalen-intro.so.*.*' | head -1)"
[ -n "$library" ] || fail "no liborvalen-intro.so under lib/"
# Nothing of the program's own names is exported: only the API's
others="$(nm -D --defined-only -C "$library" | awk '{ $1 = ""; $2 = ""; print }' | sed 's/^ *//' |
  grep -v '^orvalen::' | grep -Ev '^(typeinfo|typeinfo name|vtable) for orvalen::' || true)"
[ -z "$others" ] || { echo "$others" >&2; fail "the library exports names outside namespace orvalen"; }
# No internal header is installed
extra="$(cd "$prefix/include" && find . -type f | grep -v '^./orvalen/intro.h$' || true)"
[ -z "$extra" ] || fail "headers other than orvalen/intro.h are installed: $extra"

# The game, from a folder of its own, against the installed package only
cp -r "$source/examples/game" "$work/game"
cmake -S "$work/game" -B "$work/game-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "the game did not configure"; }
grep -q "$prefix" "$work/game-build/CMakeCache.txt" || fail "the game did not find the package in the install tree"
cmake --build "$work/game-build" -j2 >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; fail "the game did not build"; }
game="$work/game-build/example-game"
# NOTE: grep -q ends at its first match, and a writer still writing into the
# pipe then fails, which pipefail counts: grep reads a whole text instead
linked="$(ldd "$game")"
grep -q "$prefix/lib" <<<"$linked" || fail "the game does not link the installed library: $(grep orvalen <<<"$linked")"

(cd "$work" && exec env ALSOFT_DRIVERS=null "$game" "$demo" --size 640x360 --skip-after 1 \
  >"$work/stdout.txt" 2>"$work/stderr.txt") &
pid=$!
for _ in $(seq 1 300); do
  grep -qx Menu "$work/stdout.txt" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
grep -qx Menu "$work/stdout.txt" || { cat "$work/stderr.txt" >&2; fail "the game never reached its menu"; }
# The menu goes on until the player leaves it: still running a moment later
sleep 1
kill -0 "$pid" 2>/dev/null || { cat "$work/stderr.txt" >&2; fail "the game ended at its menu"; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""
if grep -v "Setting vertical sync not supported" "$work/stderr.txt"; then
  fail "the game wrote the lines above on standard error"
fi
echo "The game built against the installed package played the intro and reached its menu"
