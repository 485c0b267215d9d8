#!/usr/bin/env bash
# Builds the program and its tests (installing what is missing) and runs
# every test through ctest, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 600
