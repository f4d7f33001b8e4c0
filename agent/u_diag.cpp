#include "u_diag.h"

#include <algorithm>

#include "u_db.h"
#include "u_log.h"
#include "u_texto.h"

namespace tw {

void DiagnosticoFb(const std::string& host, int32_t porta, const std::string& caminho, const std::string& usuario,
                   const std::string& senha) {
  RegistrarLog("conectando ao Firebird " + host + ":" + std::to_string(porta) + " " + caminho);
  SessaoPtr s = AbrirConexao("firebird", host, porta, senha, usuario, caminho);
  RegistrarLog("conectado.");

  const int64_t tabelas = s->Escalar(
      "select count(*) n from rdb$relations where rdb$view_blr is null and coalesce(rdb$system_flag,0)=0")
      .ComoInteiro();
  RegistrarLog("tabelas de usuario: " + std::to_string(tabelas));

  RegistrarLog("primeiras tabelas:");
  const Resultado nomes = s->Consultar(
      "select rdb$relation_name from rdb$relations where rdb$view_blr is null and "
      "coalesce(rdb$system_flag,0)=0 order by rdb$relation_name");
  const size_t listadas = std::min<size_t>(nomes.linhas.size(), 12);
  for (size_t i = 0; i < listadas; ++i) RegistrarLog("  " + Aparar(nomes.linhas[i][0].ComoTexto()));

  const int64_t sinc = s->Escalar("select count(*) n from rdb$relations where rdb$relation_name = 'SINC'").ComoInteiro();
  RegistrarLog(std::string("tabela SINC (antigo) existe: ") + (sinc > 0 ? "True" : "False"));

  const int64_t gatilhos =
      s->Escalar("select count(*) n from rdb$triggers where trim(rdb$trigger_name) like 'TR_%_AIUD'").ComoInteiro();
  RegistrarLog("triggers TR_*_AIUD (antigo): " + std::to_string(gatilhos));

  const int64_t uuids =
      s->Escalar("select count(*) n from rdb$relation_fields where rdb$field_name = 'UUID'").ComoInteiro();
  RegistrarLog("colunas UUID (antigo) em N tabelas: " + std::to_string(uuids));
}

}  // namespace tw
