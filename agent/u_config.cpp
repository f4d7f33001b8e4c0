#include "u_config.h"

#include <sys/stat.h>

#include "u_base64.h"
#include "u_dpapi.h"
#include "u_erros.h"
#include "u_ini.h"
#include "u_plataforma.h"
#include "u_texto.h"

namespace tw {
namespace {

constexpr int32_t kPortaPadraoFb = 3050;

std::string Ler(const std::string& arquivo, const char* secao, const char* chave, const std::string& padrao) {
  return LerValorIni(arquivo, secao, chave).value_or(padrao);
}

// A port in the file: decimal, or hexadecimal after "0x"; anything else is 3050.
int32_t PortaDoIni(const std::string& texto) {
  std::optional<int64_t> v;
  if (texto.size() > 2 && texto[0] == '0' && (texto[1] == 'x' || texto[1] == 'X')) {
    int64_t r = 0;
    for (size_t i = 2; i < texto.size(); ++i) {
      char c = texto[i];
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0 || r > (INT32_MAX >> 4)) return kPortaPadraoFb;
      r = r * 16 + d;
    }
    v = r;
  } else {
    v = LerInteiro(texto);
  }
  if (!v || *v < INT32_MIN || *v > INT32_MAX) return kPortaPadraoFb;
  return static_cast<int32_t>(*v);
}

}  // namespace

std::string CaminhoConfig(const std::string& nome) {
  if (nome.find(kSeparador) != std::string::npos) return nome;
  return PastaPrograma() + nome;
}

int32_t PortaDeTexto(const std::string& texto) {
  auto v = LerInteiro(texto);
  if (!v || *v < INT32_MIN || *v > INT32_MAX) return kPortaPadraoFb;
  return static_cast<int32_t>(*v);
}

bool CarregarConfig(const std::string& nome, TConfigAgente& cfg) {
  cfg = TConfigAgente{};
  const std::string arquivo = CaminhoConfig(nome);
  struct stat st {};
  if (::stat(arquivo.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  cfg.Endpoint = Ler(arquivo, "api", "endpoint", "");
  cfg.LocalHost = Ler(arquivo, "local", "host", "127.0.0.1");
  auto porta = LerValorIni(arquivo, "local", "porta");
  cfg.LocalPorta = porta ? PortaDoIni(*porta) : kPortaPadraoFb;
  cfg.LocalCaminho = Ler(arquivo, "local", "caminho", "");
  cfg.LocalUsuario = Ler(arquivo, "local", "usuario", "SYSDBA");
  cfg.LocalSenha = DesprotegerTexto(Ler(arquivo, "local", "senha", ""));
  cfg.Sgbd = Ler(arquivo, "local", "sgbd", "");
  cfg.Token = DesprotegerTexto(Ler(arquivo, "agente", "token", ""));
  cfg.AgenteUUID = Ler(arquivo, "agente", "uuid", "");
  cfg.Prefixo = Ler(arquivo, "agente", "prefixo", "");
  return true;
}

void SalvarConfig(const std::string& nome, const TConfigAgente& cfg) {
  const std::string arquivo = CaminhoConfig(nome);
  GravarValorIni(arquivo, "api", "endpoint", cfg.Endpoint);
  GravarValorIni(arquivo, "local", "host", cfg.LocalHost);
  GravarValorIni(arquivo, "local", "porta", std::to_string(cfg.LocalPorta));
  GravarValorIni(arquivo, "local", "caminho", cfg.LocalCaminho);
  GravarValorIni(arquivo, "local", "usuario", cfg.LocalUsuario);
  GravarValorIni(arquivo, "local", "sgbd", cfg.Sgbd);
  if (!cfg.LocalSenha.empty()) GravarValorIni(arquivo, "local", "senha", ProtegerTexto(cfg.LocalSenha));
  if (!cfg.Token.empty()) GravarValorIni(arquivo, "agente", "token", ProtegerTexto(cfg.Token));
  GravarValorIni(arquivo, "agente", "uuid", cfg.AgenteUUID);
  GravarValorIni(arquivo, "agente", "prefixo", cfg.Prefixo);
}

std::string ProtegerTexto(const std::string& texto) { return CodificarBase64(ProtegerDados(texto)); }

std::string DesprotegerTexto(const std::string& texto) {
  if (texto.empty()) return {};
  auto blob = DecodificarBase64(texto);
  if (!blob) throw EErroSO(13, "O valor protegido nao e Base64 valido.");
  return DesprotegerDados(*blob);
}

}  // namespace tw
