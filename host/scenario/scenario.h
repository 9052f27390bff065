#pragma once
// A scenario: the lines of a script that drives the module's screens as a user would, answers
// the dialogs they bring, and checks what the screens show. Parsing checks every line's shape
// before anything runs, so a mistyped line is reported without having touched a screen.
#include <optional>
#include <string>
#include <vector>

namespace kdr::host::scenario {

// A line split into words: blanks separate, double quotes hold blanks, \" is a quote, and
// # outside quotes starts a comment.
std::vector<std::string> splitWords(const std::string &line);

enum class Op {
  Call,       // call ENTRY
  Focus,      // focus CONTROL
  Type,       // type TEXT
  Key,        // key KEY [ctrl] [shift] [alt]
  Click,      // click CONTROL
  Page,       // page PAGECONTROL SHEET
  Cell,       // cell GRID ROW FIELD
  Pick,       // pick TEXT
  Ellipsis,   // ellipsis
  Close,      // close [FORM]
  Expect,     // expect ...
  Assert,     // assert TARGET = VALUE
  Pages,      // pages N
  Dump,       // dump [FORM]
  Snapshot,   // snapshot
  Keep,       // keep FORM|DATASET
  Desktop,    // desktop FILE as OPERATOR
  SignIn,     // signin OPERATOR PASSWORD
  EndSession, // endsession
};

enum class ExpectKind { Message, Question, Search, List, Find, Progress };

struct Expectation {
  ExpectKind kind = ExpectKind::Message;
  std::string text;                // message or question text, search or list title, find text
  std::string messageKind;         // message: "error", "warning", "information", or "" for any
  bool pattern = false;            // message, question: text is a pattern, * standing for any run
  std::string answer;              // question: the button to press
  bool cancel = false;             // search or list: cancel it
  std::vector<std::string> choose; // search: one text; list: one or more
};

enum class AssertKind {
  Property, // NAME.PROPERTY, DATASET.FIELD, DATASET.FIELD.Text, UNIT.VARIABLE
  GridCell, // GRID[ROW].FIELD
  Focus,    // focus
  Wait,     // wait
  Cursor,   // cursor
  Forms,    // forms
};

struct AssertTarget {
  AssertKind kind = AssertKind::Property;
  std::vector<std::string> path; // the dotted parts of the target
  int row = 0;                   // grid cell: 1-based among the shown rows
};

struct Command {
  int line = 0;
  Op op = Op::Dump;
  std::vector<std::string> args; // the words after the verb, as written
  bool ctrl = false, shift = false, alt = false;
  int row = 0; // cell
  Expectation expectation;
  AssertTarget target;
  std::string value;  // assert
  std::string source; // the line as written, for reports
};

struct Script {
  std::string name;
  std::vector<Command> commands;
};

// Raises kdr::Exception "NAME:LINE: reason" on the first line that does not parse.
Script parseScript(const std::string &text, const std::string &name);
Script loadScript(const std::string &path);

// The parts of NAME.PROPERTY; "form.control.Text" gives three parts.
std::vector<std::string> splitPath(const std::string &path);

} // namespace kdr::host::scenario
