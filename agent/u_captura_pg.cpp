#include "u_captura_pg.h"

#include <exception>
#include <stdexcept>

#include "u_log.h"
#include "u_texto.h"

namespace tw {
namespace {

void RegistrarFalhaPg(const std::string& mensagem, const std::string& sql) {
  RegistrarLog("estrutura pg: " + mensagem + " | SQL: " + std::string(PrimeirosCaracteres(sql, 160)), true);
}

// A LIKE pattern that matches names beginning with the text literally (standard_conforming_strings
// keeps the backslash, which is LIKE's default escape character).
std::string PadraoComecaCom(const std::string& texto) {
  std::string r;
  for (char c : texto) {
    if (c == '_' || c == '%' || c == '\\') r += '\\';
    r += c;
  }
  return r + "%";
}

void GravarMapaPg(Sessao& s, const std::string& p, const std::string& chave, const std::string& valor) {
  s.Executar("insert into " + p + "c (k, v) values (:k, :v) on conflict (k) do update set v = excluded.v",
             {{"k", Valor::Texto(chave)}, {"v", Valor::Texto(valor)}});
}

// Drops the journal triggers of T other than `manter`, once `manter` exists: after a renumbering the
// table would otherwise keep its trigger of the old number and be journalled twice under two numbers.
void RemoverOutrosGatilhosJournalPg(Sessao& s, const std::string& p, const std::string& Q, const std::string& manter) {
  const std::string sql =
      "select t.tgname from pg_trigger t join pg_proc f on f.oid = t.tgfoid "
      "where t.tgrelid = cast(:q as regclass) and not t.tgisinternal and f.proname = :f and t.tgname <> :n "
      "and exists (select 1 from pg_trigger k where k.tgrelid = t.tgrelid and k.tgname = :n) "
      "order by t.tgname";
  Resultado r;
  try {
    r = s.Consultar(sql, {{"q", Valor::Texto(Q)}, {"f", Valor::Texto(p + "f_journal")}, {"n", Valor::Texto(manter)}});
  } catch (const std::exception& e) {
    RegistrarFalhaPg(e.what(), sql);
    return;
  }
  for (const auto& linha : r.linhas)
    ExecutarDdlPg(s, "drop trigger if exists " + IdentificadorExato(linha.at(0).ComoTexto()) + " on " + Q);
}

// A uuid column the table already had keeps its type and values but may lack a default; without
// one, new rows would carry no UUID and the journal function would skip them for good.
void GarantirPadraoUuidPg(Sessao& s, const std::string& T, const std::string& Q) {
  const std::string sql =
      "select 1 from information_schema.columns where table_schema = 'public' and table_name = :t "
      "and column_name = 'uuid' and column_default is null";
  try {
    if (s.Consultar(sql, {{"t", Valor::Texto(T)}}).Vazio()) return;
  } catch (const std::exception& e) {
    RegistrarFalhaPg(e.what(), sql);
    return;
  }
  ExecutarDdlPg(s, "alter table " + Q + " alter column uuid set default gen_random_uuid()");
}

}  // namespace

void ExecutarDdlPg(Sessao& s, const std::string& sql) {
  try {
    s.Executar(sql);
  } catch (const std::exception& e) {
    if (Minusculas(e.what()).find("already exists") == std::string::npos) RegistrarFalhaPg(e.what(), sql);
  }
}

void ListarTabelas(Sessao& s, const std::string& p, std::vector<std::string>& lista, TabelasMapeadas mapeadas) {
  if (p.empty())
    throw std::invalid_argument("ListarTabelas: prefixo vazio (a infra do Tidewell nao pode ser criada sem prefixo)");
  const std::string M = mapeadas == TabelasMapeadas::Excluir
                            ? " and not exists (select 1 from " + p + "c c where c.k like 'T%' " +
                                  "   and c.k <> 'qtdtabelas' and c.v = t.table_name) "
                            : std::string();
  const Resultado r = s.Consultar(
      "select t.table_name from information_schema.tables t  where t.table_schema = 'public' and t.table_type = "
      "'BASE TABLE'    and t.table_name not like " +
      LiteralSql(PadraoComecaCom(p)) + " " + M + " order by t.table_name");
  for (const auto& linha : r.linhas) lista.push_back(linha.at(0).ComoTexto());
}

void CriarObjetosBasePg(Sessao& s, const std::string& p) {
  ExecutarDdlPg(s, "create sequence if not exists " + p + "g");
  ExecutarDdlPg(s, "create table if not exists " + p + "j (" + " id bigint primary key default nextval('" + p +
                       "g')," + " tb integer not null," + " sid uuid not null," + " op char(1) not null," +
                       " tx bigint not null default txid_current()," + " ts timestamptz not null default now())");
  ExecutarDdlPg(s, "create index if not exists " + p + "j_tbsid on " + p + "j (tb, sid)");
  ExecutarDdlPg(s, "create table if not exists " + p + "c (k varchar(60) primary key, v text)");
  ExecutarDdlPg(s, "create or replace function " + p + "f_journal() returns trigger as $$" +
                       "declare v_sid uuid; begin " + "  if coalesce(current_setting('" + p +
                       ".aplicando', true), '') <> '' then " + "    return null; " + "  end if; " +
                       "  if (tg_op = 'DELETE') then v_sid := old.uuid; else v_sid := new.uuid; end if; " +
                       "  if v_sid is null then return null; end if; " + "  insert into " + p +
                       "j (tb, sid, op) values (" +
                       "    tg_argv[0]::int, v_sid, case tg_op when 'INSERT' then 'I' when 'UPDATE' then 'U' else "
                       "'D' end); " +
                       "  return null; " + "end; $$ language plpgsql");
}

void CapturarTabelaPg(Sessao& s, const std::string& p, const std::string& T, int64_t id) {
  const std::string Q = IdentificadorExato(T);
  const std::string NNNN = NumeroQuatroDigitos(id);
  const std::string ID = std::to_string(id);
  ExecutarDdlPg(s, "alter table " + Q + " add column if not exists uuid uuid default gen_random_uuid()");
  GarantirPadraoUuidPg(s, T, Q);
  ExecutarDdlPg(s, "update " + Q + " set uuid = gen_random_uuid() where uuid is null");
  ExecutarDdlPg(s, "create unique index if not exists " + p + "uq_" + NNNN + " on " + Q + " (uuid)");
  GravarMapaPg(s, p, "T" + ID, T);
  ExecutarDdlPg(s, "drop trigger if exists " + p + "t_" + NNNN + " on " + Q);
  ExecutarDdlPg(s, "create trigger " + p + "t_" + NNNN + " after insert or update or delete on " + Q +
                       " for each row execute function " + p + "f_journal(" + ID + ")");
  RemoverOutrosGatilhosJournalPg(s, p, Q, p + "t_" + NNNN);
}

int64_t ProximoIdTabelaPg(Sessao& s, const std::string& p) {
  return s
      .Escalar("select coalesce(max(substring(k from 2)::int), 0) + 1 from " + p + "c " +
               " where k like 'T%' and k <> 'qtdtabelas' and substring(k from 2) ~ '^[0-9]+$'")
      .ComoInteiro();
}

bool HaTabelasNovasPg(Sessao& s, const std::string& prefixo) {
  std::vector<std::string> lista;
  ListarTabelas(s, Minusculas(prefixo), lista, TabelasMapeadas::Excluir);
  return !lista.empty();
}

int ProvisionarTabelasNovasPg(Sessao& s, const std::string& prefixo, std::vector<std::string>* lista) {
  const std::string p = Minusculas(prefixo);
  std::vector<std::string> novas;
  ListarTabelas(s, p, novas, TabelasMapeadas::Excluir);
  if (novas.empty()) return 0;

  int64_t proximo = ProximoIdTabelaPg(s, p);
  int provisionadas = 0;
  for (const auto& T : novas) {
    CapturarTabelaPg(s, p, T, proximo);
    for (const std::string chave : {"cargadone:", "cargapos:"})
      s.Executar("insert into " + p + "c (k, v) values (:k, '') on conflict (k) do update set v = ''",
                 {{"k", Valor::Texto(chave + T)}});
    RegistrarLog("tabela nova provisionada (pg): \"" + T + "\" (id " + std::to_string(proximo) + ")");
    if (lista) lista->push_back(T);
    ++proximo;
    ++provisionadas;
  }
  GravarMapaPg(s, p, "qtdtabelas", std::to_string(proximo - 1));
  return provisionadas;
}

void CriarEstruturaPg(Sessao& s, const std::string& prefixo, const ProgressoEstrutura& progresso) {
  const std::string p = Minusculas(prefixo);
  if (!PrefixoValido(p)) throw std::invalid_argument("prefixo invalido: " + prefixo);

  CriarObjetosBasePg(s, p);
  RegistrarLog("objetos base criados (prefixo " + p + ")");

  std::vector<std::string> tabelas;
  ListarTabelas(s, p, tabelas, TabelasMapeadas::Incluir);
  const int total = static_cast<int>(tabelas.size());
  int numero = 0;
  for (const auto& T : tabelas) {
    ++numero;
    CapturarTabelaPg(s, p, T, numero);
    if (progresso) progresso(numero, total, T);
  }
  GravarMapaPg(s, p, "qtdtabelas", std::to_string(numero));
  RegistrarLog("estrutura Tidewell (Postgres) criada: " + std::to_string(numero) + " tabelas.");
}

}  // namespace tw
