#!/usr/bin/env bash
# Builds the program and its tests (installing what is missing) and runs
# every test through ctest, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
WARNINGS_AS_ERRORS=ON scripts/setup.sh # a new warning in the program's code fails the tests
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 600
