// kdr-server: the application server of the billing-parameters module.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server/admin/admin.h"
#include "server/admin/seed.h"
#include "server/auth/password.h"
#include "server/cli/command_line.h"
#include "server/errors.h"
#include "server/http/access_guard.h"
#include "server/http/http_front.h"
#include "server/http/stop_signals.h"
#include "server/methods/dispatch.h"
#include "server/store/serving_mark.h"
#include "server/store/store.h"

namespace {

struct Options {
  std::string db, seed, listen = "127.0.0.1", port = "8020", loops = "0", threads = "8", answerCache = "0",
                        leaveNotice = "0";
  std::vector<std::string> allowedHosts;
  bool allowPlainHttp = false, allowNoToken = false; // the second: the first's former name
  kdr::server::HttpOptions http;
  std::int64_t bulkClients = 0;
  std::size_t answerCacheMib = 0;
};

// "demo" or "bulk:N".
CLI::Validator seedKind() {
  return CLI::Validator(
      [](std::string &text) -> std::string {
        if (text == "demo") return {};
        std::string count = text.rfind("bulk:", 0) == 0 ? text.substr(5) : std::string();
        std::string reason = kdr::server::cli::wholeNumber(1, 100'000'000)(count);
        return reason.empty() && !count.empty()
                   ? std::string()
                   : "espera demo ou bulk:N (N de 1 a 100000000), não \"" + text + "\"";
      },
      "", "demo|bulk:N");
}

std::string serverHelpFooter() {
  return "\n" + kdr::server::adminCommandList() +
         "\nCada opção pode vir também do ambiente (KDR_DB, KDR_PORT, ...) ou do arquivo de configuração "
         "(db = ..., port = ...).\nVale a linha de comando, depois o ambiente, depois o arquivo, depois o "
         "padrão. Veja docs/admin.md.";
}

// false: only help or the version was asked (and printed).
bool parse(const std::vector<std::string> &args, Options &o) {
  using namespace kdr::server::cli;
  CommandLine line("kdr-server", "Servidor de aplicação dos parâmetros de faturamento.");
  line.app().footer(serverHelpFooter());
  line.setting("db", o.db, "o banco: sqlite:CAMINHO (criado na primeira vez) ou postgresql://...")
      ->check(databaseUrl())
      ->type_name("URL");
  line.setting("listen", o.listen, "endereço de escuta (padrão 127.0.0.1)")->type_name("ENDEREÇO");
  line.setting("port", o.port, "porta (padrão 8020; 0 = o sistema escolhe)")
      ->check(wholeNumber(0, 65535))
      ->type_name("PORTA");
  line.setting("token", o.http.token,
               "token da máquina: dá acesso só à cópia local das tabelas e às métricas")
      ->type_name("TOKEN");
  line.setting("tls-cert", o.http.tlsCertificate, "certificado do servidor (PEM, com a cadeia) para HTTPS")
      ->type_name("ARQUIVO");
  line.setting("tls-key", o.http.tlsKey, "chave privada do certificado (PEM)")->type_name("ARQUIVO");
  line.setting("allow-host", o.allowedHosts,
               "outro nome pelo qual os desktops chegam, ou NOME:PORTA de um balanceador (repetível)")
      ->type_name("NOME");
  line.flagSetting("allow-plain-http", o.allowPlainHttp, "aceita escutar na rede sem TLS");
  line.flagSetting("allow-no-token", o.allowNoToken, "o nome antigo de --allow-plain-http");
  line.setting("loops", o.loops, "laços de eventos (padrão 0 = um por núcleo)")
      ->check(wholeNumber(0, 256))
      ->type_name("N");
  line.setting("threads", o.threads, "trabalhadores de escrita (padrão 8)")
      ->check(wholeNumber(1, 4096))
      ->type_name("N");
  line.setting("seed", o.seed, "preenche um banco vazio: dados de demonstração ou N clientes")
      ->check(seedKind())
      ->type_name("demo|bulk:N");
  line.setting("answer-cache", o.answerCache,
               "MiB de respostas de leitura guardadas; só quando ninguém mais grava neste banco")
      ->check(wholeNumber(0, 65536))
      ->type_name("MIB");
  line.setting("leave-notice", o.leaveNotice,
               "segundos em que, ao parar, /health responde 503 e os pedidos ainda são atendidos, para um "
               "balanceador tirar este servidor (padrão 0)")
      ->check(wholeNumber(0, 3600))
      ->type_name("SEGUNDOS");
  if (!line.parse(args, processEnvironment(), std::cout)) return false;
  line.require("db");
  if (o.listen.empty()) throw UsageError("--listen precisa de um endereço");
  o.http.address = o.listen;
  o.http.port = std::stoi(o.port);
  o.http.loops = std::stoul(o.loops);
  o.http.writers = std::stoul(o.threads);
  o.http.allowedHosts = o.allowedHosts;
  o.answerCacheMib = std::stoul(o.answerCache);
  o.http.leaveNotice = std::chrono::seconds(std::stoul(o.leaveNotice));
  o.allowPlainHttp = o.allowPlainHttp || o.allowNoToken;
  if (o.seed.rfind("bulk:", 0) == 0) o.bulkClients = std::stoll(o.seed.substr(5));
  return true;
}

// Without TLS, anyone on the network path reads the passwords, the session keys and every billing
// text: on a network address that has to be the administrator's explicit choice.
bool exposedWithoutTls(const Options &o) {
  return o.http.tlsCertificate.empty() && !o.allowPlainHttp && !kdr::server::isLoopback(o.http.address);
}

} // namespace

