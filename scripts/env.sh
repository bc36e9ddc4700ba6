# Shared by the scripts: where the builds and the Wine prefix live, and a quiet Wine.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$repo/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=}"
wine_run="$repo/scripts/wine-run"

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# Builds one target quietly: a line saying so, the build's progress on a terminal, its log when it fails.
# Nothing at all when the target is up to date.
build_target_quietly() {
  local preset=$1 target=$2 log="$repo/build/$1.log" said="" line
  mkdir -p "$repo/build"
  : >"$log"
  if [ ! -f "$repo/build/$preset/build.ninja" ]; then
    echo "zav: configuring the $preset build in build/$preset" >&2
    cmake --preset "$preset" >>"$log" 2>&1 || { cat "$log" >&2; return 1; }
  fi
  while IFS= read -r line; do
    echo "$line" >>"$log"
    [[ "$line" =~ ^\[([1-9][0-9]*/[0-9]+)\] ]] || continue  # [0/n] only re-checks the globs
    [ -n "$said" ] || { echo "zav: building build/$preset/$target.exe" >&2; said=1; }
    [ -t 2 ] && printf '\r  step %s ' "${BASH_REMATCH[1]}" >&2
  done < <(cmake --build --preset "$preset" --target "$target" 2>&1; echo "exit $?")
  [ -n "$said" ] && [ -t 2 ] && echo >&2
  [ "$(tail -1 "$log")" = "exit 0" ] || { cat "$log" >&2; return 1; }
}

# A prefix made before wine32 was installed cannot start 32-bit programs ("could not load kernel32.dll"):
# such a prefix is made afresh. The 32-bit exe without arguments prints its usage and exits with 3. A prefix that
# passed once carries a mark, so that later runs start at once.
ensure_wine_prefix() {
  local mark="$WINEPREFIX/.runs-win32"
  [ -f "$mark" ] && return 0
  echo "zav: making the Wine prefix $WINEPREFIX" >&2
  "$wine_run" wineboot --init >/dev/null 2>&1 || true
  local code=0
  "$wine_run" "$repo/build/win32/zav.exe" >/dev/null 2>&1 || code=$?
  if [ $code -ne 3 ]; then
    echo "zav: the Wine prefix $WINEPREFIX cannot run 32-bit programs (exit $code); making it afresh" >&2
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    "$wine_run" wineboot --init >/dev/null 2>&1 || true
    code=0
    "$wine_run" "$repo/build/win32/zav.exe" >/dev/null 2>&1 || code=$?
    [ $code -eq 3 ] || { echo "zav: the 32-bit exe does not start under Wine (exit $code)" >&2; return 1; }
  fi
  touch "$mark"
}
