#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (installing clang and its runtime
# libraries when missing) and runs each for the given number of seconds
# (60 by default). Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# The corpora grow in build-fuzz/corpus/; a crash leaves its input in
# build-fuzz/findings/ and stops the script with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_content fuzz_filelines fuzz_recordreader)

scripts/install-missing.sh build-essential cmake qt6-base-dev libxcb1-dev clang libclang-rt-14-dev

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DBUILD_FUZZERS=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus" "$build/findings"
    # The course text itself is the best start for the content reader.
    if [ "$t" = fuzz_content ] && [ -z "$(ls -A "$corpus")" ]; then
        cp bank/content/*.txt "$corpus/"
    fi
    # A few files the program wrote start the record reader off.
    if [ "$t" = fuzz_recordreader ] && [ -z "$(ls -A "$corpus")" ]; then
        cp fuzz/records/* "$corpus/"
    fi
    echo "== $t for ${seconds}s"
    "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$t-" "$corpus"
done
