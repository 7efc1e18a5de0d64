#!/usr/bin/env bash
# Builds the Debian package orvane-modbus-suite_<version>_<arch>.deb in the
# current folder from a release build in build-package/.
#   ./package.sh && sudo apt install ./orvane-modbus-suite_*.deb
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build-package -j"$(nproc)" --target zelmor vantor kestrin suite_desktop_files
(cd build-package && cpack -G DEB)
mv -f build-package/orvane-modbus-suite_*.deb .
# The package's own checks when lintian is installed: errors fail the build.
if command -v lintian >/dev/null; then
  lintian --fail-on error orvane-modbus-suite_*.deb
fi
ls orvane-modbus-suite_*.deb
