#!/usr/bin/env bash
# Installs what is missing, builds and runs every test through CTest.
#   ./test.sh              normal build in build/, a short pass of every fuzz target
#                          over its seeds (clang tree in build-fuzz/), then every test
#   ./test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   ./test.sh --fuzz       only the fuzz targets, each for FUZZ_SECONDS (default 60)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

# The libFuzzer targets in their own clang tree (fuzz/CMakeLists.txt).
fuzz_tree() {
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUITE_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build-fuzz -j"$(nproc)"
}

if [ "${1:-}" = "--fuzz" ]; then
  fuzz_tree
  exec fuzz/run_fuzz.sh
fi

build=build; extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan; extra=(-DSUITE_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

# Seeds, past findings and a few thousand new inputs per fuzz target, when clang
# is there (scripts/install-deps.sh installs it from packages.txt). Run before the
# main suite so that the run ends with the main suite's summary line.
if [ -z "${1:-}" ] && command -v clang++ >/dev/null; then
  fuzz_tree
  (cd build-fuzz && ctest --output-on-failure -j"$(nproc)" --timeout 300)
fi

cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 300
