#include "host/scenario/scenario_runner.h"

#include <algorithm>
#include <deque>
#include <filesystem>

#include "host/main_form.h"
#include "host/scenario/other_desktop.h"
#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/host/adoibquery.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/utf8.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/dump.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::host::scenario {

namespace {

// The first copies load with the session the desktop started with: they end before it changes.
void awaitFirstLoads() {
  if (dtmDBGeral) dtmDBGeral->firstLoads.awaitAll();
}

// Ends the desktop's session on the server while the desktop keeps its key.
void endSession() {
  awaitFirstLoads();
  TNetConnection connection;
  Zelnor::PointAtServer(connection, Zelnor::config, false);
  connection.CloseSession();
}

[[noreturn]] void fail(const std::string &why) { throw ScenarioFailure(why); }

std::string boolText(bool b) { return b ? "true" : "false"; }

std::string stateName(TDataSetState s) {
  switch (s) {
  case dsInactive:
    return "inactive";
  case dsBrowse:
    return "browse";
  case dsEdit:
    return "edit";
  case dsInsert:
    return "insert";
  }
  return "?";
}

int standardResult(const std::string &button) {
  if (utf8::sameText(button, "Yes") || utf8::sameText(button, "Sim")) return mrYes;
  if (utf8::sameText(button, "No") || utf8::sameText(button, "Não")) return mrNo;
  if (utf8::sameText(button, "OK")) return mrOk;
  if (utf8::sameText(button, "Cancel") || utf8::sameText(button, "Cancelar")) return mrCancel;
  return mrNone;
}

struct KeyName {
  const char *name;
  int key;
};
const KeyName keyNames[] = {
    {"Tab", VK_TAB},       {"Enter", VK_RETURN},  {"Esc", VK_ESCAPE}, {"Backspace", VK_BACK},
    {"Delete", VK_DELETE}, {"Insert", VK_INSERT}, {"Up", VK_UP},      {"Down", VK_DOWN},
    {"Left", VK_LEFT},     {"Right", VK_RIGHT},   {"Home", VK_HOME},  {"End", VK_END},
    {"F2", VK_F2},         {"F4", VK_F4},         {"F5", VK_F5},
};

// A local query answers for the rows it offers.
TDataSet *asDataSet(TComponent &c) {
  if (auto *query = dynamic_cast<TADOIBQuery *>(&c)) return &query->Query;
  return dynamic_cast<TDataSet *>(&c);
}

std::string dataSetProperty(TDataSet &ds, const std::vector<std::string> &rest) {
  const std::string &name = rest[0];
  if (rest.size() == 1) {
    if (name == "State") return stateName(ds.State());
    if (name == "RecordCount") return std::to_string(ds.RecordCount());
    if (name == "IsEmpty") return boolText(ds.IsEmpty());
    if (name == "Active") return boolText(ds.Active());
    if (name == "Eof") return boolText(ds.Eof());
    if (name == "RecNo") return std::to_string(ds.RecNo());
    if (name == "ChangeCount") {
      auto *cds = dynamic_cast<TClientDataSet *>(&ds);
      if (!cds) fail("ChangeCount só existe em um client dataset");
      return std::to_string(cds->ChangeCount());
    }
  }
  TField *field = ds.FindField(name);
  if (!field) fail("o dataset não tem a propriedade nem o campo " + name);
  if (!ds.Active()) fail("o dataset está fechado ao ler o campo " + name);
  if (rest.size() == 1) return field->IsNull() ? "" : field->AsString();
  if (rest.size() == 2 && rest[1] == "Text") return field->DisplayText();
  fail("esperado CAMPO ou CAMPO.Text depois do dataset");
}

std::string menuProperty(TMenuItem &item, const std::string &name) {
  if (name == "Enabled") return boolText(item.Enabled());
  if (name == "Checked") return boolText(item.Checked());
  if (name == "Visible") return boolText(item.Visible());
  if (name == "Caption") return item.Caption();
  fail("item de menu sem a propriedade " + name);
}

std::string controlProperty(TControl &c, const std::string &name) {
  if (name == "Text") {
    // What the user sees: a masked edit shows its literals.
    if (auto *masked = dynamic_cast<TMaskEdit *>(&c)) return masked->EditText();
    return c.Text();
  }
  if (name == "Caption") return c.Caption();
  if (name == "Enabled") return boolText(c.Enabled());
  if (name == "Visible") return boolText(c.Visible());
  if (name == "Color") return colorToString(c.Color());
  if (name == "Hint") return c.Hint();
  if (name == "Checked") {
    if (auto *b = dynamic_cast<TButtonControl *>(&c)) return boolText(b->Checked());
  } else if (name == "ReadOnly" || name == "MaxLength") {
    if (auto *e = dynamic_cast<TCustomEdit *>(&c))
      return name == "ReadOnly" ? boolText(e->ReadOnly()) : std::to_string(e->MaxLength());
  } else if (name == "EditMask") {
    if (auto *m = dynamic_cast<TMaskEdit *>(&c)) return m->EditMaskText();
  } else if (name == "TabStop") {
    if (auto *w = dynamic_cast<TWinControl *>(&c)) return boolText(w->TabStop());
  } else if (name == "ActivePage") {
    if (auto *pc = dynamic_cast<TPageControl *>(&c)) return pc->ActivePage() ? pc->ActivePage()->Name() : "";
  } else if (name == "SelectedField") {
    if (auto *grid = dynamic_cast<TDBGrid *>(&c))
      return grid->SelectedField() ? grid->SelectedField()->FieldName() : "";
  }
  fail(c.Name() + " (" + c.className() + ") não tem a propriedade " + name);
}

} // namespace

