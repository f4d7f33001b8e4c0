#include "u_reestrutura.h"

#include <exception>
#include <vector>

#include "u_captura_fb3.h"
#include "u_db.h"
#include "u_log.h"
#include "u_texto.h"
#include "u_tipos.h"

namespace tw {

void RemoverEstruturaLegada(const std::string& host, int32_t porta, const std::string& caminho,
                            const std::string& usuario, const std::string& senha) {
  SessaoPtr sessao = AbrirConexao("firebird", host, porta, senha, usuario, caminho);
  Sessao& s = *sessao;

  std::vector<std::string> gatilhos;
  for (const auto& linha : s.Consultar("SELECT TRIM(RDB$TRIGGER_NAME) TRG FROM RDB$TRIGGERS WHERE "
                                       "COALESCE(RDB$SYSTEM_FLAG,0)=0 AND TRIM(RDB$TRIGGER_NAME) LIKE 'TR%AIUD'")
                               .linhas)
    gatilhos.push_back(Aparar(linha.at(0).ComoTexto()));

  // Triggers first: they write into the legacy tables.
  int removidos = 0;
  for (const auto& R : gatilhos) {
    try {
      s.Executar("DROP TRIGGER " + IdentificadorExato(R));
      ++removidos;
    } catch (const std::exception& e) {
      RegistrarLog("  falhou DROP TRIGGER " + R + ": " + e.what(), true);
    }
  }
  RegistrarLog("triggers TR*AIUD removidas: " + std::to_string(removidos) + " de " + std::to_string(gatilhos.size()));

  removidos = 0;
  for (auto N : TabelasLegadas) {
    const std::string nome(N);
    try {
      s.Executar("DROP TABLE " + nome);
      ++removidos;
      RegistrarLog("  tabela removida: " + nome);
    } catch (const std::exception& e) {
      RegistrarLog("  falhou DROP TABLE " + nome + ": " + e.what(), true);
    }
  }
  RegistrarLog("tabelas de sync removidas: " + std::to_string(removidos) + " de " +
               std::to_string(TabelasLegadas.size()));

  removidos = 0;
  for (auto G : GeradoresLegados) {
    const std::string nome(G);
    try {
      s.Executar("DROP GENERATOR " + nome);
      ++removidos;
    } catch (const std::exception& e) {
      RegistrarLog("  falhou DROP GENERATOR " + nome + ": " + e.what(), true);
    }
  }
  RegistrarLog("generators removidos: " + std::to_string(removidos) + " de " + std::to_string(GeradoresLegados.size()));
  RegistrarLog("colunas UUID PRESERVADAS (nao invasivo; desenho novo usa mapa proprio)");
  RegistrarLog("reestruturacao concluida.");
}

}  // namespace tw