int main(int argc, char **argv) {
  using namespace kdr::server;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && isAdminCommand(args[0]))
    return runAdminCommand(args, std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
  Options o;
  try {
    if (!parse(args, o)) return 0;
  } catch (const cli::UsageError &e) {
    std::cerr << "kdr-server: " << e.what() << "\nVeja kdr-server --help.\n";
    return 2;
  }
  if (exposedWithoutTls(o)) {
    std::cerr << "kdr-server: recusado escutar em " << o.http.address
              << " sem TLS: senhas, sessões e textos passariam abertos pela rede. Informe --tls-cert e "
                 "--tls-key, escute em 127.0.0.1, ou aceite o risco com --allow-plain-http.\n";
    return 2;
  }
  // Every open connection is a descriptor: the usual soft limit of 1024 would stop the server
  // accepting long before anything else runs short.
  if (rlimit files{}; getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  // SIGINT and SIGTERM are taken by a thread of their own, which stops the server outside any
  // signal handler; every thread started later inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  try {
    ServingMark serving(o.db, ServingMark::Kind::Serving);
    auto store = Store::open(o.db);
    if (!o.seed.empty()) {
      auto session = store->session();
      bool filled = o.seed == "demo" ? seedDemo(*session) : seedBulk(*session, o.bulkClients);
      if (!filled) logLine("seed " + o.seed + " skipped: the database already holds clients");
    }
    Dispatcher dispatcher(*store, o.answerCacheMib << 20);
    HttpFront front(dispatcher, o.http);
    int port = front.bind();
    StopOnSignals stopper(front, {SIGINT, SIGTERM});
    if (PasswordCost::configured().testOnly())
      logLine("KDR_TEST_PASSWORD_COST hashes new passwords at a test-only cost", LogLevel::Warning);
    std::cout << "listening on " << o.http.address << ":" << port << std::endl;
    front.run();
    return 0;
  } catch (const ServiceError &e) {
    std::cerr << "kdr-server: " << e.Message() << "\n";
  } catch (const std::exception &e) {
    std::cerr << "kdr-server: não foi possível iniciar: " << e.what() << "\n";
  }
  return 1;
}
