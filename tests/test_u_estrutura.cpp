#include "u_estrutura.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "apoio.h"
#include "u_erros.h"
#include "u_log.h"

namespace tw {
namespace {
using teste::LerArquivo;

using teste::BancoTeste;
using teste::PastaTemp;
using teste::ServidorFb;

// Structure text of the reference table and its SHA-256, computed outside the project (sha256sum).
constexpr const char* kTextoCliente =
    "CLIENTE|ID|INTEGER||||1|NOME|VARCHAR|60||WIN1252|0|SALDO|NUMERIC|15|2||0|FOTO|BLOB SUB_TYPE BINARY||||0|PK:ID";
constexpr const char* kHashCliente = "e4909eb191d122e2830af17d78ed7d93ccd69ed91d3a8eeaca4e9f0bff2c9f9e";
// "AÇÃO|PREÇO|NUMERIC|10|2||1|X\"Y|INTEGER||||0|PK:PREÇO" in UTF-8.
constexpr const char* kTextoAcao =
    "A\xC3\x87\xC3\x83O|PRE\xC3\x87O|NUMERIC|10|2||1|X\"Y|INTEGER||||0|PK:PRE\xC3\x87O";
constexpr const char* kHashAcao = "743e4382fef346b30c2d67c58790c3c915ad9054e14da784b332924055c7c54f";
constexpr const char* kHashVazio = "4875781f124c4af5b6dfa9ef7e45939ab139c197622473eee04ea14806855975";  // "|PK:"

void ExecutarTodos(Sessao& s, std::initializer_list<std::string> comandos) {
  for (const std::string& sql : comandos) {
    SCOPED_TRACE(sql);
    s.Executar(sql);
  }
}

// A Firebird database holding one table for each case the reader must get right.
class EstruturaFb : public ::testing::Test {
 protected:
  void SetUp() override {
    banco_ = std::make_unique<BancoTeste>(ServidorFb(), "estr");
    s_ = banco_->Abrir();
    ExecutarTodos(*s_, {
        "create table CLIENTE (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(60) CHARACTER SET WIN1252, "
        "SALDO NUMERIC(15,2), FOTO BLOB SUB_TYPE 0, UUID CHAR(36))",
        "create table SEM_CHAVE (A INTEGER, B VARCHAR(3))",
        "create table SO_UUID (UUID CHAR(36) NOT NULL PRIMARY KEY, X VARCHAR(10))",
        "create table UUID_ID (UUID CHAR(36) NOT NULL, ID INTEGER NOT NULL, constraint PK_UUID_ID primary key (UUID, ID))",
        "create domain D_NN integer not null",
        "create table TIPOS (C_SMALL SMALLINT, C_INT INTEGER NOT NULL, C_BIG BIGINT, C_N41 NUMERIC(4,1), "
        "C_N93 NUMERIC(9,3), C_D184 DECIMAL(18,4), C_NUM NUMERIC, C_FLOAT FLOAT, C_DOUBLE DOUBLE PRECISION, "
        "C_DATA DATE, C_HORA TIME, C_TS TIMESTAMP, C_BOOL BOOLEAN, C_MEMO BLOB SUB_TYPE TEXT, "
        "C_BIN BLOB SUB_TYPE 0, C_BLOBNEG BLOB SUB_TYPE -3, C_CHAR CHAR(10) CHARACTER SET NONE, "
        "C_VC VARCHAR(5), C_DOM D_NN, \"minusc\" INTEGER)",
        "create table \"A\xC3\xA7\xC3\xA3o\" (\"Pre\xC3\xA7o\" numeric(10,2) not null primary key, \"x\"\"y\" integer)",
        "create table CONTAGEM (N INTEGER)",
        "insert into CONTAGEM values (1)",
        "insert into CONTAGEM values (2)",
        "insert into CONTAGEM values (3)",
        "create table \"A\"\"B\" (C INTEGER)",
        "insert into \"A\"\"B\" values (1)",
        // Reading an external table is refused by the server's default configuration.
        "create table EXT external file '/tmp/tidewell-nao-existe-" + std::to_string(getpid()) +
            "/x.txt' (A CHAR(10))",
        "create table \"sinc\" (A INTEGER)",
        "create table \"Processos\" (A INTEGER)",
        "create table SINC_BLOB (A INTEGER)",
        "create table XPTO_C (K VARCHAR(60), V VARCHAR(100))",
        "create table \"xpto_outra\" (A INTEGER)",
        "create view V_CLIENTE as select ID from CLIENTE",
    });
  }

