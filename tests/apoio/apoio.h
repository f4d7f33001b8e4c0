#pragma once
// Support for the tests: temporary folders, connection values of the test servers started by
// scripts/servidores.sh, and throwaway databases on them.
#include <string>
#include <vector>

#include "u_db.h"

namespace tw::teste {

// A fresh folder under /tmp, removed with its content when the object goes away.
class PastaTemp {
 public:
  PastaTemp();
  ~PastaTemp();
  PastaTemp(const PastaTemp&) = delete;
  PastaTemp& operator=(const PastaTemp&) = delete;
  const std::string& Caminho() const { return caminho_; }
  std::string Arquivo(const std::string& nome) const { return caminho_ + "/" + nome; }

 private:
  std::string caminho_;
};

// The whole content of a file as bytes; empty when it cannot be read.
std::string LerArquivo(const std::string& caminho);

// Connection values of one test server (read from the environment the test script sets:
// TW_PG_HOST/PORTA/USUARIO/SENHA, TW_FB_HOST/PORTA/USUARIO/SENHA/PASTA).
struct Servidor {
  std::string sgbd;     // "postgres" or "firebird"
  std::string host;
  int porta = 0;
  std::string usuario;
  std::string senha;
  std::string pasta;    // Firebird: folder where the server may create database files
};
const Servidor& ServidorPg();
const Servidor& ServidorFb();

// A throwaway database with a unique name, created in the constructor and dropped in the
// destructor. banco = PostgreSQL database name or Firebird file path (as the server sees it).
class BancoTeste {
 public:
  explicit BancoTeste(const Servidor& servidor, const std::string& rotulo = "t");
  ~BancoTeste();
  BancoTeste(const BancoTeste&) = delete;
  BancoTeste& operator=(const BancoTeste&) = delete;

  const Servidor& servidor() const { return servidor_; }
  const std::string& banco() const { return banco_; }
  SessaoPtr Abrir() const;
  // A configuration that points at this database (Sgbd, host, port, user, password, path).
  TConfigAgente Config() const;

 private:
  const Servidor& servidor_;
  std::string banco_;
};

// Runs a program with arguments in a working folder; returns exit code and standard output.
struct SaidaProcesso {
  int codigo = -1;
  std::string saida;
};
// extraAmbiente: "NAME=value" entries added to the environment.
SaidaProcesso RodarProcesso(const std::string& programa, const std::vector<std::string>& args,
                            const std::string& pastaTrabalho, const std::string& entrada = {},
                            const std::vector<std::string>& extraAmbiente = {});

// The built console program.
std::string ProgramaConsole();

}  // namespace tw::teste
