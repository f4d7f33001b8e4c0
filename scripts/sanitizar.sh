#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer (not part of CI:
# slower). Same set-up as scripts/testar.sh, into build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/instalar-dependencias.sh
bash scripts/servidores.sh iniciar
# shellcheck disable=SC1091
source "${TW_ESTADO:-/tmp/tidewell-servidores}/env.sh"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTIDEWELL_SANITIZE=ON -DTIDEWELL_WIZARD=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-asan
ctest --output-on-failure -j2 --timeout 900 "$@"
