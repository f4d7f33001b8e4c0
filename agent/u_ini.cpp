#include "u_ini.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "u_erros.h"
#include "u_plataforma.h"
#include "u_texto.h"

namespace tw {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct ArquivoIni {
  bool bom = false;
  std::string quebra = "\r\n";  // line break of the file (CR LF for new files)
  std::vector<std::string> linhas;
};

bool LerArquivo(const std::string& caminho, std::string& conteudo) {
  std::ifstream in(caminho, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  conteudo = std::move(ss).str();
  return true;
}

ArquivoIni Analisar(std::string_view conteudo) {
  ArquivoIni ini;
  if (conteudo.substr(0, kBom.size()) == kBom) {
    ini.bom = true;
    conteudo.remove_prefix(kBom.size());
  }
  size_t primeira = conteudo.find('\n');
  if (primeira != std::string_view::npos && (primeira == 0 || conteudo[primeira - 1] != '\r')) ini.quebra = "\n";
  size_t ini_linha = 0;
  while (ini_linha < conteudo.size()) {
    size_t fim = conteudo.find('\n', ini_linha);
    if (fim == std::string_view::npos) fim = conteudo.size();
    std::string_view linha = conteudo.substr(ini_linha, fim - ini_linha);
    if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
    ini.linhas.emplace_back(linha);
    ini_linha = fim + 1;
  }
  return ini;
}

// Section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string> NomeSecao(std::string_view linha) {
  std::string t = Aparar(linha);
  if (t.empty() || t[0] != '[') return std::nullopt;
  size_t fim = t.find(']');
  return Aparar(std::string_view(t).substr(1, fim == std::string::npos ? std::string::npos : fim - 1));
}

// Key name of a "key=value" line, or nullopt.
std::optional<std::string> NomeChave(std::string_view linha) {
  size_t igual = linha.find('=');
  if (igual == std::string_view::npos) return std::nullopt;
  return Aparar(linha.substr(0, igual));
}

// Lines [inicio, fim) of the first section with this name; inicio = index of its header.
struct Faixa {
  size_t inicio, fim;
};
std::optional<Faixa> AcharSecao(const ArquivoIni& ini, const std::string& secao) {
  for (size_t i = 0; i < ini.linhas.size(); ++i) {
    auto nome = NomeSecao(ini.linhas[i]);
    if (!nome || !IguaisSemCaixa(*nome, secao)) continue;
    size_t fim = i + 1;
    while (fim < ini.linhas.size() && !NomeSecao(ini.linhas[fim])) ++fim;
    return Faixa{i, fim};
  }
  return std::nullopt;
}

std::optional<size_t> AcharChave(const ArquivoIni& ini, const Faixa& f, const std::string& chave) {
  for (size_t i = f.inicio + 1; i < f.fim; ++i) {
    auto nome = NomeChave(ini.linhas[i]);
    if (nome && IguaisSemCaixa(*nome, chave)) return i;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> LerValorIni(const std::string& arquivo, const std::string& secao, const std::string& chave) {
  std::string conteudo;
  if (!LerArquivo(arquivo, conteudo)) return std::nullopt;
  ArquivoIni ini = Analisar(conteudo);
  auto faixa = AcharSecao(ini, secao);
  if (!faixa) return std::nullopt;
  auto linha = AcharChave(ini, *faixa, chave);
  if (!linha) return std::nullopt;
  const std::string& texto = ini.linhas[*linha];
  std::string valor = Aparar(std::string_view(texto).substr(texto.find('=') + 1));
  // Like the Windows functions: one pair of matching quotes around the value is dropped.
  if (valor.size() >= 2 && (valor.front() == '"' || valor.front() == '\'') && valor.back() == valor.front())
    valor = valor.substr(1, valor.size() - 2);
  return std::string(PrimeirosCaracteres(valor, kMaxValorIni));
}

void GravarValorIni(const std::string& arquivo, const std::string& secao, const std::string& chave,
                    const std::string& valor) {
  // A line break inside a value would smuggle other keys into the file.
  if (valor.find_first_of("\r\n") != std::string::npos || chave.find_first_of("\r\n=[") != std::string::npos ||
      secao.find_first_of("\r\n]") != std::string::npos)
    throw EErroSO(EINVAL, "nao foi possivel gravar " + arquivo + ": [" + secao + "] " + chave +
                              " contem quebra de linha ou caractere reservado");
  std::string conteudo;
  ArquivoIni ini;
  if (LerArquivo(arquivo, conteudo)) ini = Analisar(conteudo);

  auto faixa = AcharSecao(ini, secao);
  if (!faixa) {
    ini.linhas.push_back("[" + secao + "]");
    ini.linhas.push_back(chave + "=" + valor);
  } else if (auto linha = AcharChave(ini, *faixa, chave)) {
    std::string& texto = ini.linhas[*linha];
    texto = Aparar(std::string_view(texto).substr(0, texto.find('='))) + "=" + valor;
  } else {
    size_t pos = faixa->fim;
    while (pos > faixa->inicio + 1 && Aparar(ini.linhas[pos - 1]).empty()) --pos;
    ini.linhas.insert(ini.linhas.begin() + static_cast<std::ptrdiff_t>(pos), chave + "=" + valor);
  }

  std::string saida;
  if (ini.bom) saida += kBom;
  for (const auto& l : ini.linhas) {
    saida += l;
    saida += ini.quebra;
  }
  SubstituirArquivo(arquivo, saida);
}

}  // namespace tw