  std::unique_ptr<BancoTeste> banco_;
  SessaoPtr s_;
};

TEST(NomeTipoFb, MapeiaCodigosDoCatalogo) {
  struct Caso {
    int32_t tipo, sub, escala;
    const char* nome;
  };
  const Caso casos[] = {
      {7, 0, 0, "SMALLINT"},   {7, 1, -2, "NUMERIC"},  {8, 0, 0, "INTEGER"},
      {8, 2, -1, "NUMERIC"},   {16, 0, 0, "BIGINT"},   {16, 1, -4, "NUMERIC"},
      {16, 0, 3, "BIGINT"},    {10, 0, 0, "FLOAT"},    {27, 0, -2, "DOUBLE PRECISION"},
      {12, 0, 0, "DATE"},      {13, 0, 0, "TIME"},     {35, 0, 0, "TIMESTAMP"},
      {14, 0, 0, "CHAR"},      {37, 0, 0, "VARCHAR"},  {23, 0, 0, "BOOLEAN"},
      {261, 1, 0, "BLOB SUB_TYPE TEXT"},               {261, 0, 0, "BLOB SUB_TYPE BINARY"},
      {261, -3, 0, "BLOB SUB_TYPE BINARY"},            {261, 6, 0, "BLOB SUB_TYPE BINARY"},
      {9, 0, 0, "UNKNOWN"},    {40, 0, 0, "UNKNOWN"},  {0, 0, 0, "UNKNOWN"},
      {24, 0, 0, "UNKNOWN"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(std::to_string(c.tipo) + "/" + std::to_string(c.sub) + "/" + std::to_string(c.escala));
    EXPECT_EQ(NomeTipoFb(c.tipo, c.sub, c.escala), c.nome);
  }
}

// Cases the catalogue of a Firebird 3 database cannot hold (a NUMERIC without precision, a code
// outside the table), built directly.
TEST(NomeTipoFb, DescritorETextoDeCamposIncomuns) {
  struct Caso {
    TCampoFb campo;
    const char* descritor;
    const char* texto;
  };
  const Caso casos[] = {
      {{"V", 8, 0, -2, 0, 0, false, ""}, R"({"nome":"V","tipo":"NUMERIC","notnull":false,"escala":2})",
       "V|NUMERIC||2||0|"},
      {{"q", 9, 0, -2, 5, 7, true, "UTF8"}, R"({"nome":"q","tipo":"UNKNOWN","notnull":true})", "Q|UNKNOWN||||1|"},
      {{"c", 14, 0, 0, 0, 0, false, "win1252"}, R"({"nome":"c","tipo":"CHAR","notnull":false,"charset":"win1252"})",
       "C|CHAR|||WIN1252|0|"},
      {{"B", 261, 1, 0, 0, 80, false, "UTF8"}, R"({"nome":"B","tipo":"BLOB SUB_TYPE TEXT","notnull":false})",
       "B|BLOB SUB_TYPE TEXT||||0|"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.texto);
    EXPECT_EQ(SerializarJson(DescritorCampoFb(c.campo)), c.descritor);
    EXPECT_EQ(TextoCampoFb(c.campo), c.texto);
  }
}

TEST(TabelaIgnoradaFb, PrefixoELegadasSemDistinguirCaixa) {
  struct Caso {
    const char* tabela;
    const char* prefixo;
    bool ignorada;
  };
  const Caso casos[] = {
      {"SINC", "", true},          {"sinc", "", true},          {"Processos", "", true},
      {"REGRAS_FILTRO_SINC", "", true},                         {"sinc_quarentena", "XPTO_", true},
      {"Sincronizar", "", true},   {"SINC_BLOB", "", true},     {"SINC_X", "", false},
      {"XSINC", "", false},        {"CLIENTE", "", false},      {"CLIENTE", "XPTO_", false},
      {"XPTO_J", "XPTO_", true},   {"xpto_outra", "XPTO_", true}, {"XPTO_C", "xpto_", true},
      {"XPT", "XPTO_", false},     {"A\xC3\xA7\xC3\xA3o_1", "A\xC3\x87\xC3\x83O_", true},
      {"", "", false},             {"", "X", false},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(std::string(c.tabela) + " / " + c.prefixo);
    EXPECT_EQ(TabelaIgnoradaFb(c.tabela, c.prefixo), c.ignorada);
  }
}

TEST_F(EstruturaFb, ExemploClienteDaTextoEHashExatos) {
  EXPECT_EQ(TextoEstruturaFb(*s_, "CLIENTE"), kTextoCliente);
  EXPECT_EQ(HashEstruturaFb(*s_, "CLIENTE"), kHashCliente);
  EXPECT_EQ(HashTabelaFb(banco_->servidor().host, banco_->servidor().porta, banco_->banco(), banco_->servidor().usuario,
                         banco_->servidor().senha, "CLIENTE"),
            kHashCliente);

  s_->Executar("insert into CLIENTE (ID, NOME) values (1, 'Joao')");
  EXPECT_EQ(SerializarJson(EstruturaTabelaFb(*s_, "CLIENTE")),
            R"({"nome":"CLIENTE","campos":[)"
            R"({"nome":"ID","tipo":"INTEGER","notnull":true},)"
            R"({"nome":"NOME","tipo":"VARCHAR","notnull":false,"tamanho":60,"charset":"WIN1252"},)"
            R"({"nome":"SALDO","tipo":"NUMERIC","notnull":false,"tamanho":15,"escala":2},)"
            R"({"nome":"FOTO","tipo":"BLOB SUB_TYPE BINARY","notnull":false},)"
            R"({"nome":"UUID","tipo":"CHAR","notnull":false,"tamanho":36,"charset":"UTF8"}],)"
            R"("chaveprimaria":["ID"],"fks":[],"qtdlinhas":1})");
}

TEST_F(EstruturaFb, TiposDoCatalogo) {
  EXPECT_EQ(SerializarJson(CamposFb(*s_, "TIPOS")),
            R"([{"nome":"C_SMALL","tipo":"SMALLINT","notnull":false},)"
            R"({"nome":"C_INT","tipo":"INTEGER","notnull":true},)"
            R"({"nome":"C_BIG","tipo":"BIGINT","notnull":false},)"
            R"({"nome":"C_N41","tipo":"NUMERIC","notnull":false,"tamanho":4,"escala":1},)"
            R"({"nome":"C_N93","tipo":"NUMERIC","notnull":false,"tamanho":9,"escala":3},)"
            R"({"nome":"C_D184","tipo":"NUMERIC","notnull":false,"tamanho":18,"escala":4},)"
            R"({"nome":"C_NUM","tipo":"INTEGER","notnull":false},)"
            R"({"nome":"C_FLOAT","tipo":"FLOAT","notnull":false},)"
            R"({"nome":"C_DOUBLE","tipo":"DOUBLE PRECISION","notnull":false},)"
            R"({"nome":"C_DATA","tipo":"DATE","notnull":false},)"
            R"({"nome":"C_HORA","tipo":"TIME","notnull":false},)"
            R"({"nome":"C_TS","tipo":"TIMESTAMP","notnull":false},)"
            R"({"nome":"C_BOOL","tipo":"BOOLEAN","notnull":false},)"
            R"({"nome":"C_MEMO","tipo":"BLOB SUB_TYPE TEXT","notnull":false},)"
            R"({"nome":"C_BIN","tipo":"BLOB SUB_TYPE BINARY","notnull":false},)"
            R"({"nome":"C_BLOBNEG","tipo":"BLOB SUB_TYPE BINARY","notnull":false},)"
            R"({"nome":"C_CHAR","tipo":"CHAR","notnull":false,"tamanho":10},)"
            R"({"nome":"C_VC","tipo":"VARCHAR","notnull":false,"tamanho":5,"charset":"UTF8"},)"
            R"({"nome":"C_DOM","tipo":"INTEGER","notnull":false},)"
            R"({"nome":"minusc","tipo":"INTEGER","notnull":false}])");
  EXPECT_EQ(TextoEstruturaFb(*s_, "TIPOS"),
            "TIPOS|C_SMALL|SMALLINT||||0|C_INT|INTEGER||||1|C_BIG|BIGINT||||0|C_N41|NUMERIC|4|1||0|"
            "C_N93|NUMERIC|9|3||0|C_D184|NUMERIC|18|4||0|C_NUM|INTEGER||||0|C_FLOAT|FLOAT||||0|"
            "C_DOUBLE|DOUBLE PRECISION||||0|C_DATA|DATE||||0|C_HORA|TIME||||0|C_TS|TIMESTAMP||||0|"
            "C_BOOL|BOOLEAN||||0|C_MEMO|BLOB SUB_TYPE TEXT||||0|C_BIN|BLOB SUB_TYPE BINARY||||0|"
            "C_BLOBNEG|BLOB SUB_TYPE BINARY||||0|C_CHAR|CHAR|10|||0|C_VC|VARCHAR|5||UTF8|0|"
            "C_DOM|INTEGER||||0|MINUSC|INTEGER||||0|PK:");
}

TEST_F(EstruturaFb, ChavesPrimarias) {
  struct Caso {
    const char* tabela;
    const char* chave;
    const char* texto;
  };
  const Caso casos[] = {
      {"SEM_CHAVE", "[]", "SEM_CHAVE|A|INTEGER||||0|B|VARCHAR|3||UTF8|0|PK:"},
      {"SO_UUID", R"(["UUID"])", "SO_UUID|X|VARCHAR|10||UTF8|0|PK:"},
      {"UUID_ID", R"(["UUID","ID"])", "UUID_ID|ID|INTEGER||||1|PK:ID"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.tabela);
    EXPECT_EQ(SerializarJson(ChavePrimariaFb(*s_, c.tabela)), c.chave);
    EXPECT_EQ(TextoEstruturaFb(*s_, c.tabela), c.texto);
  }
}

// The UUID column added by the capture structure must not change a table's structure hash.
TEST_F(EstruturaFb, ColunaUuidNaoMudaOHash) {
  const std::string antes = HashEstruturaFb(*s_, "SEM_CHAVE");
  s_->Executar("alter table SEM_CHAVE add UUID CHAR(36)");
  EXPECT_EQ(HashEstruturaFb(*s_, "SEM_CHAVE"), antes);
  const Json campos = CamposFb(*s_, "SEM_CHAVE");
  ASSERT_EQ(campos.size(), 3u);
  EXPECT_EQ(campos[2]["nome"], "UUID");
  s_->Executar("alter table SEM_CHAVE add C INTEGER");
  EXPECT_NE(HashEstruturaFb(*s_, "SEM_CHAVE"), antes);
}

TEST_F(EstruturaFb, NomeForaDoAsciiNoTextoEmUtf8) {
  const std::string tabela = "A\xC3\xA7\xC3\xA3o";
  EXPECT_EQ(TextoEstruturaFb(*s_, tabela), kTextoAcao);
  EXPECT_EQ(HashEstruturaFb(*s_, tabela), kHashAcao);
  EXPECT_EQ(SerializarJson(EstruturaTabelaFb(*s_, tabela)),
            R"({"nome":"A\u00e7\u00e3o","campos":[)"
            R"({"nome":"Pre\u00e7o","tipo":"NUMERIC","notnull":true,"tamanho":10,"escala":2},)"
            R"({"nome":"x\"y","tipo":"INTEGER","notnull":false}],)"
            R"("chaveprimaria":["Pre\u00e7o"],"fks":[],"qtdlinhas":0})");
}

