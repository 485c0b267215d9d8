# Cross-builds for 64-bit Windows on Debian with MinGW-w64, against the Qt
# that scripts/windows/build-qt-mingw.sh leaves in its cache:
#
#   cmake -S . -B build-win -G Ninja \
#       -DCMAKE_TOOLCHAIN_FILE=scripts/windows/mingw-toolchain.cmake \
#       -DQT_MINGW_PREFIX="$(scripts/windows/build-qt-mingw.sh | tail -n 1)"
#
# The Qt libraries are Windows ones, but moc, uic and rcc must run here:
# they come from Debian's own Qt of the same version (QT_HOST_PATH).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix compilers: the -win32 ones have no std::thread, which Qt needs.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# The Qt prefix: given on the command line or in the environment, else the
# cache folder's default. try_compile re-reads this file in a project of its
# own, where only the environment and the variables listed below carry over.
if(NOT QT_MINGW_PREFIX)
    if(DEFINED ENV{QT_MINGW_PREFIX})
        set(QT_MINGW_PREFIX "$ENV{QT_MINGW_PREFIX}")
    else()
        if(DEFINED ENV{CALCULUS_QT_MINGW_CACHE})
            set(_qt_mingw_cache "$ENV{CALCULUS_QT_MINGW_CACHE}")
        elseif(DEFINED ENV{XDG_CACHE_HOME})
            set(_qt_mingw_cache "$ENV{XDG_CACHE_HOME}/calculus-study")
        else()
            set(_qt_mingw_cache "$ENV{HOME}/.cache/calculus-study")
        endif()
        set(QT_MINGW_PREFIX "${_qt_mingw_cache}/qt-6.4.2-mingw64")
    endif()
endif()

# Debian's host Qt. Its CMake packages live under the multiarch folder.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr)
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    file(GLOB _qt_host_info "${QT_HOST_PATH}/lib/*/cmake/Qt6HostInfo"
                            "${QT_HOST_PATH}/lib/cmake/Qt6HostInfo")
    if(_qt_host_info)
        list(GET _qt_host_info 0 _qt_host_info)
        get_filename_component(QT_HOST_PATH_CMAKE_DIR "${_qt_host_info}" DIRECTORY)
    endif()
endif()
set(QT_HOST_PATH "${QT_HOST_PATH}" CACHE PATH "Qt for the build machine (moc, uic, rcc)")
set(QT_HOST_PATH_CMAKE_DIR "${QT_HOST_PATH_CMAKE_DIR}" CACHE PATH
    "CMake packages of the Qt for the build machine")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES
    QT_MINGW_PREFIX QT_HOST_PATH QT_HOST_PATH_CMAKE_DIR)

# Libraries, headers and packages are looked up only in the MinGW sysroot and
# the Windows Qt, never among the build machine's; programs only there.
# (Qt's CMake packages put QT_HOST_PATH in front by themselves while they
# look up the host tools.)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} "${QT_MINGW_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
