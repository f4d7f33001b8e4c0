#!/usr/bin/env bash
# Runs the console program against a demonstration Firebird database. Argument: the program.
set -euo pipefail
PROG=$1
DEMO=$(mktemp -d /tmp/tidewell-demo-XXXXXX)
DB=$TW_FB_PASTA/demo.fdb
rm -f "$DB"
isql-fb -q -bail <<EOT
CREATE DATABASE '$TW_FB_HOST/$TW_FB_PORTA:$DB' USER '$TW_FB_USUARIO' PASSWORD '$TW_FB_SENHA' DEFAULT CHARACTER SET UTF8;
CREATE TABLE CLIENTE (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(60), SALDO NUMERIC(15,2));
INSERT INTO CLIENTE VALUES (1, 'Ação São João', 10.50);
COMMIT;
EOT
cp "$PROG" "$DEMO/"
cd "$DEMO"
run() { echo; echo "\$ TidewellAgente $*"; ./TidewellAgente "$@"; }
run config-local http://127.0.0.1:9500 "$TW_FB_HOST" "$TW_FB_PORTA" "$DB" "$TW_FB_USUARIO" "$TW_FB_SENHA"
echo; echo "--- tidewell.ini"; cat tidewell.ini
run fb "$TW_FB_HOST" "$TW_FB_PORTA" "$DB" "$TW_FB_USUARIO" "$TW_FB_SENHA"
run hash "$TW_FB_HOST" "$TW_FB_PORTA" "$DB" "$TW_FB_USUARIO" "$TW_FB_SENHA" CLIENTE
run manifesto "$TW_FB_HOST" "$TW_FB_PORTA" "$DB" "$TW_FB_USUARIO" "$TW_FB_SENHA"
echo; echo "--- logs em $DEMO/logs"; ls "$DEMO/logs"
