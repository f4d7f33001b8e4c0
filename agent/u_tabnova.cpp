#include "u_tabnova.h"

#include <exception>

#include "u_captura_fb3.h"
#include "u_log.h"
#include "u_texto.h"
#include "u_tipos.h"

namespace tw {
namespace {

bool ComecaCom(const std::string& nome, const std::string& prefixo) {
  return nome.compare(0, prefixo.size(), prefixo) == 0;
}

}  // namespace

bool EhTabelaLegada(std::string_view nome) {
  for (auto legada : TabelasLegadas)
    if (IguaisSemCaixa(nome, legada)) return true;
  return false;
}

void ListarTabelasNovasFb(Sessao& s, const std::string& P, std::vector<std::string>& lista) {
  const Resultado r = s.Consultar(
      "select trim(r.rdb$relation_name) nome from rdb$relations r where r.rdb$view_blr is null and "
      "coalesce(r.rdb$system_flag,0)=0   and not exists (select 1 from " +
      P + "C c " + "                   where c.K starting with 'T' and c.K <> 'qtdtabelas' " +
      "                     and cast(c.V as varchar(64)) = trim(r.rdb$relation_name)) " +
      "order by r.rdb$relation_name");
  for (const auto& linha : r.linhas) {
    std::string nome = Aparar(linha.at(0).ComoTexto());
    if (ComecaCom(nome, P) || EhTabelaLegada(nome)) continue;
    lista.push_back(std::move(nome));
  }
}

bool HaTabelasNovasFb(Sessao& s, const std::string& prefixo) {
  std::vector<std::string> lista;
  ListarTabelasNovasFb(s, Maiusculas(prefixo), lista);
  return !lista.empty();
}

int64_t ProximoIdTabelaFb(Sessao& s, const std::string& P) {
  return s
             .Escalar("select coalesce(max(cast(substring(K from 2) as integer)), 0) ult from " + P + "C " +
                      " where K starting with 'T' and K <> 'qtdtabelas' " +
                      "   and substring(K from 2) similar to '[0-9]+'")
             .ComoInteiro() +
         1;
}

void ExecutarSilenciosoFb(Sessao& s, const std::string& sql) {
  try {
    s.Executar(sql);
  } catch (const std::exception&) {
    // Expected for objects that exist already; the caller checks the outcome where it matters.
  }
}

void CriarObjetosBaseFb(Sessao& s, const std::string& P) {
  for (const auto& sql : SqlObjetosBaseFb(P)) ExecutarSilenciosoFb(s, sql);
}

int64_t ContarGatilhosFb(Sessao& s, const std::string& P, const std::string& tabela) {
  try {
    const Resultado r = s.Consultar(
        "select count(*) n from rdb$triggers t  where trim(t.rdb$relation_name) = :tab and "
        "trim(t.rdb$trigger_name) starting with :pre",
        {{"tab", Valor::Texto(tabela)}, {"pre", Valor::Texto(P)}});
    return r.Vazio() ? 0 : r.linhas[0].at(0).ComoInteiro();
  } catch (const std::exception&) {
    return 0;
  }
}

void CapturarTabelaFb(Sessao& s, const std::string& P, const std::string& T, int64_t id, std::string* erro) {
  ExecutarSilenciosoFb(s, "ALTER TABLE " + IdentificadorExato(T) + " ADD UUID CHAR(36)");
  ExecutarSilenciosoFb(s, SqlPreencherUuidFb(T));
  ExecutarSilenciosoFb(s, SqlIndiceUuidFb(P, T, id));
  for (const auto& sql : {SqlGatilhoUuidFb(P, T, id), SqlGatilhoJournalFb(P, T, id)}) {
    try {
      s.Executar(sql);
    } catch (const std::exception& e) {
      if (erro && erro->empty()) *erro = e.what();
    }
  }
}

int RepararGatilhosFb(Sessao& s, const std::string& prefixo, std::vector<std::string>* lista) {
  const std::string P = Maiusculas(prefixo);
  CriarObjetosBaseFb(s, P);
  const Resultado r = s.Consultar(
      "select cast(substring(trim(c.K) from 2) as integer) id, trim(cast(c.V as varchar(64))) nome   from " + P +
      "C c " + "  join rdb$relations r on trim(r.rdb$relation_name) = trim(cast(c.V as varchar(64))) " +
      " where trim(c.K) starting with 'T' and trim(c.K) <> 'qtdtabelas' " +
      "   and r.rdb$view_blr is null and coalesce(r.rdb$system_flag,0) = 0 " +
      "   and (select count(*) from rdb$triggers t " + "         where t.rdb$relation_name = r.rdb$relation_name " +
      "           and trim(t.rdb$trigger_name) starting with '" + P + "') < 2 " + " order by 1");

  struct Danificada {
    int64_t id;
    std::string nome;
  };
  std::vector<Danificada> danificadas;
  for (size_t i = 0; i < r.linhas.size(); ++i) {
    std::string nome = Aparar(r.Campo(i, "nome").ComoTexto());
    if (nome.empty() || ComecaCom(nome, P) || EhTabelaLegada(nome)) continue;
    danificadas.push_back({r.Campo(i, "id").ComoInteiro(), std::move(nome)});
  }

  int reparadas = 0;
  for (const auto& [id, nome] : danificadas) {
    std::string erro;
    CapturarTabelaFb(s, P, nome, id, &erro);
    if (ContarGatilhosFb(s, P, nome) < 2) {
      RegistrarLog("infra NAO reparada em \"" + nome + "\" (id " + std::to_string(id) + "): os gatilhos " +
                       "continuam faltando. Motivo: " + (erro.empty() ? "(o banco nao devolveu erro)" : erro) +
                       ". Tenta de novo no proximo ciclo.",
                   true);
    } else {
      RegistrarLog("infra REPARADA: \"" + nome + "\" (id " + std::to_string(id) + ") \u2014 gatilhos de captura " +
                       "estavam faltando e foram recriados.",
                   true);
      if (lista) lista->push_back(nome);
      ++reparadas;
    }
  }
  return reparadas;
}

int ProvisionarTabelasNovasFb(Sessao& s, const std::string& prefixo, std::vector<std::string>* lista) {
  const std::string P = Maiusculas(prefixo);
  std::vector<std::string> novas;
  ListarTabelasNovasFb(s, P, novas);
  if (novas.empty()) return 0;

  int64_t proximo = ProximoIdTabelaFb(s, P);
  int provisionadas = 0;
  for (const auto& T : novas) {
    CapturarTabelaFb(s, P, T, proximo);
    GravarMapaFb(s, P, "T" + std::to_string(proximo), T);
    GravarMapaFb(s, P, "cargadone:" + T, "");
    GravarMapaFb(s, P, "cargapos:" + T, "");
    RegistrarLog("tabela nova provisionada: \"" + T + "\" (id " + std::to_string(proximo) +
                 ") \u2014 UUID + triggers + mapa; " + "carga inicial dela pendente.");
    if (lista) lista->push_back(T);
    ++proximo;
    ++provisionadas;
  }
  GravarMapaFb(s, P, "qtdtabelas", std::to_string(proximo - 1));
  return provisionadas;
}

}  // namespace tw
