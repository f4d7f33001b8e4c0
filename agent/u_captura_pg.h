#pragma once
// Capture objects in a PostgreSQL database (schema public): sequence p+"g", journal p+"j" with index
// p+"j_tbsid", control map p+"c", the shared journal function p+"f_journal", and per table the
// column uuid (default gen_random_uuid()), the unique index p+"uq_"+NNNN and the trigger
// p+"t_"+NNNN. Statements are idempotent and nothing is dropped before creation; every statement
// commits on its own on the caller's session. p is the agent prefix lower-cased.
#include <cstdint>
#include <string>
#include <vector>

#include "u_captura_fb3.h"
#include "u_db.h"

namespace tw {

// Runs a statement; a failure whose message contains "already exists" is silent, any other is
// logged as the error line "estrutura pg: <message> | SQL: <160 chars>". Never raises.
void ExecutarDdlPg(Sessao& s, const std::string& sql);

enum class TabelasMapeadas { Incluir, Excluir };
// Appends, in name order, the base tables of schema public whose names do not begin with p
// (optionally leaving out those already mapped in p+"c"). Raises std::invalid_argument for an empty
// p, EErroBanco when the query fails.
void ListarTabelas(Sessao& s, const std::string& p, std::vector<std::string>& lista, TabelasMapeadas mapeadas);

// Installs the capture of table T under number id and maps it ("T"+id). The control-map write
// raises EErroBanco; other failures are handled by ExecutarDdlPg. A uuid column T already had gets
// the default gen_random_uuid() when it has none. Leaves T with exactly one journal trigger: any
// other trigger of T that runs p+"f_journal" (an earlier number) is dropped.
void CapturarTabelaPg(Sessao& s, const std::string& p, const std::string& T, int64_t id);

// True when a public table is not mapped yet (prefix lower-cased here). Raises EErroBanco.
bool HaTabelasNovasPg(Sessao& s, const std::string& prefixo);

// Highest "T"+digits key of p+"c" plus 1 (1 when none). Raises EErroBanco.
int64_t ProximoIdTabelaPg(Sessao& s, const std::string& p);

// Captures every unmapped table under the next free numbers, marks its initial load pending and
// updates "qtdtabelas"; appends the names to lista when given and returns how many. Raises
// EErroBanco for a failed listing or control-map write.
int ProvisionarTabelasNovasPg(Sessao& s, const std::string& prefixo, std::vector<std::string>* lista = nullptr);

// Creates the base objects where missing and (re)writes the journal function.
void CriarObjetosBasePg(Sessao& s, const std::string& p);

// Captures every public table, numbered 1, 2, ... in name order, keeping the journal and the
// control map. Raises std::invalid_argument "prefixo invalido: <prefix>" before any statement when
// the prefix is not valid; EErroBanco for a failed listing or control-map write.
void CriarEstruturaPg(Sessao& s, const std::string& prefixo, const ProgressoEstrutura& progresso = {});

}  // namespace tw
