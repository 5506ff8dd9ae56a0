#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the bundled sample map.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
exec build/plano-miller "$@"
