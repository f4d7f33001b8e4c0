#include "u_estrutura_pg.h"

#include <gtest/gtest.h>

#include <memory>

#include "apoio.h"
#include "u_erros.h"

namespace tw {
namespace {

using teste::BancoTeste;
using teste::ServidorPg;

// Structure text of the reference table and its SHA-256, computed outside the project (sha256sum).
constexpr const char* kTextoClientes =
    "CLIENTES|ID|INTEGER||||1|NOME|CHARACTER VARYING|60|||0|SALDO|NUMERIC|15|2||0|FOTO|BYTEA||||0|PK:ID";
constexpr const char* kHashClientes = "47e0cef36b64f5355dd14842401b6179fb1dc7afbfb13e4b72b6d475cd873b69";

TEST(NormalizarTipoPg, AparaEPoeEmMaiusculas) {
  EXPECT_EQ(NormalizarTipoPg("character varying"), "CHARACTER VARYING");
  EXPECT_EQ(NormalizarTipoPg("  numeric "), "NUMERIC");
  EXPECT_EQ(NormalizarTipoPg("timestamp without time zone"), "TIMESTAMP WITHOUT TIME ZONE");
  EXPECT_EQ(NormalizarTipoPg("USER-DEFINED"), "USER-DEFINED");
  EXPECT_EQ(NormalizarTipoPg(""), "");
}

TEST(TamanhoEscalaPg, PorTipo) {
  struct Caso {
    const char* tipo;
    int64_t tam, esc, prec;
    const char* tamanho;
    const char* escala;
  };
  const Caso casos[] = {
      {"NUMERIC", 0, 2, 15, "15", "2"},   {"NUMERIC", 0, 0, 0, "", "0"},     {"DECIMAL", 0, 0, 7, "7", "0"},
      {"CHARACTER VARYING", 60, 0, 0, "60", ""},                              {"CHARACTER VARYING", 0, 0, 0, "", ""},
      {"CHARACTER", 3, 0, 0, "3", ""},    {"INTEGER", 0, 0, 32, "", ""},     {"BIGINT", 0, 0, 64, "", ""},
      {"TEXT", 0, 0, 0, "", ""},          {"BYTEA", 0, 0, 0, "", ""},        {"numeric", 0, 2, 15, "", ""},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.tipo);
    const TTamanhoEscala r = TamanhoEscalaPg(c.tipo, c.tam, c.esc, c.prec);
    EXPECT_EQ(r.tamanho, c.tamanho);
    EXPECT_EQ(r.escala, c.escala);
  }
}

class EstruturaPg : public ::testing::Test {
 protected:
  void SetUp() override {
    banco_ = std::make_unique<BancoTeste>(ServidorPg(), "estrpg");
    s_ = banco_->Abrir();
    for (const char* sql : {
             "create table clientes (id integer not null primary key, nome varchar(60), saldo numeric(15,2), "
             "foto bytea, uuid uuid)",
             "create table medidas (n numeric, n0 numeric(5,0), d decimal(7,3), v varchar, c char(3), t text, "
             "i integer not null, b bigint, r real, ts timestamp)",
             "create table chave_uuid_id (uuid uuid, id integer, nome text, primary key (uuid, id))",
             "create table so_uuid (uuid uuid primary key, x integer)",
             "create table sem_chave (a integer)",
             "create table \"Pedidos\" (num integer, id integer, primary key (id, num))",
         }) {
      SCOPED_TRACE(sql);
      s_->Executar(sql);
    }
  }

