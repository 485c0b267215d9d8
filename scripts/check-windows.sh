#!/usr/bin/env bash
# Builds the Windows program on Debian and checks it under Wine, as far as a
# Linux machine can: every ctest entry of a Windows build, the installer,
# a silent install, the installed program's first input box, and a silent
# uninstall. Not part of the usual tests (.ci/run): the first run builds Qt
# for Windows, about an hour on two cores. Run it after any change to
# OS-specific code (platform/, the Q_OS_WIN branches) or to the build.
#
#   scripts/check-windows.sh
#
# Builds in ./build-windows (and ./build-windows-host for the course
# compiler); Qt for MinGW and Wine's prefix are kept in the cache folder
# (CALCULUS_QT_MINGW_CACHE, default $XDG_CACHE_HOME/calculus-study) and
# reused. Each step prints its time; the last lines sum them up.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
cache=${CALCULUS_QT_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/calculus-study}
host_build=$repo/build-windows-host
build=$repo/build-windows
jobs=$(nproc)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no .NET or Gecko installers offered in a new prefix
export WINEPREFIX=$cache/wine64           # where the tests run
install_prefix=$build/wine-install        # a fresh Windows for the installer, made anew each run

. "$repo/scripts/windows/steps.sh"

# Xvfb and every Wine process of both prefixes end with the script.
xvfb_pid=""
finish() {
    for prefix in "$WINEPREFIX" "$install_prefix"; do
        if [ -d "$prefix" ]; then
            WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        fi
    done
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap finish EXIT

install_packages() {
    local packages=(
        cmake ninja-build python3            # the build and the icon packer
        qt6-base-dev qt6-base-dev-tools      # the course compiler built for this machine; moc, uic, rcc
        libxcb1-dev                          # which the configure of this machine's build asks for
        librsvg2-bin                         # rsvg-convert draws the icon's sides from its SVG
        wine wine64                          # runs the Windows programs
        xvfb xauth x11-utils                 # a display for them; xwininfo finds the input box
        fonts-liberation                     # Arial's metric twin, standing in for Arial under Wine
        nsis                                 # CPack's NSIS generator: makensis
    )
    scripts/install-missing.sh "${packages[@]}"
}

qt_mingw=""
build_qt() {
    local log
    log=$(mktemp)
    scripts/windows/build-qt-mingw.sh | tee "$log"
    qt_mingw=$(tail -n 1 "$log")
    rm -f "$log"
    [ -f "$qt_mingw/.build-complete" ] || { echo "no Qt for MinGW in $qt_mingw" >&2; return 1; }
}

build_course_compiler() {
    cmake -S . -B "$host_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    nice cmake --build "$host_build" --target compile-course --parallel "$jobs"
}

cross_build() {
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON \
        -DCMAKE_TOOLCHAIN_FILE="$repo/scripts/windows/mingw-toolchain.cmake" \
        -DQT_MINGW_PREFIX="$qt_mingw" \
        -DCOURSE_COMPILER="$host_build/compile-course" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$repo/scripts/windows/wine-run.sh" >/dev/null
    nice cmake --build "$build" --parallel "$jobs"
}

start_display() {
    local fd_file
    fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$fd_file" ] && break
        sleep 0.1
    done
    DISPLAY=":$(cat "$fd_file")"
    export DISPLAY
    rm -f "$fd_file"
    echo "Xvfb on $DISPLAY"
}

# Makes or updates a prefix and keeps its server running, so that its
# desktop and services start once, here, not inside a test.
boot_prefix() {
    local prefix=$1
    # Fails (status 2) when a server already runs for the prefix: that one is used.
    WINEPREFIX=$prefix wineserver -p 2>/dev/null || echo "a Wine server already runs for $prefix"
    WINEPREFIX=$prefix wineboot --init >/dev/null 2>&1
}

# The tests' prefix, with what a Windows machine has and Wine lacks. Each
# program started from here reads these settings when it starts.
display_and_prefix() {
    start_display
    boot_prefix "$WINEPREFIX"
    # Qt's messages to standard error, not to the debugger (the tests print through them).
    wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null
    # Windows has Arial; Wine has its metric twin.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null
}

run_tests() {
    QT_MINGW_PREFIX=$qt_mingw ctest --test-dir "$build" --parallel 2 --output-on-failure --timeout 900
}

installer=""
make_installer() {
    rm -rf "$build/package"
    (cd "$build" && cpack -G NSIS64 -B "$build/package")
    installer=$(ls "$build"/package/calculus-study-*-win64.exe)
    ls -l "$installer"
}

install_dir='C:\Program Files\Calculus Study'
# The folder the installer is told to use, as this machine sees it.
installed() {
    printf '%s/drive_c/Program Files/Calculus Study' "$install_prefix"
}

# Runs a command line in the install prefix exactly as typed at a Command
# Prompt, and waits for it. Given as arguments, wine would quote each one
# holding a space, and NSIS reads its /D= and _?= only unquoted.
command_prompt() {
    printf '@%s\r\n' "$1" >"$install_prefix/drive_c/check-windows.bat"
    WINEPREFIX=$install_prefix timeout 300 wine cmd /c 'C:\check-windows.bat'
}

silent_install() {
    rm -rf "$install_prefix"
    mkdir -p "$install_prefix"
    boot_prefix "$install_prefix"
    # /D= last, unquoted: NSIS takes the rest of the line, spaces and all.
    command_prompt "\"Z:${installer//\//\\}\" /S /D=$install_dir"
    local root missing=0
    root=$(installed)
    for f in bin/calculus-study.exe bin/calculus-study-report.exe bin/calculus-study-class-report.exe \
        bin/calculus-study-review.exe bin/Qt6Core.dll bin/Qt6Gui.dll \
        bin/Qt6Widgets.dll bin/platforms/qwindows.dll bin/styles/qwindowsvistastyle.dll \
        bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll Uninstall.exe; do
        [ -f "$root/$f" ] || { echo "not installed: $f" >&2; missing=1; }
    done
    local shortcut
    shortcut=$(find "$install_prefix/drive_c" -path '*Start Menu*' -name 'Calculus Study.lnk' | head -n 1)
    [ -n "$shortcut" ] || { echo "no Start-menu entry" >&2; missing=1; }
    find "$install_prefix/drive_c" -path '*Start Menu*' -name 'Calculus Study - class report.lnk' | grep -q . ||
        { echo "no Start-menu entry for the class report" >&2; missing=1; }
    # The entry of Windows' list of installed programs, which starts the uninstaller.
    local entry
    entry=$(WINEPREFIX=$install_prefix wine reg query \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Calculus Study' /v UninstallString 2>/dev/null |
        tr -d '\r' | sed -n 's/.*REG_SZ *//p')
    [ "$entry" = "\"$install_dir\\Uninstall.exe\"" ] || { echo "no entry among the installed programs (\"$entry\")" >&2; missing=1; }
    [ "$missing" = 0 ] || return 1
    echo "installed in $install_dir; Start-menu entry ${shortcut#"$install_prefix/drive_c/"}; uninstaller $entry"
}

# The installed programs run with nothing but what the installer put beside
# them: no Qt or MinGW folder on the path.
first_input_box() {
    local root log version
    root=$(installed)
    # The report program is run from a Command Prompt, where its --version
    # prints. (Started from a Unix shell, Wine gives it no console window,
    # and Qt's command-line parser then shows the text in a message box.)
    version=$install_prefix/drive_c/report-version.txt
    printf '@"%s\\bin\\calculus-study-report.exe" --version >C:\\report-version.txt\r\n' "$install_dir" \
        >"$install_prefix/drive_c/check-windows.bat"
    WINEPREFIX=$install_prefix WINEPATH="" timeout 60 wine wineconsole cmd /c 'C:\check-windows.bat'
    grep -q '^calculus-study-report [0-9]' "$version" || { echo "the installed report program did not run" >&2; return 1; }
    tr -d '\r' <"$version"

    log=$(mktemp)
    WINEPREFIX=$install_prefix WINEPATH="" wine "$root/bin/calculus-study.exe" >"$log" 2>&1 &
    local program=$! window=""
    for _ in $(seq 120); do
        window=$(xwininfo -root -tree | grep -F '"Calculus Study": ("calculus-study.exe"' || true)
        [ -n "$window" ] && break
        kill -0 "$program" 2>/dev/null || break
        sleep 0.5
    done
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    if [ -z "$window" ]; then
        echo "the installed program showed no input box; it said:" >&2
        cat "$log" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
    echo "shown:$window"
}

silent_uninstall() {
    local root
    root=$(installed)
    # _?= keeps the uninstaller in place, so that it is waited for.
    command_prompt "\"$install_dir\\Uninstall.exe\" /S _?=$install_dir"
    local left
    left=$(cd "$root" && find . -type f ! -name Uninstall.exe)
    [ -z "$left" ] || { echo "left after uninstalling: $left" >&2; return 1; }
    if find "$install_prefix/drive_c" -path '*Start Menu*' -name 'Calculus Study.lnk' | grep -q .; then
        echo "the Start-menu entry is left after uninstalling" >&2
        return 1
    fi
    if WINEPREFIX=$install_prefix wine reg query \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Calculus Study' >/dev/null 2>&1; then
        echo "the entry among the installed programs is left after uninstalling" >&2
        return 1
    fi
    echo "uninstalled: the program's files, its Start-menu entry and its entry among the installed programs are gone"
}

start=$SECONDS
step "install missing packages" install_packages
step "Qt 6.4 qtbase for MinGW (cached)" build_qt
step "course compiler for this machine" build_course_compiler
step "cross build for Windows" cross_build
step "display and Wine prefix" display_and_prefix
step "ctest under Wine" run_tests
step "installer (CPack NSIS64)" make_installer
step "silent install in a new prefix" silent_install
step "installed program shows its first input box" first_input_box
step "silent uninstall" silent_uninstall

took=$((SECONDS - start))
echo
echo "Windows check passed. Times:"
printf '  %s\n' "${times[@]}"
printf '  %-44s %3dm%02ds\n' "total" $((took / 60)) $((took % 60))
