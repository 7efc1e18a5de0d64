#!/usr/bin/env bash
# Takes the metainfo screenshots from the real windows (offscreen) with the demo
# files of ./run.sh, into desktop/screenshots/. Run after a build in build/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
demo=$(mktemp -d)
slave=
trap '[ -n "$slave" ] && kill "$slave" 2>/dev/null; rm -rf "$demo"' EXIT
export QT_QPA_PLATFORM=offscreen

# The slave definitions do not depend on the port; vantor picks a free one and
# the workspaces are then written again with it.
"$build/demo/make_demo_files" "$demo" 127.0.0.1 1502
"$build/slave/app/vantor" --headless --tcp 127.0.0.1:0 "$demo/registers.vnd" "$demo/coils.vnd" \
  "$demo/inputs.vnd" 2>"$demo/vantor.log" &
slave=$!
until grep -q serving "$demo/vantor.log"; do
  kill -0 "$slave" 2>/dev/null || { cat "$demo/vantor.log"; exit 1; }
  sleep 0.1
done
port=$(sed -n 's/.*serving .* on .*:\([0-9]*\)$/\1/p' "$demo/vantor.log")
"$build/demo/make_demo_files" "$demo" 127.0.0.1 "$port"
"$build/desktop/zelmor_shot" "$demo/demo.zmw" "$here/zelmor-main.png"
kill "$slave"; wait "$slave" 2>/dev/null || true; slave=

# vantor's own window serves the workspace on another free port.
free_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$build/desktop/vantor_shot" "$demo/demo.vnw" "127.0.0.1:$free_port" "$here/vantor-main.png"
"$build/desktop/kestrin_shot" "$here/kestrin-main.png"
