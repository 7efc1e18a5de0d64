#!/usr/bin/env bash
# Rewrites the seed corpora in fuzz/corpus/ from the real encoders (after a
# file format or a target's input layout changed). Needs the fuzz tree built.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
cmake --build "$build" --target fuzz_make_seeds
rm -rf fuzz/corpus
"$build/fuzz/fuzz_make_seeds" fuzz/corpus
