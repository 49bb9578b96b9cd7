#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DTOCKWISE_WERROR=ON >/dev/null
cmake --build build -j2
cd build
ctest --output-on-failure -j2 "$@"
