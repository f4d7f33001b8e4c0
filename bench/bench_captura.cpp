// Capture benchmark: structure creation on many populated tables (UUID backfill) and the cost of
// the capture triggers on inserts, on both servers. Usage in bench/README.md.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include "apoio.h"
#include "u_captura_fb3.h"
#include "u_captura_pg.h"
#include "u_db.h"
#include "u_erros.h"
#include "u_log.h"
#include "u_tabnova.h"

namespace tw {
namespace {

struct Parametros_ {
  int tabelas = 200;
  int64_t linhas = 1000000;
  int insercoes = 20000;
};

double Segundos(const std::function<void()>& f) {
  const auto ini = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - ini).count();
}

std::string NomeTabela(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "t%03d", i);
  return buf;
}

class Banco {
 public:
  explicit Banco(const teste::Servidor& sv) : sv_(sv), db_(sv, "bench") {}
  bool Pg() const { return sv_.sgbd == "postgres"; }
  SessaoPtr Abrir() const { return db_.Abrir(); }
  void Criar(const std::string& prefixo) const {
    if (Pg()) {
      auto s = Abrir();
      CriarEstruturaPg(*s, prefixo);
    } else {
      CriarEstruturaFb(sv_.host, sv_.porta, db_.banco(), sv_.usuario, sv_.senha, prefixo);
    }
  }

 private:
  const teste::Servidor& sv_;
  teste::BancoTeste db_;
};

const char* kColunas = " (id integer not null primary key, nome varchar(60), valor numeric(12,2), criado timestamp)";

void CriarTabelas(const Banco& b, int n, int64_t linhasPorTabela) {
  auto s = b.Abrir();
  for (int i = 1; i <= n; ++i) s->Executar("create table " + NomeTabela(i) + kColunas);
  if (linhasPorTabela == 0) return;
  const std::string n1 = std::to_string(linhasPorTabela);
  if (b.Pg()) {
    for (int i = 1; i <= n; ++i)
      s->Executar("insert into " + NomeTabela(i) + " select g, 'nome ' || g, g * 1.5, now() from generate_series(1, " +
                  n1 + ") g");
    return;
  }
  // Firebird: numbers 0..9999 from two recursive sets of 100, then copied table to table.
  s->Executar("insert into t001 with recursive d as (select 0 as i from rdb$database union all select i + 1 from d "
              "where i < 99) select a.i * 100 + b.i + 1, 'nome ' || (a.i * 100 + b.i), (a.i * 100 + b.i) * 1.5, "
              "current_timestamp from d a cross join d b where a.i * 100 + b.i < " +
              n1);
  for (int i = 2; i <= n; ++i) s->Executar("insert into " + NomeTabela(i) + " select * from t001");
}

// Inserts per second into `tabela`: single rows in one transaction, single rows each committed,
// and one server-side insert ... select.
struct Taxas {
  double transacao = 0, autocommit = 0, servidor = 0;
};

Taxas MedirInsercoes(Sessao& s, const std::string& tabela, int n, int64_t base) {
  Taxas t;
  const std::string sql = "insert into " + tabela + " (id, nome, valor, criado) values (?, ?, ?, current_timestamp)";
  auto linha = [&](int64_t id) {
    s.Executar(sql, {{"", Valor::Inteiro(id)}, {"", Valor::Texto("nome " + std::to_string(id))},
                     {"", Valor::Decimal("12.50")}});
  };
  t.transacao = n / Segundos([&] {
                  Transacao tr(s);
                  for (int i = 0; i < n; ++i) linha(base + i);
                  tr.Confirmar();
                });
  const int nAuto = n / 10;
  t.autocommit = nAuto / Segundos([&] {
                   for (int i = 0; i < nAuto; ++i) linha(base + n + i);
                 });
  // A multiple of 10,000 rows, generated on the server.
  const int64_t dezenasDeMilhar = std::max<int64_t>(1, int64_t{n} * 5 / 10000);
  const int64_t nServ = dezenasDeMilhar * 10000;
  const std::string desde = std::to_string(base + n + nAuto);
  const std::string gerar =
      s.EhPostgres()
          ? "insert into " + tabela + " (id, nome, valor, criado) select " + desde +
                " + g, 'nome', 1.5, now() from generate_series(1, " + std::to_string(nServ) + ") g"
          : "insert into " + tabela + " (id, nome, valor, criado) with recursive d as (select 0 as i from "
                "rdb$database union all select i + 1 from d where i < 99) select " + desde +
                " + a.i * 10000 + b.i * 100 + c.i, 'nome', 1.5, current_timestamp from d a cross join d b cross "
                "join d c where a.i < " + std::to_string(dezenasDeMilhar);
  t.servidor = static_cast<double>(nServ) / Segundos([&] { s.Executar(gerar); });
  return t;
}

