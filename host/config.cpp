#include "host/config.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/rtl/exceptions.h"

extern char **environ;

namespace kdr::host {

const char *const usageText =
    "uso: kdr-host [opções]\n"
    "  --server [https://]HOST[:PORTA]  servidor de aplicação (KDR_SERVER, padrão 127.0.0.1:8020);\n"
    "                         com https://, o certificado do servidor é verificado\n"
    "  --ca ARQUIVO           autoridade do certificado do servidor, se não for do sistema (KDR_CA)\n"
    "  --allow-plain-http     aceita HTTP sem TLS para um endereço que não é desta máquina\n"
    "  --port PORTA           porta do servidor (KDR_SERVER_PORT)\n"
    "  --token SENHA          senha exigida pelo servidor (KDR_TOKEN)\n"
    "  --operator CÓDIGO      operador que entra no sistema (KDR_OPERATOR); sem ele, a janela de\n"
    "                         entrada pergunta operador e senha\n"
    "  --password-file ARQ    senha do operador na primeira linha do arquivo (ou KDR_PASSWORD)\n"
    "  --local-db ARQUIVO     banco local do host (KDR_LOCAL_DB)\n"
    "  --module ARQUIVO       pacote do módulo (KDR_MODULE, padrão libkdr03020.so ao lado do programa)\n"
    "  --server-program ARQ   kdr-server usado por --demo (KDR_SERVER_PROGRAM)\n"
    "  --demo                 inicia um kdr-server próprio com dados de demonstração e entra como o\n"
    "                         supervisor de demonstração (a menos que --operator diga outro)\n"
    "  --headless             sem janelas (o padrão quando não há display)\n"
    "  --script ARQUIVO       executa um roteiro e termina\n"
    "  --screenshot ARQ.png   salva a janela na linha snapshot do roteiro, ou depois dele (ou ao\n"
    "                         iniciar), e termina\n"
    "  --qt-library ARQUIVO   janelas Qt (KDR_QT_LIBRARY, padrão libkdr-qt.so ao lado do programa)\n"
    "  --version              mostra a versão e termina\n"
    "Com display (DISPLAY, WAYLAND_DISPLAY) ou QT_QPA_PLATFORM, abre as janelas Qt; sem display,\n"
    "use xvfb-run -a kdr-host, ou QT_QPA_PLATFORM=offscreen com --screenshot.\n";

namespace {

// The first line of the file, without its line break.
std::string passwordIn(const std::string &path) {
  std::ifstream in(path);
  if (!in) throw Exception("Não foi possível ler o arquivo de senha " + path);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int parsePort(const std::string &text, const std::string &what) {
  int port = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (ec != std::errc() || end != text.data() + text.size() || port <= 0 || port > 65535)
    throw Exception("Porta inválida em " + what + ": " + text);
  return port;
}

// "host", "host:port" or ":port", each optionally after "https://" or "http://" (plain HTTP when
// no scheme is written: a server named again is named whole).
void applyServer(HostConfig &config, std::string text, const std::string &what) {
  config.tls = false;
  for (const char *scheme : {"https://", "http://"})
    if (text.rfind(scheme, 0) == 0) {
      config.tls = std::string_view(scheme) == "https://";
      text = text.substr(std::string_view(scheme).size());
    }
  auto colon = text.rfind(':');
  if (colon == std::string::npos) {
    config.serverHost = text;
    return;
  }
  if (colon > 0) config.serverHost = text.substr(0, colon);
  config.serverPort = parsePort(text.substr(colon + 1), what);
}

bool onThisMachine(const std::string &host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

std::string defaultLocalDb(const std::map<std::string, std::string> &env) {
  std::filesystem::path base;
  if (auto it = env.find("XDG_DATA_HOME"); it != env.end() && !it->second.empty())
    base = it->second;
  else if (auto home = env.find("HOME"); home != env.end() && !home->second.empty())
    base = std::filesystem::path(home->second) / ".local" / "share";
  else
    base = std::filesystem::temp_directory_path();
  return (base / "kdr" / "kdr-local.db").string();
}

} // namespace

std::string programFolder() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : self.parent_path().string();
}

bool hasDisplay(const std::map<std::string, std::string> &env) {
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (auto it = env.find(name); it != env.end() && !it->second.empty()) return true;
  return false;
}

std::map<std::string, std::string> processEnvironment() {
  std::map<std::string, std::string> env;
  for (char **entry = environ; *entry; ++entry) {
    std::string line(*entry);
    auto eq = line.find('=');
    if (eq != std::string::npos) env.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  return env;
}

HostConfig parseConfig(const std::vector<std::string> &args, const std::map<std::string, std::string> &env) {
  HostConfig config;
  auto fromEnv = [&](const char *name) -> const std::string * {
    auto it = env.find(name);
    return it != env.end() && !it->second.empty() ? &it->second : nullptr;
  };
  if (auto v = fromEnv("KDR_SERVER")) applyServer(config, *v, "KDR_SERVER");
  if (auto v = fromEnv("KDR_SERVER_PORT")) config.serverPort = parsePort(*v, "KDR_SERVER_PORT");
  if (auto v = fromEnv("KDR_TOKEN")) config.token = *v;
  if (auto v = fromEnv("KDR_CA")) config.caFile = *v;
  if (auto v = fromEnv("KDR_OPERATOR")) config.operatorCode = *v;
  if (auto v = fromEnv("KDR_PASSWORD")) config.password = *v;
  if (auto v = fromEnv("KDR_LOCAL_DB")) config.localDb = *v;
  if (auto v = fromEnv("KDR_MODULE")) config.modulePath = *v;
  if (auto v = fromEnv("KDR_SERVER_PROGRAM")) config.serverProgram = *v;
  if (auto v = fromEnv("KDR_QT_LIBRARY")) config.qtLibrary = *v;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    auto value = [&]() -> const std::string & {
      if (i + 1 >= args.size()) throw Exception("Falta o valor de " + arg);
      return args[++i];
    };
    if (arg == "--server")
      applyServer(config, value(), arg);
    else if (arg == "--port")
      config.serverPort = parsePort(value(), arg);
    else if (arg == "--token")
      config.token = value();
    else if (arg == "--ca")
      config.caFile = value();
    else if (arg == "--allow-plain-http")
      config.allowPlainHttp = true;
    else if (arg == "--operator")
      config.operatorCode = value();
    else if (arg == "--password-file")
      config.password = passwordIn(value());
    else if (arg == "--local-db")
      config.localDb = value();
    else if (arg == "--module")
      config.modulePath = value();
    else if (arg == "--server-program")
      config.serverProgram = value();
    else if (arg == "--qt-library")
      config.qtLibrary = value();
    else if (arg == "--script")
      config.script = value();
    else if (arg == "--screenshot")
      config.screenshot = value();
    else if (arg == "--headless")
      config.headless = true;
    else if (arg == "--demo")
      config.demo = true;
    else if (arg == "--help" || arg == "-h")
      config.help = true;
    else if (arg == "--version")
      config.version = true;
    else
      throw Exception("Opção desconhecida: " + arg);
  }

  // A scenario needs no window; the desktop without a display is refused by the host, which says how.
  if (!config.script.empty() && !hasDisplay(env)) config.headless = true;
  if (!config.screenshot.empty() && config.headless)
    throw Exception(
        "--screenshot precisa das janelas Qt: rode com display ou QT_QPA_PLATFORM=offscreen, sem --headless");
  // The password and every billing text would cross the network in the clear.
  if (!config.tls && !config.allowPlainHttp && !config.demo && !onThisMachine(config.serverHost))
    throw Exception(
        "O servidor " + config.serverHost +
        " não é desta máquina: use --server https://... ou aceite o risco com --allow-plain-http");
  if (config.localDb.empty()) config.localDb = defaultLocalDb(env);
  if (config.modulePath.empty()) config.modulePath = programFolder() + "/libkdr03020.so";
  if (config.serverProgram.empty()) config.serverProgram = programFolder() + "/kdr-server";
  if (config.qtLibrary.empty()) config.qtLibrary = programFolder() + "/libkdr-qt.so";
  return config;
}

} // namespace kdr::host
