#include "u_diag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "apoio.h"
#include "u_erros.h"
#include "u_log.h"
#include "u_texto.h"

namespace tw {
namespace {

using teste::BancoTeste;
using teste::PastaTemp;
using teste::ServidorFb;

// Messages of the log lines written so far, without their time stamps.
class LogDoTeste {
 public:
  LogDoTeste() { DefinirPastaLog(pasta_.Caminho()); }
  std::vector<std::string> Mensagens() const {
    std::ifstream f(ArquivoLogDoDia(), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    std::vector<std::string> r;
    for (const std::string& linha : Dividir(s.str(), '\n')) {
      const std::string semCr = ApararDireita(linha);
      if (semCr.size() > 21) r.push_back(semCr.substr(21));  // "yyyy-mm-dd hh:nn:ss  "
    }
    return r;
  }

 private:
  PastaTemp pasta_;
};

std::string Conectando(const BancoTeste& b) {
  return "conectando ao Firebird " + b.servidor().host + ":" + std::to_string(b.servidor().porta) + " " + b.banco();
}

void Diagnosticar(const BancoTeste& b, const std::string& senha) {
  DiagnosticoFb(b.servidor().host, b.servidor().porta, b.banco(), b.servidor().usuario, senha);
}

TEST(DiagnosticoFb, BancoPequenoListaTodasAsTabelas) {
  LogDoTeste log;
  BancoTeste banco(ServidorFb(), "diag");
  {
    SessaoPtr s = banco.Abrir();
    for (const char* nome : {"E", "B", "D", "A", "C"}) s->Executar(std::string("create table ") + nome + " (X INTEGER)");
    s->Executar("create view V as select X from A");
  }
  Diagnosticar(banco, banco.servidor().senha);
  EXPECT_EQ(log.Mensagens(), (std::vector<std::string>{
                                 Conectando(banco),
                                 "conectado.",
                                 "tabelas de usuario: 5",
                                 "primeiras tabelas:",
                                 "  A",
                                 "  B",
                                 "  C",
                                 "  D",
                                 "  E",
                                 "tabela SINC (antigo) existe: False",
                                 "triggers TR_*_AIUD (antigo): 0",
                                 "colunas UUID (antigo) em N tabelas: 0",
                             }));
}

TEST(DiagnosticoFb, BancoComEstruturaAntiga) {
  LogDoTeste log;
  BancoTeste banco(ServidorFb(), "diagant");
  {
    SessaoPtr s = banco.Abrir();
    s->Executar("create table SINC (ID INTEGER)");
    for (int i = 29; i >= 1; --i) {
      char nome[8];
      std::snprintf(nome, sizeof nome, "T%02d", i);
      s->Executar(std::string("create table ") + nome + " (X INTEGER)");
    }
    s->Executar("alter table T01 add UUID CHAR(36)");
    s->Executar("alter table T02 add UUID CHAR(36)");
    s->Executar("create view V_UUID as select UUID from T01");
    s->Executar("create trigger TR_T01_AIUD for T01 after insert or update or delete as begin end");
    s->Executar("create trigger TRXAIUD for T02 after insert as begin end");  // outside the narrower pattern
  }
  Diagnosticar(banco, banco.servidor().senha);
  std::vector<std::string> esperado = {Conectando(banco), "conectado.", "tabelas de usuario: 30", "primeiras tabelas:",
                                       "  SINC"};
  for (int i = 1; i <= 11; ++i) esperado.push_back(std::string("  T") + (i < 10 ? "0" : "") + std::to_string(i));
  esperado.push_back("tabela SINC (antigo) existe: True");
  esperado.push_back("triggers TR_*_AIUD (antigo): 1");
  esperado.push_back("colunas UUID (antigo) em N tabelas: 3");  // the view's column counts too
  EXPECT_EQ(log.Mensagens(), esperado);
}

TEST(DiagnosticoFb, SenhaErradaParaAntesDeConectado) {
  LogDoTeste log;
  BancoTeste banco(ServidorFb(), "diagsenha");
  EXPECT_THROW(Diagnosticar(banco, "senha-errada"), EErroBanco);
  EXPECT_EQ(log.Mensagens(), (std::vector<std::string>{Conectando(banco)}));
}

}  // namespace
}  // namespace tw
