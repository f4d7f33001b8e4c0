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
echo; echo "--- manifesto.json"; cat manifesto.json; echo

# As the installation does: first remove an older synchronisation structure, then create ours.
run limpar-antigo "$TW_FB_HOST" "$TW_FB_PORTA" "$DB" "$TW_FB_USUARIO" "$TW_FB_SENHA"
# The agent's identity (prefix) normally comes from the installation; set one by hand here.
sed -i 's/^prefixo=.*$/prefixo=dmo\r/' tidewell.ini
run criar-estrutura
echo; echo "--- alteracoes no banco e o journal DMOJ que os gatilhos escreveram"
isql-fb -q -user "$TW_FB_USUARIO" -password "$TW_FB_SENHA" "$TW_FB_HOST/$TW_FB_PORTA:$DB" <<EOT
INSERT INTO CLIENTE (ID, NOME, SALDO) VALUES (2, 'Maria', 0);
UPDATE CLIENTE SET SALDO = 99.90 WHERE ID = 1;
DELETE FROM CLIENTE WHERE ID = 2;
COMMIT;
SELECT ID, NOME, UUID FROM CLIENTE;
SELECT ID, TB, SID, OP FROM DMOJ ORDER BY ID;
SELECT K, V FROM DMOC ORDER BY K;
EOT
echo; echo "--- logs em $DEMO/logs"; ls "$DEMO/logs"
