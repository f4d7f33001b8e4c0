#!/usr/bin/env bash
# Configures and builds the project into build/ (or $TW_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${TW_BUILD:-build}
WERROR=OFF
[ "${CI:-}" = "true" ] && WERROR=ON
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_WERROR=$WERROR >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