// The scenario's answers in front of the scripted user: each dialog takes the next answer, which
// is handed to the scripted user in the form it needs, so its matching and transcript stay the
// only ones. A modal form instead takes the scenario's next lines until it closes.
class ScenarioRunner::Dialogs : public kdr::Dialogs {
public:
  Dialogs(ScriptedUser &user, std::function<void(TForm &)> driveModal)
      : user_(user), driveModal_(std::move(driveModal)), previous_(Application().installedDialogs()) {
    Application().setDialogs(this);
  }
  ~Dialogs() override { Application().setDialogs(previous_); }

  void queue(const Expectation &e) { answers_.push_back(e); }
  std::vector<std::string> pending() const {
    std::vector<std::string> left;
    for (const auto &a : answers_) left.push_back(describe(a));
    return left;
  }

  int messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                 const TMsgDlgButtons &buttons) override {
    if (auto a = take()) {
      // A plain message with only OK asks nothing: a question answer for it is of another kind.
      const bool asks = type == mtConfirmation || buttons.size() > 1;
      if (a->kind == ExpectKind::Question && asks) {
        int result = standardResult(a->answer);
        if (result == mrNone) fail("resposta " + a->answer + " não é um botão padrão");
        a->pattern ? user_.expectMessageLike(type, a->text, result)
                   : user_.expectMessage(type, a->text, result);
      } else if (a->kind == ExpectKind::Message && type != mtConfirmation) {
        expectMessage(*a, a->messageKind.empty() ? type : typeNamed(a->messageKind));
      } else {
        handOver(*a);
      }
    }
    return user_.messageDlg(title, text, type, buttons);
  }

  int question(const std::string &title, const std::string &text, TMsgDlgType type,
               const std::vector<std::string> &captions, std::size_t defaultCaption) override {
    if (auto a = take()) {
      // A caption the question does not offer would quietly close it; only Cancel means that.
      const bool offered = std::find(captions.begin(), captions.end(), a->answer) != captions.end() ||
                           a->answer == ScriptedUser::enterKey;
      if (a->kind == ExpectKind::Question && !offered && standardResult(a->answer) != mrCancel)
        fail("resposta " + a->answer + " não é um botão da pergunta \"" + text + "\"");
      handOver(*a);
    }
    return user_.question(title, text, type, captions, defaultCaption);
  }

  bool searchList(const std::string &title, TDataSource &source) override {
    if (auto a = take()) handOver(*a);
    return user_.searchList(title, source);
  }

  bool searchPages(const std::string &title, TDataSource &source, const SearchPages &pages) override {
    if (auto a = take()) handOver(*a);
    return user_.searchPages(title, source, pages);
  }

  bool multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                 std::vector<std::string> &keys) override {
    if (auto a = take()) handOver(*a);
    return user_.multiList(title, source, keyField, keys);
  }

  bool multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                  const SearchPages &pages, std::vector<std::string> &keys) override {
    if (auto a = take()) handOver(*a);
    return user_.multiPages(title, source, keyField, pages, keys);
  }

  bool find(const std::string &title, TDataSet &dataset) override {
    if (auto a = take()) handOver(*a);
    return user_.find(title, dataset);
  }

  // A progress dialog the scenario does not name is followed to its end: it asks nothing.
  void progressDlg(const std::string &title, const FollowedWork &work) override {
    if (!answers_.empty() && answers_.front().kind == ExpectKind::Progress) handOver(*take());
    user_.progressDlg(title, work);
  }

  void runModal(TForm &form) override {
    user_.expectModal(form.Name(), driveModal_);
    user_.runModal(form);
  }

