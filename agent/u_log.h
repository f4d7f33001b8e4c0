#pragma once
// The log: one daily file "ag_yyyymmdd.txt" in the log folder, UTF-8 lines ending in CR LF,
// optional echo to standard output, the checkpoint file and the error digest.
#include <cstddef>
#include <string>

namespace tw {

// Sets the log folder (may be relative to the working directory), creates it with its parents and
// purges daily files older than 30 days. Raises EErroSO when the folder cannot be created.
void DefinirPastaLog(const std::string& pasta);
std::string PastaLog();

// Console echo of every line (on in the console program).
void DefinirEcoConsole(bool ligado);

// Deletes "ag_*.txt" in the log folder whose last write is older than now minus days.
// Any failure ends the purge silently.
void LimparLogsAntigos(int dias);

std::string ArquivoLogDoDia();

// Writes one line; never fails towards the caller.
void RegistrarLog(const std::string& mensagem, bool erro = false);

// Rewrites "checkpoint.txt" with BOM + current local time; never fails towards the caller.
void GravarCheckpoint();

// The key under which error lines count as one.
std::string NormalizarLinhaErro(const std::string& linha);

// De-duplicated digest of yesterday's and today's error lines; never raises.
std::string ErrosRecentes(size_t maxCaracteres);

}  // namespace tw
