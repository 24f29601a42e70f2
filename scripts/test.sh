#!/usr/bin/env bash
# Sets up, builds and runs every test (unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, plus a seconds-long smoke of each fuzzer and
# benchmark). Windows are tested on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd build
ctest --output-on-failure --timeout 600 -j "${JOBS:-$(nproc)}" "$@"