private:
  std::optional<Expectation> take() {
    if (answers_.empty()) return std::nullopt;
    Expectation a = answers_.front();
    answers_.pop_front();
    return a;
  }

  static TMsgDlgType typeNamed(const std::string &kind) {
    if (kind == "error") return mtError;
    if (kind == "warning") return mtWarning;
    return mtInformation;
  }

  void expectMessage(const Expectation &a, TMsgDlgType type) {
    a.pattern ? user_.expectMessageLike(type, a.text) : user_.expectMessage(type, a.text);
  }

  static std::string describe(const Expectation &a) {
    switch (a.kind) {
    case ExpectKind::Message:
      return (a.messageKind.empty() ? std::string("message") : a.messageKind) + (a.pattern ? " like" : "") +
             " \"" + a.text + "\"";
    case ExpectKind::Question:
      return std::string("question") + (a.pattern ? " like" : "") + " \"" + a.text + "\" answer " + a.answer;
    case ExpectKind::Search:
      return "search \"" + a.text + "\"";
    case ExpectKind::List:
      return "list \"" + a.text + "\"";
    case ExpectKind::Find:
      return "find \"" + a.text + "\"";
    case ExpectKind::Progress:
      return std::string("progress") + (a.cancel ? " cancel" : "");
    }
    return "?";
  }

  // The scripted user in the form of this answer; when the dialog is of another kind, the scripted
  // user reports the difference.
  void handOver(const Expectation &a) {
    switch (a.kind) {
    case ExpectKind::Message:
      expectMessage(a, a.messageKind.empty() ? mtInformation : typeNamed(a.messageKind));
      break;
    case ExpectKind::Question:
      a.pattern ? user_.expectQuestionLike(a.text, a.answer) : user_.expectQuestion(a.text, a.answer);
      break;
    case ExpectKind::Search:
      a.cancel ? user_.expectSearchCancel(a.text) : user_.expectSearch(a.text, a.choose.front());
      break;
    case ExpectKind::List:
      a.cancel ? user_.expectListCancel(a.text) : user_.expectList(a.text, a.choose);
      break;
    case ExpectKind::Find:
      user_.expectFind(a.text);
      break;
    case ExpectKind::Progress:
      user_.expectProgress(a.cancel);
      break;
    }
  }

  ScriptedUser &user_;
  std::function<void(TForm &)> driveModal_;
  kdr::Dialogs *previous_;
  std::deque<Expectation> answers_;
};

ScenarioRunner::ScenarioRunner(const Script &script, PackageLoader &package, TForm *mainForm,
                               std::ostream &out)
    : script_(script), package_(package), mainForm_(mainForm), out_(out) {}

ScenarioRunner::~ScenarioRunner() = default;

