# Shared by the scripts: where the builds and the Wine prefix live, and a quiet Wine.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$repo/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=}"

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}
