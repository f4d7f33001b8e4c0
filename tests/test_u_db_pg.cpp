// What only the PostgreSQL back-end of the session layer does: its dialect of parameters, types the
// other server lacks, session settings and the server's handling of failed transactions.
#include <gtest/gtest.h>

#include "apoio.h"
#include "u_db.h"
#include "u_erros.h"

namespace tw {
namespace {

using teste::BancoTeste;

class UDbPg : public ::testing::Test {
 protected:
  void SetUp() override { s_ = banco_.Abrir(); }

  BancoTeste banco_{teste::ServidorPg(), "udbpg"};
  SessaoPtr s_;
};

TEST_F(UDbPg, CastsCorposDolarEAtribuicoesConvivemComParametros) {
  EXPECT_EQ(s_->Escalar("select :x::int + 1", {{"x", Valor::Texto("41")}}).inteiro, 42);
  EXPECT_EQ(s_->Escalar("select :a::text || $$:b ?$$ || $t$ :c $t$", {{"a", Valor::Texto("v")}}).texto, "v:b ? :c ");
  // Without parameters a statement goes as written, colons of a function body included.
  s_->Executar(
      "create function dobro(n integer) returns integer language plpgsql as $$ declare r integer; begin r := n * 2; "
      "return r; end $$");
  EXPECT_EQ(s_->Escalar("select dobro(:n)", {{"n", Valor::Inteiro(21)}}).inteiro, 42);
  // Integers bind as int4 where they fit, so integer-typed function arguments accept them.
  EXPECT_EQ(s_->Escalar("select repeat('ab', ?)", {{"", Valor::Inteiro(3)}}).texto, "ababab");
  EXPECT_EQ(s_->Escalar("select ? + 1", {{"", Valor::Inteiro(int64_t{1} << 40)}}).inteiro, (int64_t{1} << 40) + 1);
}

TEST_F(UDbPg, TextoTomaOTipoQueAInstrucaoPede) {
  s_->Executar("create table t (u uuid, d date, dh timestamptz, n numeric, v varchar(10))");
  s_->Executar("insert into t values (:u, :d, :dh, :n, :v)",
               {{"u", Valor::Texto("25B164BA-6A50-4D5E-9C3E-0123456789AB")}, {"d", Valor::Texto("2024-03-05")},
                {"dh", Valor::Texto("2024-03-05 14:07:09.5+00")}, {"n", Valor::Texto("1.50")}, {"v", Valor::Inteiro(7)}});
  s_->Executar("set time zone 'UTC'");
  const Resultado r = s_->Consultar("select u, d, dh, n, v from t");
  ASSERT_EQ(r.linhas.size(), 1u);
  EXPECT_EQ(r.Campo(0, "u").tipo, TipoValor::Texto);
  EXPECT_EQ(r.Campo(0, "u").texto, "25b164ba-6a50-4d5e-9c3e-0123456789ab");
  EXPECT_EQ(r.Campo(0, "d").dataHora, (TDataHora{2024, 3, 5, 0, 0, 0, 0}));
  EXPECT_EQ(r.Campo(0, "dh").tipo, TipoValor::DataHora);
  EXPECT_EQ(r.Campo(0, "dh").dataHora, (TDataHora{2024, 3, 5, 14, 7, 9, 500}));
  EXPECT_EQ(r.Campo(0, "n").texto, "1.50");
  EXPECT_EQ(r.colunas[3].escala, 0);  // unconstrained numeric
  EXPECT_EQ(r.Campo(0, "v").texto, "7");
  EXPECT_EQ(r.colunas[0].tipoNativo, 2950);
}

TEST_F(UDbPg, ValoresForaDoAlcanceDosTiposChegamComoTexto) {
  const Resultado r = s_->Consultar(
      "select 'infinity'::timestamp a, '14:07:09.123456+03'::timetz b, 'NaN'::numeric c, "
      "'Infinity'::float8 d, interval '1 day' e, '2024-03-05 BC'::date f");
  EXPECT_EQ(r.Campo(0, "a").tipo, TipoValor::Texto);
  EXPECT_EQ(r.Campo(0, "a").texto, "infinity");
  EXPECT_EQ(r.Campo(0, "b").dataHora, (TDataHora{1899, 12, 30, 14, 7, 9, 123}));
  EXPECT_EQ(r.Campo(0, "c").tipo, TipoValor::Decimal);
  EXPECT_EQ(r.Campo(0, "c").texto, "NaN");
  EXPECT_EQ(r.Campo(0, "d").real, std::numeric_limits<double>::infinity());
  EXPECT_EQ(r.Campo(0, "e").texto, "1 day");
  EXPECT_EQ(r.Campo(0, "f").tipo, TipoValor::Texto);
}

TEST_F(UDbPg, EstiloDeDataDoServidorNaoMudaALeitura) {
  s_->Executar("alter database " + banco_.banco() + " set datestyle = 'German, DMY'");
  s_->Executar("alter database " + banco_.banco() + " set extra_float_digits = 0");
  SessaoPtr nova = banco_.Abrir();
  const Resultado r = nova->Consultar("select date '2024-03-05' d, timestamp '2024-03-05 01:02:03.004' dh, 0.1::float8 + 0.2 f");
  EXPECT_EQ(r.Campo(0, "d").dataHora, (TDataHora{2024, 3, 5, 0, 0, 0, 0}));
  EXPECT_EQ(r.Campo(0, "dh").dataHora, (TDataHora{2024, 3, 5, 1, 2, 3, 4}));
  EXPECT_EQ(r.Campo(0, "f").real, 0.1 + 0.2);
}

TEST_F(UDbPg, ConfirmarDepoisDeUmaFalhaNaoPassaPorSucesso) {
  s_->Executar("create table t (id integer primary key)");
  {
    Transacao t(*s_);
    s_->Executar("insert into t values (1)");
    EXPECT_THROW(s_->Executar("insert into t values (1)"), EErroBanco);
    try {
      t.Confirmar();
      ADD_FAILURE() << "sem erro";
    } catch (const EErroBanco& e) {
      EXPECT_EQ(e.SqlState(), "25P02");
    }
  }
  EXPECT_FALSE(s_->EmTransacao());
  EXPECT_EQ(s_->Escalar("select count(*) from t").inteiro, 0);
}

TEST_F(UDbPg, UsoIndevidoDeTransacaoESavepointEDetectado) {
  s_->IniciarTransacao();
  EXPECT_THROW(s_->IniciarTransacao(), EErroBanco);
  EXPECT_THROW(s_->CriarSavepoint("x; drop table t"), EErroBanco);
  s_->Desfazer();
  EXPECT_THROW(s_->Confirmar(), EErroBanco);
  EXPECT_NO_THROW(s_->Desfazer());
  // A text parameter cannot carry a NUL byte to the server; it would be cut silently.
  try {
    s_->Escalar("select ?", {{"", Valor::Texto(std::string("a\0b", 3))}});
    ADD_FAILURE() << "sem erro";
  } catch (const EErroBanco& e) {
    EXPECT_STREQ(e.what(), "texto com caractere nulo (0x00) nao pode ser enviado ao PostgreSQL");
  }
}

}  // namespace
}  // namespace tw
