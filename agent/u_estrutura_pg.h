#pragma once
// The PostgreSQL schema reader: the table structure object and the structure text and hash of a
// table of schema public, in the shapes of the Firebird reader (u_estrutura) with the PostgreSQL
// type names, an extra member "temblob" and no row count.
//
// Operations that take a session need an open PostgreSQL session and leave it open. Table names
// must be given as stored (lower case for unquoted names). Query failures raise EErroBanco.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "u_db.h"
#include "u_json.h"

namespace tw {

// information_schema data_type with surrounding blanks removed, upper-cased ("CHARACTER VARYING").
std::string NormalizarTipoPg(std::string_view tipo);

// Size and scale of a column as texts, each empty when the type has none.
struct TTamanhoEscala {
  std::string tamanho;
  std::string escala;
};
// NUMERIC/DECIMAL: precision when above 0, scale always; CHARACTER [VARYING]: length when above 0.
TTamanhoEscala TamanhoEscalaPg(std::string_view tipo, int64_t tam, int64_t esc, int64_t prec);

// Primary-key column names in key order, as the catalogue holds them; empty when there is none.
// Raises EErroBanco when the name does not resolve to a table.
std::vector<std::string> ChavePrimariaPg(Sessao& s, const std::string& tabela);

// Table structure object {nome, campos, chaveprimaria, fks: [], temblob, qtdlinhas: 0}.
Json EstruturaTabelaPg(Sessao& s, const std::string& tabela);

// The structure text: upper-cased table name, "|", six fields per column except uuid (character
// set always empty), "PK:" and the key columns except uuid, upper-cased, joined by ",".
std::string TextoEstruturaPg(Sessao& s, const std::string& tabela);
// Lowercase hexadecimal SHA-256 of the structure text's UTF-8 bytes (64 characters).
std::string HashEstruturaPg(Sessao& s, const std::string& tabela);

}  // namespace tw