TEST_F(EstruturaFb, TabelaInexistenteOuNomeVazio) {
  EXPECT_EQ(TextoEstruturaFb(*s_, ""), "|PK:");
  EXPECT_EQ(HashEstruturaFb(*s_, ""), kHashVazio);
  EXPECT_EQ(TextoEstruturaFb(*s_, "NAO_EXISTE"), "NAO_EXISTE|PK:");
  // Names are compared as stored: the lower-case spelling of an unquoted table finds nothing.
  EXPECT_EQ(TextoEstruturaFb(*s_, "cliente"), "CLIENTE|PK:");
  EXPECT_EQ(SerializarJson(CamposFb(*s_, "cliente")), "[]");
}

TEST_F(EstruturaFb, ContagemDeLinhas) {
  struct Caso {
    const char* tabela;
    int64_t linhas;
  };
  const Caso casos[] = {
      {"CONTAGEM", 3},
      {"A\"B", 1},        // a double quote inside the name is part of the name
      {"EXT", 0},         // cannot be read
      {"NAO_EXISTE", 0},
      {"contagem", 0},    // quoted as given, so it names no table
      {"", 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.tabela);
    EXPECT_EQ(ContarLinhasFb(*s_, c.tabela), c.linhas);
  }
  // A failed count leaves the session usable.
  EXPECT_EQ(ContarLinhasFb(*s_, "CONTAGEM"), 3);
}