  std::unique_ptr<BancoTeste> banco_;
  SessaoPtr s_;
};

TEST_F(EstruturaPg, ExemploClientesDaTextoEHashExatos) {
  EXPECT_EQ(TextoEstruturaPg(*s_, "clientes"), kTextoClientes);
  EXPECT_EQ(HashEstruturaPg(*s_, "clientes"), kHashClientes);
  s_->Executar("insert into clientes (id) values (1)");
  EXPECT_EQ(SerializarJson(EstruturaTabelaPg(*s_, "clientes")),
            R"({"nome":"clientes","campos":[)"
            R"({"nome":"id","tipo":"INTEGER","notnull":true},)"
            R"({"nome":"nome","tipo":"CHARACTER VARYING","notnull":false,"tamanho":60},)"
            R"({"nome":"saldo","tipo":"NUMERIC","notnull":false,"tamanho":15,"escala":2},)"
            R"({"nome":"foto","tipo":"BYTEA","notnull":false},)"
            R"({"nome":"uuid","tipo":"UUID","notnull":false}],)"
            R"("chaveprimaria":["id"],"fks":[],"temblob":true,"qtdlinhas":0})");
}

TEST_F(EstruturaPg, TamanhosEEscalas) {
  EXPECT_EQ(SerializarJson(EstruturaTabelaPg(*s_, "medidas")),
            R"({"nome":"medidas","campos":[)"
            R"({"nome":"n","tipo":"NUMERIC","notnull":false,"escala":0},)"
            R"({"nome":"n0","tipo":"NUMERIC","notnull":false,"tamanho":5,"escala":0},)"
            R"({"nome":"d","tipo":"NUMERIC","notnull":false,"tamanho":7,"escala":3},)"
            R"({"nome":"v","tipo":"CHARACTER VARYING","notnull":false},)"
            R"({"nome":"c","tipo":"CHARACTER","notnull":false,"tamanho":3},)"
            R"({"nome":"t","tipo":"TEXT","notnull":false},)"
            R"({"nome":"i","tipo":"INTEGER","notnull":true},)"
            R"({"nome":"b","tipo":"BIGINT","notnull":false},)"
            R"({"nome":"r","tipo":"REAL","notnull":false},)"
            R"({"nome":"ts","tipo":"TIMESTAMP WITHOUT TIME ZONE","notnull":false}],)"
            R"("chaveprimaria":[],"fks":[],"temblob":false,"qtdlinhas":0})");
  EXPECT_EQ(TextoEstruturaPg(*s_, "medidas"),
            "MEDIDAS|N|NUMERIC||0||0|N0|NUMERIC|5|0||0|D|NUMERIC|7|3||0|V|CHARACTER VARYING||||0|"
            "C|CHARACTER|3|||0|T|TEXT||||0|I|INTEGER||||1|B|BIGINT||||0|R|REAL||||0|"
            "TS|TIMESTAMP WITHOUT TIME ZONE||||0|PK:");
}

TEST_F(EstruturaPg, ChavesPrimarias) {
  struct Caso {
    const char* tabela;
    std::vector<std::string> chave;
    const char* texto;
  };
  const Caso casos[] = {
      {"chave_uuid_id", {"uuid", "id"}, "CHAVE_UUID_ID|ID|INTEGER||||1|NOME|TEXT||||0|PK:ID"},
      {"so_uuid", {"uuid"}, "SO_UUID|X|INTEGER||||0|PK:"},
      {"sem_chave", {}, "SEM_CHAVE|A|INTEGER||||0|PK:"},
      {"Pedidos", {"id", "num"}, "PEDIDOS|NUM|INTEGER||||1|ID|INTEGER||||1|PK:ID,NUM"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.tabela);
    EXPECT_EQ(ChavePrimariaPg(*s_, c.tabela), c.chave);
    EXPECT_EQ(TextoEstruturaPg(*s_, c.tabela), c.texto);
  }
}

TEST_F(EstruturaPg, ColunaUuidNaoMudaOHash) {
  const std::string antes = HashEstruturaPg(*s_, "sem_chave");
  s_->Executar("alter table sem_chave add column uuid uuid");
  EXPECT_EQ(HashEstruturaPg(*s_, "sem_chave"), antes);
  EXPECT_EQ(EstruturaTabelaPg(*s_, "sem_chave")["campos"].size(), 2u);
}

// The key query resolves the name through regclass: a name that is no table of the search path
// (or differs in case from the stored one) is an error, not an empty key.
TEST_F(EstruturaPg, TabelaQueNaoResolveLevantaErro) {
  EXPECT_THROW(EstruturaTabelaPg(*s_, "nao_existe"), EErroBanco);
  EXPECT_THROW(HashEstruturaPg(*s_, "CLIENTES"), EErroBanco);
  EXPECT_THROW(ChavePrimariaPg(*s_, "pedidos"), EErroBanco);
}

}  // namespace
}  // namespace tw
