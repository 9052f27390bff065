#include "host/host_app.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>

#include "host/connection_monitor.h"
#include "host/demo_server.h"
#include "host/desktop.h"
#include "host/main_form.h"
#include "host/package_loader.h"
#include "host/scenario/scenario_runner.h"
#include "host/sign_in_form.h"
#include "platform/host/background_cache_load.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/application.h"

namespace kdr::host {

namespace {

// The demo data's supervisor, whose password is its code (README).
constexpr const char *demoSupervisor = "supervisor";

// The tables the module's screens read from the local database, the small ones first.
const std::vector<std::string> cachedTables{"EMPRESA",   "OPERADOR", "OPERGRUPOP",
                                            "AUTGRUPOP", "CLIENTE",  "PARCLIEKDR"};

// The host's services for one run: configuration, local database, main window and the module,
// shown through the Qt widget set when one is given. Leaving it closes the module's screens before
// the module's code goes away.
class HostSession {
public:
  HostSession(const HostConfig &config, QtDesktop *desktop) : desktop_(desktop) {
    package_.load(config.modulePath);
    Zelnor::config.webUrl = config.serverHost;
    Zelnor::config.webPort = config.serverPort;
    Zelnor::config.tls = config.tls;
    Zelnor::config.caFile = config.caFile;
    Zelnor::config.token = config.token;
    // A bare file name lives in the current folder, which exists.
    const std::filesystem::path folder = std::filesystem::path(config.localDb).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    db_ = std::make_unique<TdtmDBGeral>(config.localDb);
    // Every form gets its peer when it is made, so the widget set comes before the main form.
    if (desktop_) desktop_->install();
    try {
      signIn(config);
      mainForm_ = TForm::create<TfrmPrincipal>(&Application(),
                                               [this](std::string_view entry) { package_.entry(entry)(); });
      if (desktop_) watchInStatusBar();
      Application().SetMainForm(mainForm_);
      mainForm_->Show();
    } catch (...) {
      closeScreens();
      throw;
    }
    // Published last: a session that failed to start leaves no data module behind.
    dtmDBGeral = db_.get();
  }

  ~HostSession() {
    Application().OnIdle = nullptr;
    monitor_.reset();
    // A first load still running is abandoned (the next start loads it again); its failures are told.
    if (firstLoad_) {
      firstLoad_->stop();
      for (const std::string &message : firstLoad_->warnings()) *warnings_ << warning(message);
      firstLoad_.reset();
    }
    // The screens' code lives in the module: they go before it is unloaded.
    closeScreens();
    package_.unload();
    dtmDBGeral = nullptr;
    // Leaving signs out: the key is worth nothing to whoever finds it later.
    TNetConnection connection;
    Zelnor::PointAtServer(connection, Zelnor::config, false);
    connection.CloseSession();
    Zelnor::config.session.clear();
    Zelnor::config.renewSession = nullptr;
  }

  // Copies already loaded are brought up to date before the screens open: what changed since
  // is usually little. A table never loaded may be large (a million clients), so its first copy
  // loads in the background while the user works; a statement that reads it waits for it. A
  // failed refresh leaves the previous local copies; the screens still open.
  void refreshLocalCache(std::ostream &err) {
    Variant::Array current;
    std::vector<std::string> first;
    for (const std::string &table : cachedTables) {
      if (db_->cacheMark(table).empty())
        first.push_back(table);
      else
        current.emplace_back(table);
    }
    bool refreshed = true;
    try {
      if (!current.empty()) Zelnor::AtualizaLocalCache(Variant(current));
    } catch (const Exception &e) {
      err << warning(e.Message());
      refreshed = false;
    }
    if (first.empty()) {
      if (refreshed) mainForm_->showUpdated(timeNow());
      return;
    }
    warnings_ = &err;
    firstLoad_ =
        std::make_unique<BackgroundCacheLoad>(db_->adcGeral.Path(), Zelnor::config, first, db_->firstLoads);
  }

  void awaitFirstLoad() {
    if (firstLoad_) firstLoad_->join();
  }

  PackageLoader &package() { return package_; }

  // On the desktop the status bar follows the connection and the first load of the local copy,
  // and a screen that waits for a table still loading shows how far the load got.
  void watchInStatusBar() {
    const Zelnor::HostConfig &server = Zelnor::config;
    monitor_ = std::make_unique<ConnectionMonitor>(
        net::HttpEndpoint{server.webUrl, server.webPort, server.tls, server.caFile});
    Application().OnIdle = [this] { showStatus(); };
    db_->firstLoads.whileWaiting([this](bool waiting) {
      showStatus();
      auto &progress = Application().Progress();
      if (!waiting || !firstLoad_) return progress.hide();
      const auto p = firstLoad_->progress();
      progress.show(TfrmPrincipal::loadingText(p.done, p.total), p.done, p.total);
    });
  }

