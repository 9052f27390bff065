// kdr-server: the application server of the billing-parameters module.
#include <pthread.h>
#include <sys/resource.h>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server/admin/admin.h"
#include "server/admin/seed.h"
#include "server/errors.h"
#include "server/http/access_guard.h"
#include "server/http/http_front.h"
#include "server/http/stop_signals.h"
#include "server/methods/dispatch.h"
#include "server/store/store.h"

namespace {

const char *usage =
    "usage: kdr-server --db sqlite:PATH | --db postgresql://...\n"
    "                  [--listen ADDR] [--port N (0 = choose)] [--token T (or env KDR_TOKEN)]\n"
    "                  [--allow-host NAME (repeatable)] [--allow-no-token (on a network address)]\n"
    "                  [--loops N] [--threads N] [--seed demo | --seed bulk:N]\n"
    "                  [--answer-cache MIB: keep answers of reads; only when no one else writes\n"
    "                   to this database]\n"
    "       kdr-server history|batches|undo|copy|export|import --db URL ... (docs/admin.md)\n";

struct Options {
  std::string db, seed;
  std::int64_t bulkClients = 0;
  std::size_t answerCacheMib = 0;
  bool allowNoToken = false;
  kdr::server::HttpOptions http;
};

// A bad command line: the reason, for the administrator.
struct BadOption : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The whole text as a number from min to max, else the option's reason.
std::int64_t number(std::string_view option, const std::string &text, std::int64_t min, std::int64_t max) {
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < min || value > max)
    throw BadOption(std::string(option) + " takes a whole number from " + std::to_string(min) + " to " +
                    std::to_string(max) + ", not \"" + text + "\"");
  return value;
}

Options parse(int argc, char **argv) {
  Options o;
  if (const char *t = std::getenv("KDR_TOKEN")) o.http.token = t;
  o.http.port = 8020;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--allow-no-token") {
      o.allowNoToken = true;
      continue;
    }
    if (i + 1 >= argc) throw BadOption(a + " needs a value");
    const std::string v = argv[++i];
    if (a == "--db") {
      o.db = v;
    } else if (a == "--listen") {
      if (v.empty()) throw BadOption("--listen needs an address");
      o.http.address = v;
    } else if (a == "--port") {
      o.http.port = static_cast<int>(number(a, v, 0, 65535));
    } else if (a == "--token") {
      o.http.token = v;
    } else if (a == "--allow-host") {
      o.http.allowedHosts.push_back(v);
    } else if (a == "--loops") {
      o.http.loops = static_cast<std::size_t>(number(a, v, 0, 256));
    } else if (a == "--threads") {
      o.http.writers = static_cast<std::size_t>(number(a, v, 1, 4096));
    } else if (a == "--seed") {
      if (v.rfind("bulk:", 0) == 0)
        o.bulkClients = number("--seed bulk:N", v.substr(5), 1, 100'000'000);
      else if (v != "demo")
        throw BadOption("--seed takes demo or bulk:N, not \"" + v + "\"");
      o.seed = v;
    } else if (a == "--answer-cache") {
      o.answerCacheMib = static_cast<std::size_t>(number(a, v, 0, 65536));
    } else {
      throw BadOption("unknown option " + a);
    }
  }
  if (o.db.empty()) throw BadOption("--db is required");
  return o;
}

// Without a token, anyone who can reach the address can read and write: on a network address
// that has to be the operator's explicit choice.
bool exposedWithoutToken(const Options &o) {
  return o.http.token.empty() && !o.allowNoToken && !kdr::server::isLoopback(o.http.address);
}

} // namespace

int main(int argc, char **argv) {
  using namespace kdr::server;
  if (argc > 1 && isAdminCommand(argv[1]))
    return runAdminCommand(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
  Options o;
  try {
    o = parse(argc, argv);
  } catch (const BadOption &e) {
    std::cerr << "kdr-server: " << e.what() << "\n" << usage;
    return 2;
  }
  if (exposedWithoutToken(o)) {
    std::cerr << "kdr-server: recusado escutar em " << o.http.address
              << " sem token: qualquer máquina da rede poderia ler e gravar. Informe --token (ou "
                 "KDR_TOKEN), escute em 127.0.0.1, ou aceite o risco com --allow-no-token.\n";
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
