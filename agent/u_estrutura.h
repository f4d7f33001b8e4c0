#pragma once
// The Firebird schema reader: column descriptors, primary key and row count of a user table from
// the system catalogue, the table structure object, the structure text and its hash, the agent
// prefix found in the database, and the manifest document of all user tables.
//
// Operations that take a session need an open Firebird session and leave it open. Table names are
// compared with rdb$relation_name exactly: give them as the catalogue stores them (upper case for
// unquoted names). Catalogue failures raise EErroBanco unchanged; only the row count is guarded.
#include <cstdint>
#include <string>
#include <string_view>

#include "u_db.h"
#include "u_json.h"

namespace tw {

// Type name for a catalogue field type code, sub-type and scale ("INTEGER", "NUMERIC",
// "BLOB SUB_TYPE TEXT", ...); "UNKNOWN" for a code outside the known set.
std::string NomeTipoFb(int32_t tipo, int32_t subtipo, int32_t escala);

// One column as the catalogue describes it (a row of the column query).
struct TCampoFb {
  std::string nome;      // trailing blanks removed
  int32_t tipo = 0;      // rdb$field_type
  int32_t subtipo = 0;   // rdb$field_sub_type, null read as 0
  int32_t escala = 0;    // rdb$field_scale (negative for exact numerics), null read as 0
  int32_t precisao = 0;  // rdb$field_precision, null read as 0
  int32_t tamanho = 0;   // rdb$character_length (characters), null read as 0
  bool notnull = false;  // the column's own null flag (a NOT NULL domain does not count)
  std::string charset;   // character set name; empty when the column has none (null or NONE)
};

// The column descriptor {nome, tipo, notnull[, tamanho][, escala][, charset]}.
Json DescritorCampoFb(const TCampoFb& campo);
// The six fields of the column in the structure text, each followed by "|".
std::string TextoCampoFb(const TCampoFb& campo);

// Column descriptors of the table in field-position order (UUID included); [] for an unknown table.
Json CamposFb(Sessao& s, const std::string& tabela);
// Primary-key column names in key order; [] when the table has none.
Json ChavePrimariaFb(Sessao& s, const std::string& tabela);
// Row count of the table (name quoted as given, not upper-cased); 0 when counting fails.
int64_t ContarLinhasFb(Sessao& s, const std::string& tabela);

// True when the table stays out of the manifest: its name starts with the (non-empty) prefix, or
// it is one of TabelasLegadas; both comparisons without regard to case.
bool TabelaIgnoradaFb(std::string_view tabela, std::string_view prefixo);

// Table structure object {nome, campos, chaveprimaria, fks: [], qtdlinhas}.
Json EstruturaTabelaFb(Sessao& s, const std::string& tabela);

// The agent prefix of the journal table found in the database (its name minus the final "J");
// empty when there is none.
std::string DetectarPrefixoFb(Sessao& s);

// The structure text: upper-cased table name, "|", six fields per column except UUID, "PK:" and
// the key columns except UUID joined by ",".
std::string TextoEstruturaFb(Sessao& s, const std::string& tabela);
// Lowercase hexadecimal SHA-256 of the structure text's UTF-8 bytes (64 characters).
std::string HashEstruturaFb(Sessao& s, const std::string& tabela);

// HashEstruturaFb on a session of its own, closed on every way out. Raises EErroBanco when the
// connection or a catalogue query fails.
std::string HashTabelaFb(const std::string& host, int32_t porta, const std::string& caminho,
                         const std::string& usuario, const std::string& senha, const std::string& tabela);

// The manifest document of every user table not left out by TabelaIgnoradaFb (the prefix found in
// the database when the given one is empty), as SerializarJson text. Opens and closes its own
// session; writes the log line "manifesto montado: N tabelas". Raises EErroBanco as HashTabelaFb.
std::string MontarManifestoFb(const std::string& host, int32_t porta, const std::string& caminho,
                              const std::string& usuario, const std::string& senha, const std::string& prefixo);

}  // namespace tw
