#pragma once
// Helpers shared by the tests of the capture units: the log of one test and the journal rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "apoio.h"
#include "u_db.h"
#include "u_log.h"
#include "u_texto.h"

namespace tw::teste {

// Sends the log of one test to its own folder and reads back what was written.
class LogDoTeste {
 public:
  LogDoTeste() { DefinirPastaLog(pasta_.Arquivo("logs")); }
  ~LogDoTeste() { DefinirPastaLog(""); }
  LogDoTeste(const LogDoTeste&) = delete;
  LogDoTeste& operator=(const LogDoTeste&) = delete;

  // Every line of the day without its time stamp: "[ERRO] " + message for error lines, else the message.
  std::vector<std::string> Mensagens() const {
    std::ifstream in(ArquivoLogDoDia(), std::ios::binary);
    std::vector<std::string> r;
    for (std::string linha; std::getline(in, linha);) {
      if (!linha.empty() && linha.back() == '\r') linha.pop_back();
      r.push_back(linha.size() > 21 ? linha.substr(21) : linha);
    }
    return r;
  }
  bool Tem(std::string_view mensagem) const {
    const auto m = Mensagens();
    return std::find(m.begin(), m.end(), mensagem) != m.end();
  }
  // Lines that begin with the text.
  std::vector<std::string> ComecandoCom(std::string_view inicio) const {
    std::vector<std::string> r;
    for (auto& m : Mensagens())
      if (m.compare(0, inicio.size(), inicio) == 0) r.push_back(m);
    return r;
  }
  std::string Tudo() const {
    std::string t;
    for (auto& m : Mensagens()) t += m + "\n";
    return t;
  }

 private:
  PastaTemp pasta_;
};

// One journal row.
struct LinhaJournal {
  int64_t tb = 0;
  std::string sid;
  std::string op;
  int64_t tx = 0;
  friend bool operator==(const LinhaJournal&, const LinhaJournal&) = default;
  friend std::ostream& operator<<(std::ostream& o, const LinhaJournal& l) {
    return o << "{tb " << l.tb << ", sid " << l.sid << ", op " << l.op << ", tx " << l.tx << "}";
  }
};

// Journal rows of table `journal` (P+"J" or p+"j") in id order.
inline std::vector<LinhaJournal> LerJournal(Sessao& s, const std::string& journal) {
  const std::string sid = s.EhPostgres() ? "cast(sid as text)" : "sid";
  std::vector<LinhaJournal> r;
  for (auto& l : s.Consultar("select tb, " + sid + ", op, tx from " + journal + " order by id").linhas)
    r.push_back({l[0].ComoInteiro(), Aparar(l[1].ComoTexto()), Aparar(l[2].ComoTexto()), l[3].ComoInteiro()});
  return r;
}

// Value of a control-map key; nullopt when the key is absent.
inline std::optional<std::string> LerMapa(Sessao& s, const std::string& mapa, const std::string& chave) {
  const std::string v = s.EhPostgres() ? "v" : "cast(v as varchar(200))";
  const Resultado r = s.Consultar("select " + v + " from " + mapa + " where k = :k", {{"k", Valor::Texto(chave)}});
  if (r.Vazio()) return std::nullopt;
  return r.linhas[0][0].ComoTexto();
}

}  // namespace tw::teste
