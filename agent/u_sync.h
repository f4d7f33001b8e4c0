#pragma once
// The control map (prefix + "C": key K, text value V), which holds all synchronisation state in the
// client database, and the row encoding: one row of a user table as the JSON object the server
// stores. Also the dialect dispatch of a table's structure object and structure version.
//
// Operations that take a session use the caller's open session and leave it open; each control-map
// write is one statement that commits on its own (outside an explicit transaction).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "u_db.h"
#include "u_json.h"

namespace tw {

// --- Control map ----------------------------------------------------------------------------

// V of the key (possibly the empty text); `padrao` when the key is absent or V is null. Keys are
// compared exactly. Raises std::invalid_argument "prefixo invalido: <prefix>" for a prefix that
// PrefixoValido refuses, EErroBanco for any database failure (missing table, lost connection).
std::string LerControle(Sessao& s, std::string_view prefixo, std::string_view chave, std::string_view padrao);

// Inserts or replaces the key with the value (an empty value is stored as the empty text, never
// NULL). Raises as LerControle; a key longer than 60 characters raises the database's EErroBanco.
void GravarControle(Sessao& s, std::string_view prefixo, std::string_view chave, std::string_view valor);

// The table name under the key "T" + numero; empty when the key is absent. Raises as LerControle.
std::string NomeTabelaPorId(Sessao& s, std::string_view prefixo, int64_t numero);

// --- Row encoding ---------------------------------------------------------------------------

// The JSON value of one column value, by its kind: null; integers as numbers (Firebird
// NUMERIC/DECIMAL of scale 0 as strings); booleans; floats and PostgreSQL money as numbers
// (NaN and infinities, which JSON lacks, as the strings "NaN", "Infinity", "-Infinity"); exact
// decimals as strings with "."; dates "yyyy-mm-dd", times "hh:nn:ss", timestamps
// "yyyy-mm-ddThh:nn:ss.zzz"; bytes as BytesParaJson; text as a string (CHAR without its trailing
// blanks). Raises EErroConversao for a money text that holds no number.
Json CampoParaJson(const TColuna& coluna, const Valor& valor);

// {"__b64__": Base64 of the bytes} (standard alphabet, "=" padding, one line).
Json BytesParaJson(std::string_view bytes);

// The row object of row `linha` of the result: one member per column in query order, named as the
// column, except the column named "UUID" (without regard to case). Kinds come from the result's
// column descriptions; nothing is looked up per row. Raises as CampoParaJson.
Json LinhaParaJson(const Resultado& resultado, size_t linha);

// The row object of the row of `tabela` (name as stored, quoted exactly) whose UUID is `uuid`;
// nullopt when there is none. On PostgreSQL the text is compared as a uuid, so any accepted spelling
// (canonical lower case, upper case) finds the row. Raises EErroBanco when the query fails (a table
// that no longer exists, a text that is not a UUID on PostgreSQL).
std::optional<Json> LinhaPorUuid(Sessao& s, std::string_view tabela, std::string_view uuid);

// --- Dialect dispatch -----------------------------------------------------------------------

// The table structure object: EstruturaTabelaPg on a PostgreSQL session, else EstruturaTabelaFb.
Json EstruturaTabela(Sessao& s, const std::string& tabela);
// The table's structure version: HashEstruturaPg on a PostgreSQL session, else HashEstruturaFb.
std::string VersaoTabela(Sessao& s, const std::string& tabela);

}  // namespace tw
