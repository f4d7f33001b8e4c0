#!/usr/bin/env bash
# Starts (or reuses) the Firebird 3 and PostgreSQL servers the tests and the demo use, on loopback,
# without systemd, as root; or stops them by their own PIDs.
#   scripts/servidores.sh iniciar   -> writes $TW_ESTADO/env.sh with the connection values
#   scripts/servidores.sh parar
set -euo pipefail

TW_ESTADO=${TW_ESTADO:-/tmp/tidewell-servidores}
FB_SENHA=masterkey
FB_PORTA=3050
FB_CONF=/etc/firebird/3.0/firebird.conf
PG_SENHA=tidewell
PG_PORTA=54329
PGBIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)

vivo() { [ -f "$1" ] && kill -0 "$(head -1 "$1")" 2>/dev/null; }

esperar_porta() {
  for _ in $(seq 1 150); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.2
  done
  echo "servidor na porta $1 nao respondeu" >&2
  return 1
}

parar_pid() {
  local pidfile=$1 sinal=$2
  vivo "$pidfile" || return 0
  local pid; pid=$(head -1 "$pidfile")
  kill "-$sinal" "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
}

iniciar_firebird() {
  local pidfile=$TW_ESTADO/firebird.pid
  mkdir -p "$TW_ESTADO/fb"
  chown firebird:firebird "$TW_ESTADO/fb"; chmod 0770 "$TW_ESTADO/fb"
  if ! vivo "$pidfile"; then
    # A server left by someone else on our port would answer with other credentials.
    if (exec 3<>"/dev/tcp/127.0.0.1/$FB_PORTA") 2>/dev/null; then
      pkill -x firebird || true; sleep 1
    fi
    # Known SYSDBA password, set through the embedded engine while no server runs.
    echo "create or alter user SYSDBA password '$FB_SENHA'; commit;" |
      isql-fb -q -user SYSDBA /var/lib/firebird/3.0/system/security3.fdb >/dev/null
    # Debian binds "localhost", which resolves to ::1 alone where /etc/hosts lists it first; the
    # tests and the agent connect to 127.0.0.1.
    sed -i -E 's/^[#[:space:]]*RemoteBindAddress[[:space:]]*=.*/RemoteBindAddress = 127.0.0.1/' "$FB_CONF"
    grep -q '^RemoteBindAddress = 127.0.0.1' "$FB_CONF" || echo 'RemoteBindAddress = 127.0.0.1' >> "$FB_CONF"
    mkdir -p /run/firebird3.0 && chown firebird:firebird /run/firebird3.0
    start-stop-daemon --start --background --make-pidfile --pidfile "$pidfile" \
      --chuid firebird:firebird --exec /usr/sbin/firebird
  fi
  esperar_porta $FB_PORTA
}

iniciar_postgres() {
  local dir=$TW_ESTADO/pg
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    rm -rf "$dir"; mkdir -p "$dir"; chown postgres:postgres "$dir"; chmod 700 "$dir"
    printf '%s\n' "$PG_SENHA" > "$dir/pw"; chown postgres "$dir/pw"
    runuser -u postgres -- "$PGBIN/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pw" \
      --auth-local=scram-sha-256 --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >/dev/null
  fi
  if ! vivo "$dir/data/postmaster.pid"; then
    rm -f "$dir/data/postmaster.pid"
    runuser -u postgres -- "$PGBIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-p $PG_PORTA -k $dir -c listen_addresses=127.0.0.1 -F -c max_connections=200" start >/dev/null
  fi
  esperar_porta $PG_PORTA
}

escrever_env() {
  cat > "$TW_ESTADO/env.sh" <<EOT
export TW_PG_HOST=127.0.0.1 TW_PG_PORTA=$PG_PORTA TW_PG_USUARIO=postgres TW_PG_SENHA=$PG_SENHA
export TW_FB_HOST=127.0.0.1 TW_FB_PORTA=$FB_PORTA TW_FB_USUARIO=SYSDBA TW_FB_SENHA=$FB_SENHA TW_FB_PASTA=$TW_ESTADO/fb
EOT
}

case "${1:-}" in
  iniciar)
    mkdir -p "$TW_ESTADO"
    iniciar_firebird
    iniciar_postgres
    escrever_env
    echo "servidores prontos: firebird 127.0.0.1:$FB_PORTA, postgresql 127.0.0.1:$PG_PORTA ($TW_ESTADO/env.sh)"
    ;;
  parar)
    parar_pid "$TW_ESTADO/firebird.pid" TERM
    parar_pid "$TW_ESTADO/pg/data/postmaster.pid" INT
    ;;
  *) echo "uso: $0 iniciar|parar" >&2; exit 2 ;;
esac
