#!/usr/bin/env bash
# Builds the program and its tests (installing what is missing) and runs
# every test through ctest, headless; then builds the reading code and its
# tests once more with AddressSanitizer and UBSan in ./build-asan and runs
# those tests again there.
set -euo pipefail
cd "$(dirname "$0")/.."
WARNINGS_AS_ERRORS=ON scripts/setup.sh # a new warning in the program's own code fails the tests
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 600

# The record and class readers, the report's inputs, the reader's plain
# reading and the fuzz targets' saved inputs, with every read past a buffer
# and all undefined behaviour fatal. gcc's sanitizer runtimes come with
# build-essential; -O1, as AddressSanitizer's manual advises, with lines in the reports.
sanitized=(tst_plainreading tst_report tst_reportclass tst_reportinputs
           fuzz_content_corpus fuzz_filelines_corpus fuzz_recordreader_corpus)
cmake -S . -B build-asan -DSANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
cmake --build build-asan --parallel "$(nproc)" --target "${sanitized[@]}"
UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -R "^($(IFS='|'; echo "${sanitized[*]}"))\$" --output-on-failure --timeout 600
