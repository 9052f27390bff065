#include <algorithm>
#include <fstream>
#include <sstream>

#include "host/scenario/scenario.h"
#include "platform/rtl/exceptions.h"

namespace kdr::host::scenario {

namespace {

class LineError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

const std::vector<std::pair<std::string, Op>> verbs{
    {"call", Op::Call},       {"focus", Op::Focus},       {"type", Op::Type},
    {"key", Op::Key},         {"click", Op::Click},       {"page", Op::Page},
    {"cell", Op::Cell},       {"pick", Op::Pick},         {"ellipsis", Op::Ellipsis},
    {"close", Op::Close},     {"expect", Op::Expect},     {"assert", Op::Assert},
    {"dump", Op::Dump},       {"snapshot", Op::Snapshot}, {"keep", Op::Keep},
    {"desktop", Op::Desktop}, {"signin", Op::SignIn},     {"endsession", Op::EndSession},
    {"pages", Op::Pages},
};

void requireCount(const Command &command, size_t least, size_t most, const char *shape) {
  if (command.args.size() < least || command.args.size() > most)
    throw LineError(std::string("esperado: ") + shape);
}

int parseRow(const std::string &text) {
  size_t used = 0;
  int row = 0;
  try {
    row = std::stoi(text, &used);
  } catch (const std::exception &) {
    used = 0;
  }
  if (used != text.size() || row < 1) throw LineError("linha de grade inválida: " + text);
  return row;
}

void parseKey(Command &command) {
  if (command.args.empty()) throw LineError("esperado: key TECLA [ctrl] [shift] [alt]");
  for (size_t i = 1; i < command.args.size(); ++i) {
    const std::string &shift = command.args[i];
    if (shift == "ctrl")
      command.ctrl = true;
    else if (shift == "shift")
      command.shift = true;
    else if (shift == "alt")
      command.alt = true;
    else
      throw LineError("modificador desconhecido: " + shift);
  }
  command.args.resize(1);
}

// expect (message | error | warning | information) ([like] TEXT) | question [like] TEXT answer BUTTON
// | search TITLE (choose TEXT | cancel) | list TITLE (choose TEXT... | cancel) | find TEXT
// | progress [cancel]
void parseExpect(Command &command) {
  const auto &a = command.args;
  if (a.empty()) throw LineError("esperado: expect message|question|search|list|find|progress ...");
  Expectation &e = command.expectation;
  const std::string &kind = a[0];
  if (kind == "message" || kind == "error" || kind == "warning" || kind == "information") {
    // "like" turns the text into a pattern where * stands for any run of characters.
    const bool like = a.size() == 3 && a[1] == "like";
    if (a.size() != 2 && !like) throw LineError("esperado: expect " + kind + " [like] TEXTO");
    e.kind = ExpectKind::Message;
    e.messageKind = kind == "message" ? "" : kind;
    e.pattern = like;
    e.text = a.back();
  } else if (kind == "progress") {
    if (a.size() > 2 || (a.size() == 2 && a[1] != "cancel"))
      throw LineError("esperado: expect progress [cancel]");
    e.kind = ExpectKind::Progress;
    e.cancel = a.size() == 2;
  } else if (kind == "find") {
    if (a.size() != 2) throw LineError("esperado: expect " + kind + " TEXTO");
    e.kind = kind == "message" ? ExpectKind::Message : ExpectKind::Find;
    e.text = a[1];
  } else if (kind == "question") {
    // "like" as for a message: a question that counts or names what it asks about.
    const bool like = a.size() == 5 && a[1] == "like";
    const std::size_t at = like ? 2 : 1;
    if (a.size() != at + 3 || a[at + 1] != "answer")
      throw LineError("esperado: expect question [like] TEXTO answer BOTÃO");
    e.kind = ExpectKind::Question;
    e.pattern = like;
    e.text = a[at];
    e.answer = a[at + 2];
  } else if (kind == "search" || kind == "list") {
    e.kind = kind == "search" ? ExpectKind::Search : ExpectKind::List;
    const std::string shape =
        "expect " + kind + " TÍTULO choose TEXTO" + (kind == "list" ? "..." : "") + " | cancel";
    if (a.size() < 3) throw LineError("esperado: " + shape);
    e.text = a[1];
    if (a[2] == "cancel" && a.size() == 3) {
      e.cancel = true;
    } else if (a[2] == "choose" && a.size() >= 4 && (kind == "list" || a.size() == 4)) {
      e.choose.assign(a.begin() + 3, a.end());
    } else {
      throw LineError("esperado: " + shape);
    }
  } else {
    throw LineError("diálogo desconhecido: " + kind);
  }
}

AssertTarget parseTarget(const std::string &text) {
  AssertTarget target;
  if (text == "focus")
    target.kind = AssertKind::Focus;
  else if (text == "wait")
    target.kind = AssertKind::Wait;
  else if (text == "cursor")
    target.kind = AssertKind::Cursor;
  else if (text == "forms")
    target.kind = AssertKind::Forms;
  if (target.kind != AssertKind::Property) return target;

  auto open = text.find('[');
  if (open != std::string::npos) {
    auto close = text.find(']', open);
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != '.')
      throw LineError("esperado: GRADE[LINHA].CAMPO");
    target.kind = AssertKind::GridCell;
    target.row = parseRow(text.substr(open + 1, close - open - 1));
    target.path = splitPath(text.substr(0, open));
    target.path.push_back(text.substr(close + 2));
  } else {
    target.path = splitPath(text);
    if (target.path.size() < 2) throw LineError("esperado: NOME.PROPRIEDADE");
  }
  for (const auto &part : target.path)
    if (part.empty()) throw LineError("nome vazio em " + text);
  return target;
}

Command parseCommand(const std::vector<std::string> &words) {
  Command command;
  auto verb = std::find_if(verbs.begin(), verbs.end(), [&](auto &v) { return v.first == words[0]; });
  if (verb == verbs.end()) throw LineError("comando desconhecido: " + words[0]);
  command.op = verb->second;
  command.args.assign(words.begin() + 1, words.end());
  switch (command.op) {
  case Op::Call:
    requireCount(command, 1, 1, "call ENTRADA");
    break;
  case Op::Focus:
    requireCount(command, 1, 1, "focus CONTROLE");
    break;
  case Op::Type:
    requireCount(command, 1, 1, "type TEXTO");
    break;
  case Op::Key:
    parseKey(command);
    break;
  case Op::Click:
    requireCount(command, 1, 1, "click CONTROLE");
    break;
  case Op::Page:
    requireCount(command, 2, 2, "page PAGINAS FOLHA");
    break;
  case Op::Cell:
    requireCount(command, 3, 3, "cell GRADE LINHA CAMPO");
    command.row = parseRow(command.args[1]);
    break;
  case Op::Pick:
    requireCount(command, 1, 1, "pick TEXTO");
    break;
  case Op::Ellipsis:
    requireCount(command, 0, 0, "ellipsis");
    break;
  case Op::Close:
    requireCount(command, 0, 1, "close [FORM]");
    break;
  case Op::Dump:
    requireCount(command, 0, 1, "dump [FORM]");
    break;
  case Op::Snapshot:
    requireCount(command, 0, 0, "snapshot");
    break;
  case Op::Keep:
    requireCount(command, 1, 1, "keep FORM|DATASET");
    break;
  case Op::Desktop:
    requireCount(command, 3, 3, "desktop ARQUIVO as OPERADOR");
    if (command.args[1] != "as") throw LineError("esperado: desktop ARQUIVO as OPERADOR");
    break;
  case Op::SignIn:
    requireCount(command, 2, 2, "signin OPERADOR SENHA");
    break;
  case Op::EndSession:
    requireCount(command, 0, 0, "endsession");
    break;
  case Op::Pages:
    requireCount(command, 1, 1, "pages N");
    if (const std::string &n = command.args[0]; n.empty() || n.size() > 6 ||
                                                n.find_first_not_of("0123456789") != std::string::npos ||
                                                std::stoi(n) < 1)
      throw LineError("esperado: pages N, as linhas de cada pacote das listas locais (1 ou mais)");
    break;
  case Op::Expect:
    parseExpect(command);
    break;
  case Op::Assert:
    requireCount(command, 3, 3, "assert ALVO = VALOR");
    if (command.args[1] != "=") throw LineError("esperado: assert ALVO = VALOR");
    command.target = parseTarget(command.args[0]);
    command.value = command.args[2];
    break;
  }
  return command;
}

} // namespace

std::vector<std::string> splitWords(const std::string &line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
        word += line[++i];
      else if (c == '"')
        quoted = false;
      else
        word += c;
    } else if (c == '"') {
      quoted = inWord = true;
    } else if (c == '#') {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) throw LineError("aspas sem fechamento");
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::vector<std::string> splitPath(const std::string &path) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(path);
  while (std::getline(in, part, '.')) parts.push_back(part);
  if (!path.empty() && path.back() == '.') parts.emplace_back();
  return parts;
}

Script parseScript(const std::string &text, const std::string &name) {
  Script script;
  script.name = name;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    try {
      auto words = splitWords(line);
      if (words.empty()) continue;
      Command command = parseCommand(words);
      command.line = number;
      command.source = line;
      script.commands.push_back(std::move(command));
    } catch (const LineError &e) {
      throw Exception(name + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  return script;
}

Script loadScript(const std::string &path) {
  std::ifstream in(path);
  if (!in) throw Exception("Não foi possível ler o roteiro " + path);
  std::stringstream text;
  text << in.rdbuf();
  return parseScript(text.str(), path);
}

} // namespace kdr::host::scenario
