#pragma once
// Capture objects in a Firebird database: base objects of one prefix (sequence P+"G", journal P+"J",
// blob journal P+"B", control map P+"C", index P+"J_TBSID") and, per user table, the UUID column,
// the unique index P+"UQ_"+NNNN and the triggers P+"U_"+NNNN (fills UUID) and P+"T_"+NNNN (journal).
// Every statement commits on its own; P is the agent prefix upper-cased.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "u_db.h"

namespace tw {

// Progress of a structure creation: number of the table just finished, number of tables listed,
// table name. May be empty.
using ProgressoEstrutura = std::function<void(int numero, int total, const std::string& tabela)>;

// True when the prefix is usable in object names: exactly three ASCII letters, digits or
// underscores, the first a letter (the prefix goes unquoted into every statement).
bool PrefixoValido(std::string_view prefixo);

// The table number written with at least four digits, zero-padded (1 -> "0001", 12345 -> "12345").
std::string NumeroQuatroDigitos(int64_t numero);


// Drops the whole agent structure of prefix P and builds it again for every user table:
// tables numbered 1, 2, ... in name order (skipping P-prefixed and legacy tables), journal and
// control map recreated empty. Raises std::invalid_argument "prefixo invalido: <prefix>" before
// connecting when the prefix is not valid, EErroBanco for a failed connection, catalogue query or
// control-map write; every other failed statement is logged as ignored and passed over.
void CriarEstruturaFb(const std::string& host, int32_t porta, const std::string& caminho, const std::string& usuario,
                      const std::string& senha, const std::string& prefixo, const ProgressoEstrutura& progresso = {});

// Runs the statement; a failure is logged as "  (ignorado): <42 chars>... [<message>]" and swallowed.
void ExecutarIgnorandoErroFb(Sessao& s, const std::string& sql);

// True when the table has the column (names compared exactly as stored). Raises EErroBanco.
bool ColunaExisteFb(Sessao& s, const std::string& tabela, const std::string& coluna);

// Drops every non-system trigger whose name begins with P, then P+"J", P+"B", P+"M", P+"C" and the
// sequence P+"G"; drops go through ExecutarIgnorandoErroFb. Raises EErroBanco when the trigger
// listing fails.
void RemoverObjetosPrefixoFb(Sessao& s, const std::string& P);

// --- Statement texts shared with the provisioning and repair of later tables ----------------

// The five base-object statements, in creation order.
std::vector<std::string> SqlObjetosBaseFb(const std::string& P);
// Fills missing or malformed UUIDs of table T.
std::string SqlPreencherUuidFb(const std::string& T);
std::string SqlIndiceUuidFb(const std::string& P, const std::string& T, int64_t id);
// The before-insert trigger P+"U_"+NNNN that gives new rows a UUID.
std::string SqlGatilhoUuidFb(const std::string& P, const std::string& T, int64_t id);
// The after insert/update/delete trigger P+"T_"+NNNN that writes the journal unless P+"X" is set or
// the row has no UUID.
std::string SqlGatilhoJournalFb(const std::string& P, const std::string& T, int64_t id);

// Writes one control-map entry (update or insert by key). Raises EErroBanco.
void GravarMapaFb(Sessao& s, const std::string& P, const std::string& chave, const std::string& valor);

}  // namespace tw