  // From the command line, else the dialog; the demo signs in as its supervisor. A session that
  // ends later asks the password again, so the change that found it ended is sent after all.
  void signIn(const HostConfig &config) {
    std::string operatorCode = config.operatorCode, password = config.password;
    if (config.demo && operatorCode.empty()) operatorCode = password = demoSupervisor;
    if (!operatorCode.empty() && !password.empty()) {
      Zelnor::SignIn(operatorCode, password);
    } else if (!desktop_) {
      throw Exception("Sem janelas, informe o operador (--operator ou KDR_OPERATOR) e a senha (KDR_PASSWORD "
                      "ou --password-file).");
    } else if (!askSignIn(operatorCode, "")) {
      throw Exception("Entrada cancelada.");
    }
    Zelnor::config.renewSession = [] {
      return askSignIn(
          Zelnor::config.user,
          "A sessão terminou. Digite a senha para continuar; a alteração em andamento será enviada.");
    };
  }
  TForm *mainForm() const { return mainForm_; }

private:
  // Qt destroys the forms itself while its widgets are still alive.
  void closeScreens() {
    if (desktop_)
      desktop_->shutdown();
    else
      Application().reset();
  }

  void showStatus() {
    if (const auto up = monitor_ ? monitor_->connected() : std::nullopt) mainForm_->showConnection(*up);
    if (!firstLoad_ || loadShown_) return;
    const auto p = firstLoad_->progress();
    if (!p.finished) return mainForm_->showLoading(p.done, p.total);
    loadShown_ = true;
    if (firstLoad_->warnings().empty()) mainForm_->showUpdated(timeNow());
  }

  static std::string timeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[8];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
  }

  static std::string warning(const std::string &message) {
    return "kdr-host: aviso: cache local não atualizado: " + message + "\n";
  }

  QtDesktop *desktop_;
  PackageLoader package_;
  std::unique_ptr<TdtmDBGeral> db_;
  TfrmPrincipal *mainForm_ = nullptr;
  std::unique_ptr<ConnectionMonitor> monitor_;
  bool loadShown_ = false;
  // Declared after the data module, whose gate it opens, so it ends first.
  std::unique_ptr<BackgroundCacheLoad> firstLoad_;
  std::ostream *warnings_ = nullptr;
};

int runScript(const HostConfig &config, HostSession &session, std::function<void()> snapshot,
              std::ostream &out, std::ostream &err) {
  scenario::Script script = scenario::loadScript(config.script);
  scenario::ScenarioRunner runner(script, session.package(), session.mainForm(), out);
  runner.onSnapshot(std::move(snapshot));
  scenario::RunResult result = runner.run();
  if (result.passed) {
    out << "scenario passed: " << script.commands.size() << " lines\n";
    return 0;
  }
  err << script.name << ":" << (result.line ? std::to_string(result.line) : std::string("fim")) << ": "
      << result.message << "\n";
  return 1;
}

} // namespace

int runHost(const std::vector<std::string> &args, const std::map<std::string, std::string> &env,
            std::ostream &out, std::ostream &err) {
  HostConfig config;
  try {
    config = parseConfig(args, env);
  } catch (const Exception &e) {
    err << "kdr-host: " << e.Message() << "\n" << usageText;
    return 2;
  }
  if (config.help) {
    out << usageText;
    return 0;
  }
  if (config.version) {
    out << "kdr-host " << KDR_VERSION << "\n";
    return 0;
  }
  if (!config.headless && !hasDisplay(env)) {
    err << "kdr-host: não há display para as janelas (DISPLAY, WAYLAND_DISPLAY ou QT_QPA_PLATFORM).\n"
           "  Rode em um display virtual: xvfb-run -a kdr-host ...\n"
           "  ou sem janelas: kdr-host --headless --script ARQUIVO\n";
    return 2;
  }
  try {
    // Mapped before the demo server starts, so a missing widget set is told at once.
    std::unique_ptr<QtDesktop> desktop;
    if (!config.headless) desktop = std::make_unique<QtDesktop>(config.qtLibrary);
    std::unique_ptr<DemoServer> demo;
    if (config.demo) {
      demo = std::make_unique<DemoServer>(config.serverProgram);
      config.serverHost = demo->host();
      config.serverPort = demo->port();
      config.localDb = demo->folder() + "/local.db";
    }
    HostSession session(config, desktop.get());
    session.refreshLocalCache(err);
    // The picture is taken at the scenario's snapshot line, or else when the scenario ends.
    enum class Picture { none, saved, failed } picture = Picture::none;
    auto takePicture = [&] {
      if (picture != Picture::none) return;
      picture = desktop->screenshot(config.screenshot) ? Picture::saved : Picture::failed;
    };
    std::function<void()> snapshot;
    if (desktop && !config.screenshot.empty()) snapshot = takePicture;
    int code = config.script.empty() ? 0 : runScript(config, session, snapshot, out, err);
    if (!config.screenshot.empty()) {
      takePicture();
      if (picture == Picture::failed) {
        err << "kdr-host: não foi possível salvar " << config.screenshot << "\n";
        return 2;
      }
      out << "screenshot: " << config.screenshot << "\n";
      return code;
    }
    if (desktop && config.script.empty()) return desktop->exec();
    // Without windows or a script nobody works meanwhile: the run is the local copy's refresh.
    if (config.script.empty()) session.awaitFirstLoad();
    return code;
  } catch (const Exception &e) {
    err << "kdr-host: " << e.Message() << "\n";
    return 2;
  } catch (const std::exception &e) {
    err << "kdr-host: " << e.what() << "\n";
    return 2;
  }
}

} // namespace kdr::host
