#!/usr/bin/env bash
# Builds the benchmark in Release (in ./build-bench, or $BENCH_BUILD_DIR) and
# runs it headless; extra arguments go to the benchmark (e.g. --reps=9).
# Prints one table and, last, the same as one JSON line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-missing.sh build-essential cmake qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev fonts-liberation
build="${BENCH_BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target querybench --parallel "$(nproc)" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/querybench" "$@"