TEST_F(EstruturaFb, DetectaPrefixoPelaTabelaDeJournal) {
  EXPECT_EQ(DetectarPrefixoFb(*s_), "");
  // Ends in J but lacks the journal columns.
  s_->Executar("create table CAJ (ID INTEGER, TB INTEGER, SID CHAR(36), OP CHAR(1))");
  EXPECT_EQ(DetectarPrefixoFb(*s_), "");
  s_->Executar("create table XPTO_J (ID BIGINT NOT NULL, TB INTEGER, SID CHAR(36), OP CHAR(1), TX BIGINT, TS TIMESTAMP)");
  EXPECT_EQ(DetectarPrefixoFb(*s_), "XPTO_");
}

std::vector<std::string> NomesDoManifesto(const Json& doc) {
  std::vector<std::string> nomes;
  for (const Json& t : doc["manifesto"]["tabelas"]) nomes.push_back(t["nome"].get<std::string>());
  return nomes;
}

TEST_F(EstruturaFb, ManifestoDoBanco) {
  const auto& sv = banco_->servidor();
  const std::string texto = MontarManifestoFb(sv.host, sv.porta, banco_->banco(), sv.usuario, sv.senha, "");
  for (char c : texto) ASSERT_TRUE(static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) < 128);
  const Json doc = Json::parse(texto);
  EXPECT_EQ(SerializarJson(doc), texto);
  ASSERT_EQ(doc.size(), 2u);
  EXPECT_EQ(doc.begin().key(), "manifesto");
  EXPECT_EQ(doc["manifesto"]["sgbd"], "firebird3");
  EXPECT_EQ(SerializarJson(doc["maquina"]), R"({"nome":"DEV-AGENTE","so":"Windows"})");
  // Legacy tables out in any case; views out; no journal table, so no prefix.
  EXPECT_EQ(NomesDoManifesto(doc),
            (std::vector<std::string>{"A\"B", "A\xC3\xA7\xC3\xA3o", "CLIENTE", "CONTAGEM", "EXT", "SEM_CHAVE", "SO_UUID",
                                      "TIPOS", "UUID_ID", "XPTO_C", "xpto_outra"}));
  EXPECT_NE(texto.find(R"({"nome":"A\u00e7\u00e3o","campos":[{"nome":"Pre\u00e7o",)"), std::string::npos);
  for (const Json& t : doc["manifesto"]["tabelas"]) {
    SCOPED_TRACE(t["nome"].get<std::string>());
    EXPECT_EQ(SerializarJson(t), SerializarJson(EstruturaTabelaFb(*s_, t["nome"].get<std::string>())));
  }
  EXPECT_EQ(doc["manifesto"]["tabelas"][4]["qtdlinhas"], 0);  // EXT, which cannot be counted
  EXPECT_EQ(doc["manifesto"]["tabelas"][0]["qtdlinhas"], 1);

  // With the journal table in place its prefix leaves out every table that starts with it.
  s_->Executar("create table XPTO_J (ID BIGINT NOT NULL, TB INTEGER, SID CHAR(36), OP CHAR(1), TX BIGINT, TS TIMESTAMP)");
  const Json comPrefixo = Json::parse(MontarManifestoFb(sv.host, sv.porta, banco_->banco(), sv.usuario, sv.senha, ""));
  EXPECT_EQ(NomesDoManifesto(comPrefixo),
            (std::vector<std::string>{"A\"B", "A\xC3\xA7\xC3\xA3o", "CLIENTE", "CONTAGEM", "EXT", "SEM_CHAVE", "SO_UUID",
                                      "TIPOS", "UUID_ID"}));
  // A prefix given by the caller wins over the one in the database.
  const Json dado = Json::parse(MontarManifestoFb(sv.host, sv.porta, banco_->banco(), sv.usuario, sv.senha, "s"));
  EXPECT_EQ(NomesDoManifesto(dado),
            (std::vector<std::string>{"A\"B", "A\xC3\xA7\xC3\xA3o", "CLIENTE", "CONTAGEM", "EXT", "TIPOS", "UUID_ID",
                                      "XPTO_C", "XPTO_J", "xpto_outra"}));
}

TEST(ManifestoFb, BancoSemTabelasDeUsuario) {
  PastaTemp logs;
  DefinirPastaLog(logs.Caminho());
  BancoTeste banco(ServidorFb(), "vazio");
  const auto& sv = banco.servidor();
  EXPECT_EQ(MontarManifestoFb(sv.host, sv.porta, banco.banco(), sv.usuario, sv.senha, ""),
            R"({"manifesto":{"sgbd":"firebird3","tabelas":[]},"maquina":{"nome":"DEV-AGENTE","so":"Windows"}})");
  EXPECT_NE(LerArquivo(ArquivoLogDoDia()).find("manifesto montado: 0 tabelas"), std::string::npos);
}

TEST(ManifestoFb, FalhaDeConexaoChegaAoChamador) {
  const auto& sv = ServidorFb();
  const std::string caminho = sv.pasta + "/nao-existe-" + std::to_string(getpid()) + ".fdb";
  EXPECT_THROW(MontarManifestoFb(sv.host, sv.porta, caminho, sv.usuario, sv.senha, ""), EErroBanco);
  EXPECT_THROW(HashTabelaFb(sv.host, sv.porta, caminho, sv.usuario, sv.senha, "X"), EErroBanco);
}

}  // namespace
}  // namespace tw
