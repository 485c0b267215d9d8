#!/usr/bin/env bash
# Installs, only when missing, the Debian packages the program needs to be
# built and tested, then configures and builds it in ./build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh build-essential cmake qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev fonts-liberation python3

cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build --parallel "$(nproc)"
