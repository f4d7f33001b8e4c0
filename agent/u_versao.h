#pragma once
// The agent's version: written in the console start line, sent with the heartbeat and in the
// update check.

namespace tw {

inline constexpr const char* kVersaoAgente = "0.2.25";

}  // namespace tw
