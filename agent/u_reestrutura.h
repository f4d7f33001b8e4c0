#pragma once
// Removal of the older synchronisation structure from a Firebird database: the TR...AIUD triggers,
// the legacy tables (TabelasLegadas) and their generators. User tables, their data and their UUID
// columns are left in place.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// The generators of the older structure, in the order they are dropped.
inline constexpr std::array<std::string_view, 5> GeradoresLegados = {
    "GEN_SINC_ID", "GEN_SINC_BLOB_ID", "GEN_SINC_QUARENTENA_ID", "GEN_REGRAS_FILTRO_SINC_ID", "GEN_PROCESSOS_ID"};

// Opens its own Firebird session and drops the legacy triggers, then tables, then generators, each
// committed on its own; every failed drop is logged as an error line and passed over, and the counts
// are logged. Raises EErroBanco only when the connection or the trigger listing fails.
void RemoverEstruturaLegada(const std::string& host, int32_t porta, const std::string& caminho,
                            const std::string& usuario, const std::string& senha);

}  // namespace tw
