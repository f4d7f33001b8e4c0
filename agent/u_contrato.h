#pragma once
// Every call the agent makes to the synchronisation server, in one place. A URL is the
// configuration's Endpoint followed by one of these paths. Every call carries the bearer token;
// success is status 200 exactly and an answer's content sits under its member "data".
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::contrato {

// call                     body                         what the agent relies on in the answer
// POST kHeartbeat          versao, telemetria.fila      data.ativo (boolean); data.comandos, objects {id, tipo, params}
// POST kLogs               arquivo, motivo, conteudo    status 200
// POST ComandoResultado    the command's result         nothing
// POST ComandoProgresso    progresso                    nothing
// POST kRecargaIniciar     {}                           status 200 before the local reset
// POST kEstrutura          tabela                       status 200
// POST kLotes              agente, lote, tipo, itens    data.resultado: "ok"; "duplicado" with data.loteesperado;
//                                                       "retido" with data.versoesfaltantes
// GET  kDescida            -                            data.lote, data.itens of {tabela, syncid, op, dados}
// POST kDescidaAck         lote, renumerados            status 200
// POST kDescidaFalhas      falhas, aplicados            nothing
// GET  kRestoreTabelas     -                            data.tabelas
// GET  RestoreLote         -                            data.itens of {syncid, dados}; data.proximo
// GET  UpdateCheck         -                            data.temupdate, data.id, data.sha256, data.versao
// GET  UpdateDownload      -                            the program file as the body

inline constexpr std::string_view kHeartbeat = "/api/v1/agentes/heartbeat";
inline constexpr std::string_view kLogs = "/api/v1/agentes/logs";
inline constexpr std::string_view kRecargaIniciar = "/api/v1/sync/recarga/iniciar";
inline constexpr std::string_view kEstrutura = "/api/v1/sync/estrutura";
inline constexpr std::string_view kLotes = "/api/v1/sync/lotes";
inline constexpr std::string_view kDescida = "/api/v1/sync/descida";
inline constexpr std::string_view kDescidaAck = "/api/v1/sync/descida/ack";
inline constexpr std::string_view kDescidaFalhas = "/api/v1/sync/descida/falhas";
inline constexpr std::string_view kRestoreTabelas = "/api/v1/sync/restore/tabelas";

// "/api/v1/agentes/comando/<id>/resultado" and ".../progresso".
std::string ComandoResultado(int64_t id);
std::string ComandoProgresso(int64_t id);

// "/api/v1/sync/restore?tabela=<tabela>&depois=<cursor>", both values percent-encoded.
std::string RestoreLote(std::string_view tabela, std::string_view cursor);

// "/update/check?componente=servico&versao=<versao>", the version percent-encoded.
std::string UpdateCheck(std::string_view versao);

// "/update/download/<id>".
std::string UpdateDownload(int64_t id);

// Endpoint + path, the URL of a call.
std::string Url(std::string_view endpoint, std::string_view caminho);

// The text with every byte outside A-Z a-z 0-9 "-._~" written as %XX (UTF-8 bytes, upper-case hex),
// so a value can stand in a path segment or a query parameter.
std::string CodificarUrl(std::string_view valor);

}  // namespace tw::contrato
