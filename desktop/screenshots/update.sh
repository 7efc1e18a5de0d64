#!/usr/bin/env bash
# Takes the metainfo screenshots from the real windows (offscreen) with the demo
# files of ./run.sh, into desktop/screenshots/. Run after a build in build/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
port=${SHOT_PORT:-15020}
demo=$(mktemp -d)
trap 'kill "$slave" 2>/dev/null || true; rm -rf "$demo"' EXIT
"$build/demo/make_demo_files" "$demo" 127.0.0.1 "$port"
export QT_QPA_PLATFORM=offscreen
"$build/slave/app/vantor" --headless --tcp "127.0.0.1:$port" "$demo/registers.vnd" "$demo/coils.vnd" \
  "$demo/inputs.vnd" 2>"$demo/vantor.log" &
slave=$!
until grep -q serving "$demo/vantor.log"; do sleep 0.1; done
"$build/desktop/zelmor_shot" "$demo/demo.zmw" "$here/zelmor-main.png"
kill "$slave"; wait "$slave" 2>/dev/null || true
"$build/desktop/vantor_shot" "$demo/demo.vnw" "127.0.0.1:$port" "$here/vantor-main.png"
"$build/desktop/kestrin_shot" "$here/kestrin-main.png"
