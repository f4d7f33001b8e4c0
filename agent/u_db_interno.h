#pragma once
// Inside the session layer only: the two driver back-ends behind AbrirConexao.
#include "u_db.h"

namespace tw::db_interno {

// PostgreSQL session over libpq (client encoding UTF8, no password prompt).
SessaoPtr AbrirSessaoPg(const std::string& host, int32_t porta, const std::string& senha,
                        const std::string& usuario, const std::string& banco);

// Firebird 3 session over fbclient (connection character set NONE; texts converted by each
// column's / parameter's declared character set).
SessaoPtr AbrirSessaoFb(const std::string& host, int32_t porta, const std::string& senha,
                        const std::string& usuario, const std::string& banco);

// Splits a statement into its text for the driver and the parameter order: every ":name" and "?"
// outside string literals, quoted identifiers, comments, "::" casts, ":=" and $$ bodies is
// replaced by marcador(i) (i = 0-based position) and its name recorded (empty for "?").
// Back-ends skip the scan when a statement is run with no parameters and send it unchanged.
struct SqlPreparado {
  std::string texto;
  std::vector<std::string> nomes;
};
SqlPreparado AnalisarParametros(std::string_view sql, std::string (*marcador)(size_t));

// Orders the given parameters as the statement expects them; EErroBanco when one is missing.
std::vector<const Valor*> OrdenarParametros(const SqlPreparado& sql, const Parametros& params);

}  // namespace tw::db_interno
