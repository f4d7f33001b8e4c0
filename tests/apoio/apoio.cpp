#include "apoio.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tw::teste {
namespace fs = std::filesystem;

namespace {

std::string Ambiente(const char* nome) {
  const char* v = std::getenv(nome);
  if (!v || !*v)
    throw std::runtime_error(std::string("variavel ") + nome +
                             " ausente: rode os testes por scripts/testar.sh (inicia os servidores)");
  return v;
}

std::string NomeUnico(const std::string& rotulo) {
  static std::atomic<int> contador{0};
  return "tw_" + rotulo + "_" + std::to_string(getpid()) + "_" + std::to_string(++contador);
}

}  // namespace

PastaTemp::PastaTemp() {
  std::string modelo = (fs::temp_directory_path() / "tidewell-teste-XXXXXX").string();
  if (!mkdtemp(modelo.data())) throw std::runtime_error("mkdtemp falhou");
  caminho_ = modelo;
}

PastaTemp::~PastaTemp() {
  std::error_code ec;
  // Tests may leave read-only folders behind; give them write permission back before removing.
  for (auto it = fs::recursive_directory_iterator(caminho_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(caminho_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(caminho_, ec);
}

std::string LerArquivo(const std::string& caminho) {
  std::ifstream in(caminho, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return std::move(ss).str();
}

const Servidor& ServidorPg() {
  static const Servidor s{"postgres", Ambiente("TW_PG_HOST"), std::stoi(Ambiente("TW_PG_PORTA")),
                          Ambiente("TW_PG_USUARIO"), Ambiente("TW_PG_SENHA"), {}};
  return s;
}

const Servidor& ServidorFb() {
  static const Servidor s{"firebird", Ambiente("TW_FB_HOST"), std::stoi(Ambiente("TW_FB_PORTA")),
                          Ambiente("TW_FB_USUARIO"), Ambiente("TW_FB_SENHA"), Ambiente("TW_FB_PASTA")};
  return s;
}

namespace {

void ExigirSucesso(const SaidaProcesso& r, const std::string& oque) {
  if (r.codigo != 0) throw std::runtime_error(oque + " falhou (codigo " + std::to_string(r.codigo) + "): " + r.saida);
}

SaidaProcesso Psql(const Servidor& s, const std::string& sql) {
  return RodarProcesso("/usr/bin/psql",
                       {"-h", s.host, "-p", std::to_string(s.porta), "-U", s.usuario, "-w", "-v", "ON_ERROR_STOP=1",
                        "-d", "postgres", "-c", sql},
                       "/", {}, {"PGPASSWORD=" + s.senha});
}

}  // namespace

BancoTeste::BancoTeste(const Servidor& servidor, const std::string& rotulo) : servidor_(servidor) {
  const std::string nome = NomeUnico(rotulo);
  if (servidor_.sgbd == "postgres") {
    banco_ = nome;
    ExigirSucesso(Psql(servidor_, "CREATE DATABASE " + banco_), "CREATE DATABASE " + banco_);
  } else {
    banco_ = servidor_.pasta + "/" + nome + ".fdb";
    const std::string sql = "CREATE DATABASE '" + servidor_.host + "/" + std::to_string(servidor_.porta) + ":" + banco_ +
                            "' USER '" + servidor_.usuario + "' PASSWORD '" + servidor_.senha +
                            "' PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8;\n";
    ExigirSucesso(RodarProcesso("/usr/bin/isql-fb", {"-q", "-bail"}, "/", sql), "CREATE DATABASE " + banco_);
  }
}

BancoTeste::~BancoTeste() {
  try {
    if (servidor_.sgbd == "postgres") {
      Psql(servidor_, "DROP DATABASE IF EXISTS " + banco_ + " WITH (FORCE)");
    } else {
      std::error_code ec;
      fs::remove(banco_, ec);
    }
  } catch (...) {
  }
}

SessaoPtr BancoTeste::Abrir() const {
  return AbrirConexao(servidor_.sgbd, servidor_.host, servidor_.porta, servidor_.senha, servidor_.usuario, banco_);
}

TConfigAgente BancoTeste::Config() const {
  TConfigAgente c;
  c.Sgbd = servidor_.sgbd == "postgres" ? "postgres" : "";
  c.LocalHost = servidor_.host;
  c.LocalPorta = servidor_.porta;
  c.LocalUsuario = servidor_.usuario;
  c.LocalSenha = servidor_.senha;
  c.LocalCaminho = banco_;
  return c;
}

SaidaProcesso RodarProcesso(const std::string& programa, const std::vector<std::string>& args,
                            const std::string& pastaTrabalho, const std::string& entrada,
                            const std::vector<std::string>& extraAmbiente) {
  int saida[2], ent[2];
  if (pipe2(saida, O_CLOEXEC) != 0 || pipe2(ent, O_CLOEXEC) != 0) throw std::runtime_error("pipe falhou");
  posix_spawn_file_actions_t acoes;
  posix_spawn_file_actions_init(&acoes);
  posix_spawn_file_actions_adddup2(&acoes, ent[0], 0);
  posix_spawn_file_actions_adddup2(&acoes, saida[1], 1);
  posix_spawn_file_actions_adddup2(&acoes, saida[1], 2);
  posix_spawn_file_actions_addchdir_np(&acoes, pastaTrabalho.c_str());

  std::vector<std::string> argTextos{programa};
  argTextos.insert(argTextos.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argTextos) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> ambTextos;
  for (char** e = environ; *e; ++e) ambTextos.emplace_back(*e);
  ambTextos.insert(ambTextos.end(), extraAmbiente.begin(), extraAmbiente.end());
  std::vector<char*> envp;
  for (auto& a : ambTextos) envp.push_back(a.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int erro = posix_spawn(&pid, programa.c_str(), &acoes, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&acoes);
  close(saida[1]);
  close(ent[0]);
  if (erro != 0) {
    close(saida[0]);
    close(ent[1]);
    throw std::runtime_error("posix_spawn " + programa + " falhou: " + std::to_string(erro));
  }
  if (!entrada.empty()) {
    ssize_t escrito = write(ent[1], entrada.data(), entrada.size());
    (void)escrito;
  }
  close(ent[1]);
  SaidaProcesso r;
  char buf[4096];
  for (;;) {
    ssize_t n = read(saida[0], buf, sizeof buf);
    if (n <= 0) break;
    r.saida.append(buf, static_cast<size_t>(n));
  }
  close(saida[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.codigo = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

std::string ProgramaConsole() {
#ifdef TIDEWELL_CONSOLE_BIN
  return TIDEWELL_CONSOLE_BIN;
#else
  return Ambiente("TW_CONSOLE_BIN");
#endif
}

}  // namespace tw::teste
