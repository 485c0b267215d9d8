#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, as ctest's
# CMAKE_CROSSCOMPILING_EMULATOR does for every test:
#
#   scripts/windows/wine-run.sh PROGRAM.exe [ARGUMENT...]
#
# Wine does not pass the QT_* variables of the Linux side on (so that a
# Linux desktop's Qt settings do not reach Windows programs); a variable
# named WINEQT_X reaches the program as QT_X. Each QT_* variable is passed
# so, ctest's test properties included. The Qt DLLs and the MinGW runtime
# are found through WINEPATH, which Wine puts in front of PATH.
#
#   WINEPREFIX      Wine's prefix (default: the cache's wine64)
#   QT_MINGW_PREFIX the Windows Qt (default: the cache's qt-6.4.2-mingw64)
# A display must be reachable (DISPLAY): Qt makes a window for its event
# loop even with the offscreen platform.
set -euo pipefail
cache=${CALCULUS_QT_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/calculus-study}
export WINEPREFIX=${WINEPREFIX:-$cache/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET or Gecko installers offered on a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
qt=${QT_MINGW_PREFIX:-$cache/qt-6.4.2-mingw64}

# Folders as Windows names them: Wine maps / to drive Z:.
windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}

runtime_dirs=("$qt/bin")
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    found=$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")
    [ -f "$found" ] && runtime_dirs+=("$(dirname "$found")")
done
winepath=""
for dir in "${runtime_dirs[@]}"; do
    winepath+="${winepath:+;}$(windows_path "$dir")"
done
export WINEPATH="$winepath${WINEPATH:+;$WINEPATH}"

for name in $(compgen -e); do
    case $name in
        QT_*) export "WINE$name=${!name}" ;;
    esac
done

# Wine starts its desktop and service processes from the first programs
# that need them, and they keep every descriptor those programs inherited:
# a pipe of ctest's would never close. The program writes into files here
# instead, shown when it ends.
output=$(mktemp -d)
trap 'rm -rf "$output"' EXIT
status=0
wine "$@" </dev/null >"$output/out" 2>"$output/err" || status=$?
cat "$output/out"
cat "$output/err" >&2
exit "$status"
