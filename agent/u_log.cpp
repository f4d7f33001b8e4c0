#include "u_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "u_erros.h"
#include "u_plataforma.h"
#include "u_texto.h"

namespace tw {
namespace fs = std::filesystem;

namespace {

constexpr size_t kJanelaDigest = 4194304;

std::mutex g_mutex;
std::string g_pasta;
bool g_eco = false;

std::tm HoraLocal(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

std::string Formatar(const std::tm& tm, const char* formato) {
  char buf[32];
  size_t n = std::strftime(buf, sizeof buf, formato, &tm);
  return std::string(buf, n);
}

std::string Agora() { return Formatar(HoraLocal(std::time(nullptr)), "%Y-%m-%d %H:%M:%S"); }

std::string ArquivoDoDia(std::time_t t) {
  return JuntarCaminho(g_pasta, "ag_" + Formatar(HoraLocal(t), "%Y%m%d") + ".txt");
}

// One open-append-close, other writers denied while the file is open; a line that cannot be
// written is lost.
void Anexar(const std::string& arquivo, const std::string& bytes) {
  int fd = ::open(arquivo.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    (void)n;
  }
  ::close(fd);
}

bool TemNomeDeLog(const std::string& nome) {
  if (nome.size() < 7) return false;
  return IguaisSemCaixa(std::string_view(nome).substr(0, 3), "ag_") &&
         IguaisSemCaixa(std::string_view(nome).substr(nome.size() - 4), ".txt");
}

std::string LerArquivoSeExiste(const std::string& caminho) {
  std::error_code ec;
  if (!fs::exists(caminho, ec)) return {};
  std::ifstream in(caminho, std::ios::binary);
  if (!in) throw std::runtime_error("nao foi possivel abrir " + caminho);
  std::ostringstream ss;
  ss << in.rdbuf();
  return std::move(ss).str();
}

void RemoverTodas(std::string& s, std::string_view alvo) {
  std::string maiusc = Maiusculas(s);
  std::string r;
  r.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    if (maiusc.compare(i, alvo.size(), alvo) == 0) {
      i += alvo.size();
    } else {
      r += s[i++];
    }
  }
  s = std::move(r);
}

bool TemCarimbo(std::string_view linha) {
  return linha.size() > 18 && ContarCaracteres(linha.substr(0, 19)) == 19 && linha[4] == '-';
}

// Driver messages span several lines; inside a log line they would lose the time stamp and the
// error marker on every line but the first, and the digest would drop them.
std::string NumaLinha(const std::string& mensagem) {
  if (mensagem.find_first_of("\r\n") == std::string::npos) return mensagem;
  std::string r;
  r.reserve(mensagem.size() + 16);
  for (size_t i = 0; i < mensagem.size(); ++i) {
    char c = mensagem[i];
    if (c != '\r' && c != '\n') {
      r += c;
      continue;
    }
    if (c == '\r' && i + 1 < mensagem.size() && mensagem[i + 1] == '\n') ++i;
    if (i + 1 < mensagem.size()) r += " | ";
  }
  return r;
}

}  // namespace

void DefinirPastaLog(const std::string& pasta) {
  {
    std::lock_guard lock(g_mutex);
    g_pasta = pasta;
  }
  std::error_code ec;
  if (!pasta.empty() && !fs::is_directory(pasta, ec)) {
    fs::create_directories(pasta, ec);
    if (ec || !fs::is_directory(pasta))
      throw EErroSO(ec ? ec.value() : ENOTDIR,
                    "nao foi possivel criar a pasta de log " + pasta + ": " + (ec ? ec.message() : "nao e uma pasta"));
  }
  LimparLogsAntigos(30);
}

std::string PastaLog() {
  std::lock_guard lock(g_mutex);
  return g_pasta;
}

void DefinirEcoConsole(bool ligado) {
  std::lock_guard lock(g_mutex);
  g_eco = ligado;
}

void LimparLogsAntigos(int dias) {
  try {
    const std::string pasta = PastaLog();
    const fs::path dir = pasta.empty() ? fs::path(".") : fs::path(pasta);
    if (!fs::is_directory(dir)) return;
    const auto limite = fs::file_time_type::clock::now() - std::chrono::hours(24) * dias;
    for (const auto& entrada : fs::directory_iterator(dir)) {
      if (!entrada.is_regular_file() || !TemNomeDeLog(entrada.path().filename().string())) continue;
      if (entrada.last_write_time() < limite) fs::remove(entrada.path());
    }
  } catch (...) {
    // The purge is best effort: whatever was not examined stays for the next start.
  }
}

std::string ArquivoLogDoDia() {
  std::lock_guard lock(g_mutex);
  return ArquivoDoDia(std::time(nullptr));
}

void RegistrarLog(const std::string& mensagem, bool erro) {
  try {
    std::string linha = Agora() + "  " + (erro ? "[ERRO] " : "") + NumaLinha(mensagem);
    std::lock_guard lock(g_mutex);
    if (g_eco) std::cout << linha << std::endl;
    Anexar(ArquivoDoDia(std::time(nullptr)), linha + "\r\n");
  } catch (...) {
    // Logging never fails towards the caller.
  }
}

void GravarCheckpoint() {
  try {
    const std::string arquivo = JuntarCaminho(PastaLog(), "checkpoint.txt");
    const std::string conteudo = "\xEF\xBB\xBF" + Agora();
    int fd = ::open(arquivo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ssize_t n = ::write(fd, conteudo.data(), conteudo.size());
    (void)n;
    ::close(fd);
  } catch (...) {
  }
}

std::string NormalizarLinhaErro(const std::string& linha) {
  std::string s = linha;
  if (TemCarimbo(s) && s[7] == '-' && s[10] == ' ') s.erase(0, 19);
  RemoverTodas(s, "[ERRO]");
  s = Minusculas(s);
  for (char& c : s)
    if (c >= '0' && c <= '9') c = '#';
  return Aparar(s);
}

std::string ErrosRecentes(size_t maxCaracteres) {
  const std::string pasta = PastaLog();
  if (pasta.empty()) return {};
  try {
    const std::time_t agora = std::time(nullptr);
    std::string texto;
    {
      std::lock_guard lock(g_mutex);
      texto = LerArquivoSeExiste(ArquivoDoDia(agora - 24 * 60 * 60)) + LerArquivoSeExiste(ArquivoDoDia(agora));
    }
    std::string_view janela = UltimosCaracteres(texto, kJanelaDigest);

    struct Entrada {
      std::string linha;
      int contagem;
      std::string ultimaHora;
    };
    std::vector<Entrada> entradas;
    std::unordered_map<std::string, size_t> indice;
    size_t ini = 0;
    while (ini < janela.size()) {
      size_t fim = janela.find('\n', ini);
      if (fim == std::string_view::npos) fim = janela.size();
      std::string_view linha = janela.substr(ini, fim - ini);
      if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
      ini = fim + 1;
      if (linha.find("[ERRO]") == std::string_view::npos) continue;
      std::string chave = NormalizarLinhaErro(std::string(linha));
      if (chave.empty()) continue;
      std::string hora = TemCarimbo(linha) ? std::string(linha.substr(0, 19)) : std::string();
      auto [it, nova] = indice.try_emplace(chave, entradas.size());
      if (nova) {
        entradas.push_back({ApararDireita(linha), 1, hora});
      } else {
        Entrada& e = entradas[it->second];
        ++e.contagem;
        if (!hora.empty()) e.ultimaHora = hora;
      }
    }

    std::string digest;
    for (const auto& e : entradas) {
      digest += e.linha;
      if (e.contagem > 1) digest += "  [repetido " + std::to_string(e.contagem) + "x ate " + e.ultimaHora + "]";
      digest += "\r\n";
    }
    if (Aparar(digest).empty()) return {};
    if (ContarCaracteres(digest) > maxCaracteres)
      return "...(truncado)...\r\n" + std::string(UltimosCaracteres(digest, maxCaracteres));
    return digest;
  } catch (const std::exception& e) {
    return std::string("falha ao ler erros do log: ") + e.what();
  }
}

}  // namespace tw
