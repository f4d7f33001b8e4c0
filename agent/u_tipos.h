#pragma once
// Records shared by several units.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// A column's kind as the apply paths need it: Firebird field type code (12 date, 13 time,
// 35 timestamp, 261 blob, ...; PostgreSQL date/time types mapped to these, else 0) and sub-type
// (1 = text blob; always 0 on PostgreSQL).
struct TColInfo {
  int32_t Tipo = 0;
  int32_t Sub = 0;
};

// One remote command received with the heartbeat.
struct TComandoRemoto {
  int64_t Id = 0;
  std::string Tipo;
  std::string Params;  // JSON text
};

// A restore row not yet applied.
struct TLinhaPend {
  std::string Tabela;
  std::string Syncid;
  std::string Dados;
};

// The tables of the older synchronisation structure, never captured.
inline constexpr std::array<std::string_view, 6> TabelasLegadas = {
    "SINC", "SINC_BLOB", "SINC_QUARENTENA", "SINCRONIZAR", "REGRAS_FILTRO_SINC", "PROCESSOS"};

}  // namespace tw
