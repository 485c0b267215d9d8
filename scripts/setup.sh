#!/usr/bin/env bash
# Installs, only when missing, every Debian package the program needs to be
# built, tested and packed, then configures and builds it with its tests in
# ./build. With --install-only it stops after installing. WARNINGS_AS_ERRORS=ON
# in the environment makes a warning in the program's own code fail the build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake qt6-base-dev qt6-base-dev-tools libgl-dev # the build
    libxcb1-dev                     # X11 key events, for type-ahead into the rating box
    fonts-liberation                # the window's font (a metric twin of Arial)
    python3                         # the course-text arithmetic checks
    xvfb                            # a real display for the recovery test to lose
    xdotool                         # holds keys down on a test's own display (XTEST), as a student does
    qt6-image-formats-plugins       # Qt's .icns reader, to check the packed macOS icon
    dpkg-dev file                   # CPack's .deb: dpkg-shlibdeps, and file to find the binaries
    appstream desktop-file-utils    # validators of the menu entry and the AppStream data
    lintian                         # the package's policy check
    chromium                        # for the tests only: the one-file report's opening time, and axe-core's accessibility check
)
scripts/install-missing.sh "${packages[@]}"
# npm fetches axe-core. A machine whose Node.js brings its own npm (NodeSource's
# nodejs conflicts with Debian's npm) keeps it; elsewhere Debian's is installed.
command -v npm >/dev/null || scripts/install-missing.sh npm
# axe-core for the tests only (never shipped), at one version, where tst_report looks for it.
[ -f build/axe/node_modules/axe-core/axe.min.js ] || npm install --prefix build/axe --no-audit --no-fund axe-core@4.10.3 >/dev/null
[ "${1:-}" = --install-only ] && exit 0

cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    ${WARNINGS_AS_ERRORS:+-DWARNINGS_AS_ERRORS="$WARNINGS_AS_ERRORS"} >/dev/null
cmake --build build --parallel "$(nproc)"
