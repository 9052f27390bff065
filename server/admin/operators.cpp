#include "server/admin/operators.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <set>

#include "server/auth/sessions.h"
#include "server/errors.h"

namespace kdr::server {
namespace {

// Echo off while the line is typed, back on however the read ends.
class NoEcho {
public:
  NoEcho() : active_(tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!active_) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  ~NoEcho() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  NoEcho(const NoEcho &) = delete;
  NoEcho &operator=(const NoEcho &) = delete;

private:
  termios saved_{};
  bool active_;
};

std::string readLine(std::istream &in) {
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string typedPassword(std::istream &in, std::ostream &err) {
  if (&in != &std::cin || !isatty(STDIN_FILENO)) return readLine(in);
  NoEcho quiet;
  err << "Senha: " << std::flush;
  std::string first = readLine(in);
  err << "\nRepita a senha: " << std::flush;
  std::string second = readLine(in);
  err << "\n";
  if (first != second) refuse("As senhas digitadas não conferem. Nada foi gravado.");
  return first;
}

} // namespace

int setPasswordCommand(Store &store, const std::string &operatorCode, std::istream &in, std::ostream &out,
                       std::ostream &err) {
  const std::string password = typedPassword(in, err);
  auto s = store.session();
  setOperatorPassword(*s, operatorCode, password);
  out << "Senha do operador " << operatorCode
      << " gravada; as sessões abertas com a anterior foram encerradas.\n";
  return 0;
}

std::vector<std::vector<std::string>> operatorRows(Store &store) {
  auto s = store.session();
  std::map<std::string, std::set<std::string>> groups, codes;
  for (const Row &r : s->query("SELECT G.CDOPERADOR, G.CDGRUPOPER, A.IDAUTGRUPOP FROM OPERGRUPOP G "
                               "LEFT JOIN AUTGRUPOP A ON A.CDGRUPOPER = G.CDGRUPOPER")) {
    groups[r[0].str()].insert(r[1].str());
    if (r[2].isString()) codes[r[0].str()].insert(r[2].str());
  }
  auto joined = [](const std::set<std::string> &items) {
    std::string text;
    for (const std::string &i : items) text += (text.empty() ? "" : ",") + i;
    return text;
  };
  std::vector<std::vector<std::string>> rows;
  for (const Row &r :
       s->query("SELECT O.CDOPERADOR, O.NMOPERADOR, P.CDOPERADOR FROM OPERADOR O "
                "LEFT JOIN KDR_SENHA P ON P.CDOPERADOR = O.CDOPERADOR ORDER BY O.CDOPERADOR")) {
    const std::string code = r[0].str();
    rows.push_back({code, r[1].isString() ? r[1].str() : "", r[2].isString() ? "sim" : "não",
                    joined(groups[code]), joined(codes[code])});
  }
  return rows;
}

} // namespace kdr::server