RunResult ScenarioRunner::run() {
  RunResult result;
  ScriptedUser user([](const std::string &) {});
  user_ = &user;
  dialogs_ = std::make_unique<Dialogs>(user, [this](TForm &form) {
    Ref<TForm> alive(&form);
    runUntil([&] { return !alive || form.ModalResult() != mrNone; });
  });
  try {
    runUntil([] { return false; });
    line_ = 0;
    if (auto left = dialogs_->pending(); !left.empty()) fail("resposta não usada: " + left.front());
    // The run ends as a test does: every screen closed and no row left half edited, unless kept.
    user.finish();
    result.passed = true;
  } catch (const ScriptFailure &e) {
    result.line = line_;
    result.message = e.what();
    // The scripted user has reported; its leftovers belong to the failure already told.
    try {
      user.finish();
    } catch (const ScriptFailure &) {
    }
  }
  dialogs_.reset();
  user_ = nullptr;
  return result;
}

void ScenarioRunner::runUntil(const std::function<bool()> &done) {
  while (next_ < script_.commands.size() && !done()) {
    const Command &command = script_.commands[next_++];
    line_ = command.line;
    execute(command);
  }
}

void ScenarioRunner::execute(const Command &command) {
  switch (command.op) {
  case Op::Expect:
    dialogs_->queue(command.expectation);
    break;
  case Op::Assert:
    check(command);
    break;
  case Op::Keep:
    user_->keep(command.args[0]);
    break;
  case Op::Dump: {
    TForm *form = command.args.empty() ? activeForm() : formNamed(command.args[0]);
    if (!form) fail("nenhuma tela para mostrar");
    out_ << dumpForm(*form) << "\n";
    break;
  }
  case Op::Snapshot:
    if (snapshot_) snapshot_();
    break;
  case Op::Pages:
    if (dtmDBGeral == nullptr) fail("banco de dados local não está aberto");
    dtmDBGeral->adcGeral.PacketRecords = std::stoi(command.args[0]);
    break;
  case Op::Desktop: {
    // Named from the folder of this scenario, as its author sees the files side by side.
    const std::filesystem::path file = std::filesystem::path(script_.name).parent_path() / command.args[0];
    int code = 0;
    try {
      code = runOtherDesktop(file.string(), command.args[2]);
    } catch (const Exception &e) {
      fail(e.Message());
    }
    if (code != 0)
      fail("o outro desktop parou em " + file.string() + " (código " + std::to_string(code) + ")");
    break;
  }
  case Op::SignIn:
    awaitFirstLoads();
    try {
      Zelnor::SignIn(command.args[0], command.args[1]);
    } catch (const Exception &e) {
      fail("não foi possível entrar como " + command.args[0] + ": " + e.Message());
    }
    if (auto *frame = dynamic_cast<TfrmPrincipal *>(mainForm_)) {
      frame->showAuthorisations();
      frame->showServer();
    }
    break;
  case Op::EndSession:
    // The server forgets the session, as when it expires: the desktop learns it at its next call.
    endSession();
    break;
  default:
    act(command);
  }
}

