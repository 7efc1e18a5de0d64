#!/usr/bin/env bash
# Installs what is missing, builds, and starts the demo: vantor serving three slave
# definitions on a loopback Modbus/TCP port (some values on auto-increment) and
# zelmor polling them in four windows. Without a display the same demo runs
# headless for a few seconds.
#
#   DEMO_ADDRESS=127.0.0.1 DEMO_PORT=1502 ./run.sh
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zelmor vantor kestrin make_demo_files

address=${DEMO_ADDRESS:-127.0.0.1}
port=${DEMO_PORT:-1502}
demo=$root/build/demo
mkdir -p "$demo"
build/demo/make_demo_files "$demo" "$address" "$port"

find_program() {  # the windowed build lives in app/, the plain one beside it
  for p in "build/$1/app/$2" "build/$1/$2"; do [ -x "$p" ] && { echo "$root/$p"; return; }; done
  echo "run.sh: $2 was not built" >&2; exit 1
}
vantor=$(find_program slave vantor)
zelmor=$(find_program master zelmor)

wait_for_port() {
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null && return 0
    kill -0 "$1" 2>/dev/null || { echo "run.sh: vantor ended before it listened on $address:$port" >&2; exit 1; }
    sleep 0.1
  done
  echo "run.sh: nothing listens on $address:$port" >&2; exit 1
}

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT INT TERM

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting vantor on $address:$port and zelmor polling it (close both windows to end)."
  "$vantor" --listen "$address:$port" "$demo/demo.vnw" & pids+=($!)
  wait_for_port "${pids[0]}"
  "$zelmor" "$demo/demo.zmw" & pids+=($!)
  wait "${pids[@]}" || true
else
  echo "No display (DISPLAY and WAYLAND_DISPLAY are not set): running the demo headless instead."
  echo "  slave:  vantor --headless --tcp $address:$port registers.vnd coils.vnd inputs.vnd"
  echo "  master: zelmor --headless demo.zmw --count 5"
  "$vantor" --headless --tcp "$address:$port" "$demo/registers.vnd" "$demo/coils.vnd" "$demo/inputs.vnd" & pids+=($!)
  wait_for_port "${pids[0]}"
  "$zelmor" --headless "$demo/demo.zmw" --count 5
fi