void Rodar(const teste::Servidor& sv, const Parametros_& p) {
  const bool pg = sv.sgbd == "postgres";
  const int64_t porTabela = p.linhas / p.tabelas;
  std::printf("\n== %s: %d tabelas, %lld linhas no total ==\n", pg ? "PostgreSQL" : "Firebird", p.tabelas,
              static_cast<long long>(porTabela * p.tabelas));

  Banco vazio(sv);
  CriarTabelas(vazio, p.tabelas, 0);
  const double tVazio = Segundos([&] { vazio.Criar("bnc"); });
  std::printf("criacao da estrutura, tabelas vazias:   %8.2f s\n", tVazio);

  {
    Banco cheio(sv);
    const double tCarga = Segundos([&] { CriarTabelas(cheio, p.tabelas, porTabela); });
    std::printf("(carga das tabelas de teste:            %8.2f s)\n", tCarga);
    const double tCheio = Segundos([&] { cheio.Criar("bnc"); });
    std::printf("criacao da estrutura, tabelas cheias:   %8.2f s  (preenchimento de UUID + indices: %.2f s)\n", tCheio,
                tCheio - tVazio);
  }

  // The capture cost, on the database with the structure in place: a captured table against the
  // same table as the client had it (no UUID column, no triggers).
  auto s = vazio.Abrir();
  s->Executar(std::string("create table capt") + kColunas);
  s->Executar(std::string("create table simples") + kColunas);
  if (pg)
    CapturarTabelaPg(*s, "bnc", "capt", 999);
  else
    CapturarTabelaFb(*s, "BNC", "CAPT", 999);
  const Taxas simples = MedirInsercoes(*s, "simples", p.insercoes, 0);
  const Taxas capt = MedirInsercoes(*s, "capt", p.insercoes, 0);
  const std::string journal = pg ? "bncj" : "BNCJ";
  std::printf("linhas no journal depois das insercoes: %lld\n",
              static_cast<long long>(s->Escalar("select count(*) from " + journal).ComoInteiro()));
  std::printf("insercoes/s                         sem captura   com captura   tempo a mais\n");
  auto mostrar = [](const char* rotulo, double a, double b) {
    std::printf("%-34s %11.0f %13.0f %11.0f%%\n", rotulo, a, b, (a / b - 1) * 100);
  };
  mostrar("linha a linha, uma transacao", simples.transacao, capt.transacao);
  mostrar("linha a linha, commit por linha", simples.autocommit, capt.autocommit);
  mostrar("insert ... select no servidor", simples.servidor, capt.servidor);
}

}  // namespace
}  // namespace tw

int main(int argc, char** argv) {
  using namespace tw;
  const std::string qual = argc > 1 ? argv[1] : "ambos";
  Parametros_ p;
  if (argc > 2) p.tabelas = std::stoi(argv[2]);
  if (argc > 3) p.linhas = std::stoll(argv[3]);
  if (argc > 4) p.insercoes = std::stoi(argv[4]);
  // The structure operations log every ignored statement; keep that out of the figures.
  teste::PastaTemp logs;
  DefinirPastaLog(logs.Caminho());
  try {
    if (qual == "fb" || qual == "ambos") Rodar(teste::ServidorFb(), p);
    if (qual == "pg" || qual == "ambos") Rodar(teste::ServidorPg(), p);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", DescreverFalha(e).c_str());
    return 1;
  }
  return 0;
}
