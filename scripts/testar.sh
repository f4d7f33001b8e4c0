#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs the packages, starts the Firebird and
# PostgreSQL test servers, builds and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/instalar-dependencias.sh
bash scripts/servidores.sh iniciar
# shellcheck disable=SC1091
source "${TW_ESTADO:-/tmp/tidewell-servidores}/env.sh"
bash scripts/compilar.sh
cd "${TW_BUILD:-build}"
ctest --output-on-failure -j2 --timeout 600 "$@"
