#pragma once
// Keeps the Firebird capture structure complete while the agent runs: provisions user tables that
// are not in the control map yet and repairs mapped tables that lost capture triggers. Works on a
// session owned by the caller; every statement commits on its own; nothing is ever dropped and
// numbers already given never change. P is the agent prefix upper-cased.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "u_db.h"

namespace tw {

// True when the name is one of TabelasLegadas, without regard to case.
bool EhTabelaLegada(std::string_view nome);

// Appends, in name order, the user tables not mapped in P+"C" (skipping names that begin with P,
// case-sensitive, and legacy tables). Raises EErroBanco (e.g. when P+"C" does not exist).
void ListarTabelasNovasFb(Sessao& s, const std::string& P, std::vector<std::string>& lista);
// True when ListarTabelasNovasFb finds a table (the prefix is upper-cased here). Raises EErroBanco.
bool HaTabelasNovasFb(Sessao& s, const std::string& prefixo);

// Highest "T"+digits key of P+"C" plus 1 (1 when none). Raises EErroBanco.
int64_t ProximoIdTabelaFb(Sessao& s, const std::string& P);

// Runs the statement and swallows any failure without logging.
void ExecutarSilenciosoFb(Sessao& s, const std::string& sql);

// Creates the base objects of P that are missing (silently).
void CriarObjetosBaseFb(Sessao& s, const std::string& P);

// Number of triggers of the table whose names begin with P; 0 on any failure.
int64_t ContarGatilhosFb(Sessao& s, const std::string& P, const std::string& tabela);

// Installs UUID column, backfill, unique index and both triggers of table T under number id; all
// failures swallowed. When erro is given and still empty, the first trigger failure's message is
// stored in it. Writes no control-map entry.
void CapturarTabelaFb(Sessao& s, const std::string& P, const std::string& T, int64_t id, std::string* erro = nullptr);

// Re-installs the capture objects of mapped tables with fewer than two P triggers and logs each
// outcome (error lines). Appends the repaired names to lista when given; returns how many were
// repaired. Raises EErroBanco when the query of damaged tables fails.
int RepararGatilhosFb(Sessao& s, const std::string& prefixo, std::vector<std::string>* lista = nullptr);

// Captures every unmapped user table under the next free numbers, maps it, marks its initial load
// pending ("cargadone:"/"cargapos:" empty) and updates "qtdtabelas". Appends the names to lista
// when given; returns how many. Raises EErroBanco for a failed listing or control-map write.
int ProvisionarTabelasNovasFb(Sessao& s, const std::string& prefixo, std::vector<std::string>* lista = nullptr);

}  // namespace tw