void ScenarioRunner::act(const Command &command) {
  const auto &a = command.args;
  auto needReach = [](bool done, const std::string &what) {
    if (!done) fail(what + " não está ao alcance do usuário");
  };
  switch (command.op) {
  case Op::Call: {
    // The entry is found before the call, so a missing one is named instead of shown as a message.
    KdrProc entry = nullptr;
    try {
      entry = package_.entry(a[0]);
    } catch (const Exception &e) {
      fail(e.Message());
    }
    dispatch([entry] { entry(); });
    break;
  }
  case Op::Focus: {
    // A handler may keep the focus where it was; that is the screen's answer, not a failure.
    auto &target = componentAs<TWinControl>(a[0], "um controle com foco");
    needReach(user::canReach(target), a[0]);
    user::focus(target);
    break;
  }
  case Op::Type:
    needReach(user::type(focusedControl(), a[0]), "o controle com foco");
    break;
  case Op::Key: {
    TShiftState shift;
    if (command.ctrl) shift.bits |= ssCtrl;
    if (command.shift) shift.bits |= ssShift;
    if (command.alt) shift.bits |= ssAlt;
    TWinControl &target = focusedControl();
    for (const auto &k : keyNames)
      if (a[0] == k.name) return needReach(user::press(target, k.key, shift), "o controle com foco");
    if (utf8::length(a[0]) != 1) fail("tecla desconhecida: " + a[0]);
    // A character with at most Shift is typed as written; with Ctrl or Alt it is a key of its own.
    if (!command.ctrl && !command.alt) return needReach(user::type(target, a[0]), "o controle com foco");
    needReach(user::press(target, static_cast<unsigned char>(utf8::toUpper(a[0])[0]), shift),
              "o controle com foco");
    break;
  }
  case Op::Click: {
    TComponent &c = component(a[0]);
    if (auto *item = dynamic_cast<TMenuItem *>(&c))
      needReach(user::clickMenu(*item), a[0]);
    else if (auto *control = dynamic_cast<TControl *>(&c))
      needReach(user::click(*control), a[0]);
    else
      fail(a[0] + " não é um controle nem um item de menu");
    break;
  }
  case Op::Page: {
    auto &pc = componentAs<TPageControl>(a[0], "um controle de páginas");
    auto &sheet = componentAs<TTabSheet>(a[1], "uma página");
    needReach(user::switchPage(pc, sheet), a[1]);
    break;
  }
  case Op::Cell: {
    auto &grid = componentAs<TDBGrid>(a[0], "uma grade");
    int col = grid.columnIndexOf(a[2]);
    if (col < 0) fail(a[0] + " não tem coluna do campo " + a[2]);
    needReach(user::clickCell(grid, static_cast<std::size_t>(command.row - 1), col), a[0]);
    break;
  }
  case Op::Pick: {
    TWinControl &target = focusedControl();
    if (auto *grid = dynamic_cast<TDBGrid *>(&target)) {
      if (!user::choosePick(*grid, a[0])) fail("\"" + a[0] + "\" não está na lista da célula");
    } else if (auto *combo = dynamic_cast<TComboBox *>(&target)) {
      if (!user::choose(*combo, a[0])) fail("\"" + a[0] + "\" não está na lista de " + combo->Name());
    } else {
      fail("o controle com foco não tem lista de escolha");
    }
    break;
  }
  case Op::Ellipsis: {
    auto *grid = dynamic_cast<TDBGrid *>(&focusedControl());
    if (!grid || !user::pressEllipsis(*grid)) fail("a célula atual não tem botão de reticências");
    break;
  }
  case Op::Close: {
    TForm *form = a.empty() ? activeForm() : formNamed(a[0]);
    if (!form) fail("nenhuma tela para fechar");
    needReach(user::closeForm(*form), form->Name());
    break;
  }
  default:
    break;
  }
}

void ScenarioRunner::check(const Command &command) {
  std::string found = actualValue(command.target);
  if (found != command.value)
    fail(command.args[0] + ": esperado \"" + command.value + "\", encontrado \"" + found + "\"");
}

std::string ScenarioRunner::actualValue(const AssertTarget &target) const {
  switch (target.kind) {
  case AssertKind::Focus: {
    TForm *form = activeForm();
    TWinControl *c = form ? form->focusedControl() : nullptr;
    return c ? c->Name() : "";
  }
  case AssertKind::Wait:
    return Application().Wait().isOn() ? "on" : "off";
  case AssertKind::Cursor:
    return Screen().Cursor() == crDefault ? "default" : "hourglass";
  case AssertKind::Forms:
    return std::to_string(moduleForms());
  case AssertKind::GridCell:
    return gridCell(target);
  case AssertKind::Property:
    break;
  }
  const auto &path = target.path;
  if (path.size() == 2 && package_.findSymbol(path[0] + "_" + path[1])) return unitVariable(path[0], path[1]);

  // FORM.NAME.PROPERTY when the first part names an open form and not a part of the active one.
  TForm *form = activeForm();
  std::size_t first = 0;
  TForm *named = formNamed(path[0]);
  if (named && (!form || !form->findDeep(path[0]) || path.size() == 2)) {
    form = named;
    first = 1;
  }
  if (!form) fail("nenhuma tela aberta");
  std::vector<std::string> rest(path.begin() + static_cast<long>(first), path.end());
  if (rest.size() == 1) return propertyOf(*form, rest);
  TComponent *c = form->findDeep(rest[0]);
  if (!c) fail(form->Name() + " não tem o componente " + rest[0]);
  rest.erase(rest.begin());
  return propertyOf(*c, rest);
}

