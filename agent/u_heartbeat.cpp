#include "u_heartbeat.h"

#include <cmath>
#include <limits>

#include "u_contrato.h"
#include "u_http.h"
#include "u_json.h"
#include "u_texto.h"
#include "u_versao.h"

namespace tw {
namespace {

// A JSON number as a 64-bit id; 0 when it is not a whole number within range.
int64_t IdDe(const Json& v) {
  if (v.is_number_unsigned()) {
    const auto n = v.get<uint64_t>();
    return n <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? static_cast<int64_t>(n) : 0;
  }
  if (v.is_number_integer()) return v.get<int64_t>();
  const double d = v.get<double>();
  // 2^63 is exactly representable; anything from it up does not fit.
  if (std::isfinite(d) && d == std::trunc(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
    return static_cast<int64_t>(d);
  return 0;
}

}  // namespace

std::string CorpoHeartbeat(int64_t fila) {
  Json corpo = Json::object();
  corpo["versao"] = kVersaoAgente;
  corpo["telemetria"] = Json::object({{"fila", fila}});
  return SerializarJson(corpo);
}

bool EnviarHeartbeat(const TConfigAgente& cfg, int64_t fila, bool& ativo, std::string& erro,
                     std::vector<TComandoRemoto>& comandos) {
  erro.clear();
  ativo = true;
  comandos.clear();

  std::string resposta;
  const int32_t status =
      HttpPostJson(contrato::Url(cfg.Endpoint, contrato::kHeartbeat), CorpoHeartbeat(fila), cfg.Token, resposta);
  if (status != 200) {
    erro = TextoErroHttp(status, resposta);
    return false;
  }

  const std::optional<Json> doc = LerDocumentoJson(resposta);
  if (!doc) return true;
  if (const Json* a = JsonBuscar(*doc, "data.ativo"); a && a->is_boolean()) ativo = a->get<bool>();

  const Json* lista = JsonBuscar(*doc, "data.comandos");
  if (!lista || !lista->is_array()) return true;
  comandos.resize(lista->size());
  for (size_t i = 0; i < lista->size(); ++i) {
    const Json& elem = (*lista)[i];
    if (!elem.is_object())
      throw EErroJson("data.comandos[" + std::to_string(i) + "] do heartbeat nao e um objeto: " + SerializarJson(elem));
    TComandoRemoto& c = comandos[i];
    if (auto id = elem.find("id"); id != elem.end() && id->is_number()) c.Id = IdDe(*id);
    c.Tipo = JsonTexto(elem, "tipo", "");
    auto params = elem.find("params");
    c.Params = params != elem.end() ? SerializarJson(*params) : "{}";
  }
  return true;
}

}  // namespace tw
