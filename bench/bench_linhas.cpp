// Row encoding benchmark: rows per second of LinhaParaJson over a full scan of a captured table of
// ten columns of mixed kinds, and of LinhaPorUuid + LinhaParaJson row by row, on both servers.
// Usage in bench/README.md.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "apoio.h"
#include "u_captura_fb3.h"
#include "u_captura_pg.h"
#include "u_db.h"
#include "u_erros.h"
#include "u_json.h"
#include "u_log.h"
#include "u_sync.h"

namespace tw {
namespace {

struct Opcoes {
  int64_t linhas = 100000;
  int64_t buscas = 10000;
};

double Segundos(const std::function<void()>& f) {
  const auto ini = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - ini).count();
}

// Ten columns: integer, bigint, varchar, char, numeric, double, boolean, timestamp, date, text blob.
const char* kColunas =
    " (id integer not null primary key, codigo bigint, nome varchar(60), sigla char(10), valor numeric(15,2), "
    "preco double precision, ativo boolean, criado timestamp, nascimento date, obs ";

void CriarTabela(Sessao& s, int64_t linhas) {
  const std::string n = std::to_string(linhas);
  if (s.EhPostgres()) {
    s.Executar(std::string("create table itens") + kColunas + "text)");
    s.Executar(
        "insert into itens select g, g::bigint * 1000003, 'Produto n\xC2\xBA ' || g, 'SG' || (g % 97), g * 1.25, "
        "g / 7.0, g % 2 = 0, timestamp '2024-03-05 14:07:09.12' + g * interval '1 second', "
        "date '1990-01-01' + (g % 10000), 'Observa\xC3\xA7\xC3\xA3o da linha ' || g "
        "from generate_series(1, " +
        n + ") g");
    return;
  }
  s.Executar(std::string("create table itens") + kColunas + "blob sub_type text)");
  // Numbers 0..999999 from three recursive sets of 100, cut at the row count.
  s.Executar(
      "insert into itens with recursive d as (select 0 as i from rdb$database union all select i + 1 from d "
      "where i < 99), g as (select a.i * 10000 + b.i * 100 + c.i + 1 as g from d a cross join d b cross join "
      "d c) select g, g * 1000003, 'Produto n\xC2\xBA ' || g, 'SG' || mod(g, 97), g * 1.25, g / 7.0e0, "
      "mod(g, 2) = 0, timestamp '2024-03-05 14:07:09.12' + g / 86400.0e0, date '1990-01-01' + mod(g, 10000), "
      "'Observa\xC3\xA7\xC3\xA3o da linha ' || g from g where g <= " +
      n);
}

void Rodar(const teste::Servidor& sv, const Opcoes& o) {
  const bool pg = sv.sgbd == "postgres";
  std::printf("\n== %s: tabela de %lld linhas, 10 colunas + UUID ==\n", pg ? "PostgreSQL" : "Firebird",
              static_cast<long long>(o.linhas));
  teste::BancoTeste db(sv, "benchlin");
  {
    auto s = db.Abrir();
    const double tCarga = Segundos([&] { CriarTabela(*s, o.linhas); });
    const double tCaptura = Segundos([&] {
      if (pg)
        CriarEstruturaPg(*s, "bnc");
      else
        CriarEstruturaFb(sv.host, sv.porta, db.banco(), sv.usuario, sv.senha, "bnc");
    });
    std::printf("(carga %.2f s, captura com UUID %.2f s)\n", tCarga, tCaptura);
  }

  auto s = db.Abrir();
  const std::string tabela = pg ? "itens" : "ITENS";
  Resultado r;
  const double tConsulta = Segundos([&] { r = s->Consultar("select * from " + IdentificadorExato(tabela)); });
  const size_t n = r.linhas.size();
  const auto nd = static_cast<double>(n);
  size_t membros = 0, bytes = 0;
  const double tCodificar = Segundos([&] {
    for (size_t i = 0; i < n; ++i) membros += LinhaParaJson(r, i).size();
  });
  const double tSerializar = Segundos([&] {
    for (size_t i = 0; i < n; ++i) bytes += SerializarJson(LinhaParaJson(r, i)).size();
  });
  std::printf("varredura completa: %zu linhas (%zu membros, %zu bytes de JSON)\n", n, membros, bytes);
  std::printf("  consulta (select *)                    %10.0f linhas/s  (%.2f s)\n", nd / tConsulta, tConsulta);
  std::printf("  LinhaParaJson                          %10.0f linhas/s  (%.2f s)\n", nd / tCodificar, tCodificar);
  std::printf("  LinhaParaJson + SerializarJson         %10.0f linhas/s  (%.2f s)\n", nd / tSerializar, tSerializar);
  std::printf("  consulta + LinhaParaJson               %10.0f linhas/s\n", nd / (tConsulta + tCodificar));
  // Where the scan's time goes: the same query without the text blob column.
  const std::string semBlob = pg ? "id, codigo, nome, sigla, valor, preco, ativo, criado, nascimento, uuid"
                                 : "ID, CODIGO, NOME, SIGLA, VALOR, PRECO, ATIVO, CRIADO, NASCIMENTO, UUID";
  const double tSemBlob = Segundos([&] { s->Consultar("select " + semBlob + " from " + IdentificadorExato(tabela)); });
  std::printf("  consulta sem a coluna blob (9 + UUID)  %10.0f linhas/s  (%.2f s)\n", nd / tSemBlob, tSemBlob);

  // UUIDs spread over the whole table, read back one by one as the upload does.
  const int iUuid = r.Indice("uuid");
  std::vector<std::string> uuids;
  const auto buscas = static_cast<size_t>(std::min<int64_t>(o.buscas, static_cast<int64_t>(n)));
  for (size_t k = 0; k < buscas; ++k) uuids.push_back(r.linhas[k * n / buscas][static_cast<size_t>(iUuid)].ComoTexto());
  r = {};
  size_t achadas = 0;
  const double tBuscar = Segundos([&] {
    for (const std::string& u : uuids)
      if (LinhaPorUuid(*s, tabela, u)) ++achadas;
  });
  std::printf("LinhaPorUuid + LinhaParaJson: %zu de %zu achadas\n", achadas, uuids.size());
  std::printf("  linha a linha                          %10.0f linhas/s  (%.2f s)\n",
              static_cast<double>(uuids.size()) / tBuscar, tBuscar);
}

}  // namespace
}  // namespace tw

int main(int argc, char** argv) {
  using namespace tw;
  const std::string qual = argc > 1 ? argv[1] : "ambos";
  Opcoes o;
  if (argc > 2) o.linhas = std::stoll(argv[2]);
  if (argc > 3) o.buscas = std::stoll(argv[3]);
  // Structure creation logs its steps; keep that out of the figures.
  teste::PastaTemp logs;
  DefinirPastaLog(logs.Caminho());
  try {
    if (qual == "fb" || qual == "ambos") Rodar(teste::ServidorFb(), o);
    if (qual == "pg" || qual == "ambos") Rodar(teste::ServidorPg(), o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", DescreverFalha(e).c_str());
    return 1;
  }
  return 0;
}
