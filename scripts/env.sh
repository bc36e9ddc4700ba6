# Shared by the scripts: where the builds and the Wine prefix live, and a quiet Wine.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$repo/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=}"

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# A prefix made before wine32 was installed cannot start 32-bit programs ("could not load kernel32.dll"):
# such a prefix is made afresh. The 32-bit exe without arguments prints its usage and exits with 3.
ensure_wine_prefix() {
  wineboot --init >/dev/null 2>&1 || true
  local code=0
  wine "$repo/build/win32/zav.exe" >/dev/null 2>&1 || code=$?
  if [ $code -ne 3 ]; then
    echo "test: the Wine prefix $WINEPREFIX cannot run 32-bit programs (exit $code); making it afresh" >&2
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
  fi
}
