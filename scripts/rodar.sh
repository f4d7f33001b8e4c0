#!/usr/bin/env bash
# The program's main job, shown end to end on this machine: installs and builds, starts a Firebird
# server with a demonstration database, then runs the console program in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/instalar-dependencias.sh
bash scripts/servidores.sh iniciar
# shellcheck disable=SC1091
source "${TW_ESTADO:-/tmp/tidewell-servidores}/env.sh"
bash scripts/compilar.sh
BUILD=$(cd "${TW_BUILD:-build}" && pwd)
bash scripts/demo.sh "$BUILD/console/TidewellAgente"
