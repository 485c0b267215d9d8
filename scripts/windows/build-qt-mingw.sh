#!/usr/bin/env bash
# Builds Qt's qtbase for 64-bit Windows with MinGW-w64, from Debian's own
# qt6-base source package (the same version and patches as the host Qt that
# the cross build runs moc, uic and rcc from), and installs it into a cache
# folder outside any work tree. Once a build there is finished it only prints
# where it is. The install prefix is always the last line printed.
#
#   CALCULUS_QT_MINGW_CACHE  cache folder (default $XDG_CACHE_HOME/calculus-study)
#   CALCULUS_QT_MINGW_KEEP_BUILD=1  keep the sources and build tree afterwards
#   CALCULUS_QT_MINGW_JOBS   parallel compile jobs (default: all cores)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

qt_version=6.4.2
cache=${CALCULUS_QT_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/calculus-study}
prefix=$cache/qt-$qt_version-mingw64
stamp=$prefix/.build-complete
work=$cache/qt-$qt_version-mingw64.work
jobs=${CALCULUS_QT_MINGW_JOBS:-$(nproc)}

if [ -f "$stamp" ]; then
    echo "Qt $qt_version for MinGW is already built ($(sed -n 1p "$stamp"))"
    echo "$prefix"
    exit 0
fi

. "$here/steps.sh"

install_packages() {
    local packages=(
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix # the -posix ones: std::thread
        binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
        cmake ninja-build perl python3
        qt6-base-dev qt6-base-dev-tools  # the host Qt: moc, uic, rcc, and its CMake packages
        dpkg-dev xz-utils                # dpkg-source unpacks and patches the source package
        debian-archive-keyring           # checks the mirror's signed index
    )
    "$repo/scripts/install-missing.sh" "${packages[@]}"
}

# The source is the one Debian built its host Qt from, so the two agree to the
# patch. apt fetches it through a private source list: the mirror's index
# is checked against Debian's archive key, the .dsc against the index and the
# tarballs against the .dsc, without changing the system's apt sources.
download() {
    local version codename apt_dir
    version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
    case $version in
        "$qt_version"+*|"$qt_version"-*) ;;
        *) echo "Debian's qt6-base-dev is $version, not $qt_version: update qt_version" >&2; exit 1 ;;
    esac
    # shellcheck disable=SC1091
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    apt_dir=$work/apt
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/download"
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename main
deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security $codename-security main
EOF
    local apt_options=(
        -o Dir::Etc::SourceList="$apt_dir/sources.list"
        -o Dir::Etc::SourceParts=/nonexistent
        -o Dir::State::Lists="$apt_dir/lists"
        -o Dir::Cache="$apt_dir/cache"
        # The files are the user's, in the user's cache: apt's download
        # user may not be able to reach them.
        -o APT::Sandbox::User="$(id -un)"
    )
    apt-get "${apt_options[@]}" -qq update
    (cd "$work/download" && apt-get "${apt_options[@]}" -q --download-only source "qt6-base=$version")
    echo "$version" >"$work/download/version"
}

# Debian's patches are applied (dpkg-source does by default): they carry the
# security fixes made since 6.4.2 (text layout and painter path overflows in
# Gui among them) and otherwise touch only the build of other platforms.
unpack() {
    local version dsc
    version=$(cat "$work/download/version")
    dsc="$work/download/qt6-base_${version#*:}.dsc"
    rm -rf "$work/src"
    # It warns that it cannot check the maintainer's signature on the .dsc
    # (that needs debian-keyring); apt has checked the .dsc's hash already.
    dpkg-source --no-copy -x "$dsc" "$work/src"
    touch "$work/src/.unpacked"
}

configure_options() {
    local host_cmake_dir
    local host_info=(/usr/lib/*/cmake/Qt6HostInfo)
    host_cmake_dir=$(dirname "${host_info[0]}")
    options=(
        -release -shared -prefix "$prefix"
        -nomake examples -nomake tests
        # The modules the program has no use for.
        -no-dbus -no-feature-network -no-feature-sql -no-feature-printsupport
        -no-feature-concurrent -no-feature-xml
        # No OpenGL: widgets paint in software, and there is no opengl32 or
        # ANGLE to ship. Direct2D stays on although its platform plugin is of
        # no use: without it Gui leaves out the DirectWrite font engine, yet
        # qwindows still asks for the DirectWrite font database (an undefined
        # reference when it links).
        -opengl no
        # Tablets go through wintab.h, which Debian removes from its source
        # for its licence; pens still arrive as pointer events from Windows.
        -no-feature-tabletevent
        # The program shows PNG and SVG pictures; JPEG it never reads.
        -no-libjpeg
        # Windows has none of these libraries: Qt's own copies are built in.
        # FreeType stays because the offscreen platform plugin (headless
        # tests) is built only with it.
        -qt-zlib -qt-pcre -qt-libpng -qt-harfbuzz -qt-freetype
        -xplatform win32-g++ -qt-host-path /usr
        -- -G Ninja
        -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake"
        -DQT_MINGW_PREFIX="$prefix"
        -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir"
    )
}

configure() {
    local options
    configure_options
    mkdir -p "$work/build"
    # A build tree configured with the same options is built on, not redone.
    if [ -f "$work/build/build.ninja" ] &&
        [ "$(cat "$work/build/.options" 2>/dev/null)" = "${options[*]}" ]; then
        echo "configured already with the same options"
        return
    fi
    rm -f "$work/build/CMakeCache.txt" "$work/build/.options"
    echo "configure ${options[*]}"
    (cd "$work/build" && nice -n 10 "$work/src/configure" "${options[@]}")
    echo "${options[*]}" >"$work/build/.options"
}

build() {
    nice -n 10 cmake --build "$work/build" --parallel "$jobs"
}

install_qt() {
    rm -rf "$prefix"
    cmake --install "$work/build"
    # The DLLs carry symbol tables and some debug sections that nothing
    # needs at run time: a third of Qt6Gui.dll. The installer ships these.
    x86_64-w64-mingw32-strip --strip-unneeded "$prefix"/bin/*.dll "$prefix"/plugins/*/*.dll
    # What the folder was built from, written last: its presence means done.
    {
        echo "qt6-base $(cat "$work/download/version") for x86_64-w64-mingw32, built $(date -u +%Y-%m-%dT%H:%MZ)"
        echo "compiler: $(x86_64-w64-mingw32-g++-posix --version | head -n 1)"
        echo "configure: $(cat "$work/build/.options")"
    } >"$stamp.tmp"
    mv "$stamp.tmp" "$stamp"
}

mkdir -p "$work"
step "install missing packages" install_packages
if [ -f "$work/download/version" ] && [ -n "$(ls "$work/download"/*.dsc 2>/dev/null)" ]; then
    echo "== download: already in $work/download"
else
    step "download qt6-base source" download
fi
if [ -f "$work/src/.unpacked" ]; then
    echo "== unpack: already in $work/src"
else
    step "unpack and patch" unpack
fi
step "configure" configure
step "build" build
step "install" install_qt
if [ "${CALCULUS_QT_MINGW_KEEP_BUILD:-0}" != 1 ]; then
    rm -rf "$work"
fi
echo "installed Qt $qt_version for MinGW, $(du -sh "$prefix" | cut -f1)"
echo "$prefix"
