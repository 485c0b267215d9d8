#!/usr/bin/env bash
# Builds the program (installing what is missing) and packs it as a .deb in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_TYPE=Release scripts/setup.sh
cd build && cpack -G DEB
