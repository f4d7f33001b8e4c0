#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent and quick when all are present.
set -euo pipefail

PACOTES=(
  build-essential cmake pkg-config g++ git
  libgtest-dev googletest libbenchmark-dev
  libpq-dev postgresql
  firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
  libssl-dev libcurl4-openssl-dev nlohmann-json3-dev libcpp-httplib-dev
  qt6-base-dev xvfb xauth fonts-dejavu-core
)

faltando=()
for p in "${PACOTES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || faltando+=("$p")
done
[ ${#faltando[@]} -eq 0 ] && exit 0

echo "instalando: ${faltando[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# The Firebird server package asks for the SYSDBA password; give it one so the install is silent.
echo "firebird3.0-server shared/firebird/sysdba_password/first_install password masterkey" | $SUDO debconf-set-selections
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${faltando[@]}"