std::string ScenarioRunner::propertyOf(TComponent &c, const std::vector<std::string> &rest) const {
  if (TDataSet *ds = asDataSet(c)) return dataSetProperty(*ds, rest);
  if (rest.size() != 1) fail("esperado NOME.PROPRIEDADE para " + c.Name());
  if (auto *item = dynamic_cast<TMenuItem *>(&c)) return menuProperty(*item, rest[0]);
  if (auto *control = dynamic_cast<TControl *>(&c)) return controlProperty(*control, rest[0]);
  fail(c.Name() + " (" + c.className() + ") não tem a propriedade " + rest[0]);
}

// The unit's exported variables, typed by the module's naming: bo flags, st strings, frm screens,
// stl and node references.
std::string ScenarioRunner::unitVariable(const std::string &unit, const std::string &name) const {
  void *address = package_.symbol(unit + "_" + name);
  if (name.rfind("bo", 0) == 0) return boolText(*static_cast<bool *>(address));
  if (name.rfind("stl", 0) == 0 || name.rfind("node", 0) == 0)
    return *static_cast<void **>(address) ? "assigned" : "nil";
  if (name.rfind("st", 0) == 0) return *static_cast<std::string *>(address);
  if (name.rfind("frm", 0) == 0) return *static_cast<void **>(address) ? "assigned" : "nil";
  fail("tipo desconhecido da variável " + unit + "." + name);
}

std::string ScenarioRunner::gridCell(const AssertTarget &target) const {
  std::string qualified;
  for (std::size_t i = 0; i + 1 < target.path.size(); ++i) qualified += (i ? "." : "") + target.path[i];
  auto &grid = componentAs<TDBGrid>(qualified, "uma grade");
  int col = grid.columnIndexOf(target.path.back());
  if (col < 0) fail(qualified + " não tem coluna do campo " + target.path.back());
  auto rows = grid.paint();
  if (static_cast<std::size_t>(target.row) > rows.size())
    fail(qualified + " mostra " + std::to_string(rows.size()) + " linhas, não " + std::to_string(target.row));
  return rows[static_cast<std::size_t>(target.row - 1)][static_cast<std::size_t>(col)];
}

TForm *ScenarioRunner::activeForm() const {
  if (TForm *modal = Application().modalForm()) return modal;
  TForm *active = Application().ActiveForm();
  if (active && active != mainForm_) return active;
  // The host's frame is active only while no screen of the module is open.
  for (TForm *form : Application().forms())
    if (form != mainForm_ && form->Visible()) return form;
  return mainForm_;
}

TForm *ScenarioRunner::formNamed(const std::string &name) const {
  for (TForm *form : Application().forms())
    if (utf8::sameText(form->Name(), name)) return form;
  return nullptr;
}

TComponent &ScenarioRunner::component(const std::string &qualifiedName) const {
  auto parts = splitPath(qualifiedName);
  TForm *form = activeForm();
  if (parts.size() == 2) form = formNamed(parts[0]);
  if (!form) fail("nenhuma tela " + (parts.size() == 2 ? parts[0] : std::string("ativa")));
  if (parts.size() > 2) fail("nome inválido: " + qualifiedName);
  if (utf8::sameText(form->Name(), parts.back())) return *form;
  TComponent *c = form->findDeep(parts.back());
  if (!c) fail(form->Name() + " não tem o componente " + parts.back());
  return *c;
}

template <class T> T &ScenarioRunner::componentAs(const std::string &qualifiedName, const char *kind) const {
  TComponent &c = component(qualifiedName);
  auto *typed = dynamic_cast<T *>(&c);
  if (!typed) fail(qualifiedName + " (" + c.className() + ") não é " + kind);
  return *typed;
}

TWinControl &ScenarioRunner::focusedControl() const {
  TForm *form = activeForm();
  TWinControl *c = form ? form->focusedControl() : nullptr;
  if (!c) fail("nenhum controle com foco");
  return *c;
}

// A screen that is only hidden between openings is not open.
int ScenarioRunner::moduleForms() const {
  int count = 0;
  for (TForm *form : Application().forms())
    if (form != mainForm_ && form->Visible()) ++count;
  return count;
}

} // namespace kdr::host::scenario
