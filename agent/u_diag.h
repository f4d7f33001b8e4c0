#pragma once
// The Firebird diagnostic report of the console mode "fb": reachability of a database, its user
// tables and traces of the older synchronisation structure. Reads only.
#include <cstdint>
#include <string>

namespace tw {

// Writes the report to the log as information lines, on a session of its own that is closed on
// every way out. Raises EErroBanco (after the lines already written) when the connection or a
// query fails.
void DiagnosticoFb(const std::string& host, int32_t porta, const std::string& caminho, const std::string& usuario,
                   const std::string& senha);

}  // namespace tw
