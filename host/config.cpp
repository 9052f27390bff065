#include "host/config.h"

#include <charconv>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

#include "platform/rtl/exceptions.h"

extern char **environ;

namespace kdr::host {

const char *const usageText =
    "uso: kdr-host [opções]\n"
    "  --server HOST[:PORTA]  servidor de aplicação (KDR_SERVER, padrão 127.0.0.1:8020)\n"
    "  --port PORTA           porta do servidor (KDR_SERVER_PORT)\n"
    "  --token SENHA          senha exigida pelo servidor (KDR_TOKEN)\n"
    "  --user NOME            usuário registrado no histórico do servidor (KDR_USER, padrão o login)\n"
    "  --local-db ARQUIVO     banco local do host (KDR_LOCAL_DB)\n"
    "  --module ARQUIVO       pacote do módulo (KDR_MODULE, padrão libkdr03020.so ao lado do programa)\n"
    "  --server-program ARQ   kdr-server usado por --demo (KDR_SERVER_PROGRAM)\n"
    "  --demo                 inicia um kdr-server próprio com dados de demonstração\n"
    "  --headless             sem janelas (o padrão quando não há display)\n"
    "  --script ARQUIVO       executa um roteiro e termina\n"
    "  --screenshot ARQ.png   salva a janela na linha snapshot do roteiro, ou depois dele (ou ao\n"
    "                         iniciar), e termina\n"
    "  --qt-library ARQUIVO   janelas Qt (KDR_QT_LIBRARY, padrão libkdr-qt.so ao lado do programa)\n"
    "  --version              mostra a versão e termina\n"
    "Com display (DISPLAY, WAYLAND_DISPLAY) ou QT_QPA_PLATFORM, abre as janelas Qt; sem display,\n"
    "use xvfb-run -a kdr-host, ou QT_QPA_PLATFORM=offscreen com --screenshot.\n";

namespace {

// The account this process runs as, when the environment does not say.
std::string loginName() {
  const passwd *pw = ::getpwuid(::getuid());
  return pw && pw->pw_name ? pw->pw_name : std::string();
}

int parsePort(const std::string &text, const std::string &what) {
  int port = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (ec != std::errc() || end != text.data() + text.size() || port <= 0 || port > 65535)
    throw Exception("Porta inválida em " + what + ": " + text);
  return port;
}

// "host", "host:port" or ":port".
void applyServer(HostConfig &config, const std::string &text, const std::string &what) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos) {
    config.serverHost = text;
    return;
  }
  if (colon > 0) config.serverHost = text.substr(0, colon);
  config.serverPort = parsePort(text.substr(colon + 1), what);
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
  if (auto v = fromEnv("USER")) config.user = *v;
  if (auto v = fromEnv("KDR_USER")) config.user = *v;
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
    else if (arg == "--user")
      config.user = value();
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
  if (config.localDb.empty()) config.localDb = defaultLocalDb(env);
  if (config.user.empty()) config.user = loginName();
  if (config.modulePath.empty()) config.modulePath = programFolder() + "/libkdr03020.so";
  if (config.serverProgram.empty()) config.serverProgram = programFolder() + "/kdr-server";
  if (config.qtLibrary.empty()) config.qtLibrary = programFolder() + "/libkdr-qt.so";
  return config;
}

} // namespace kdr::host
