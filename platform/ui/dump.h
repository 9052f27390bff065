#pragma once
// A form as text, for tests, scenario files and a developer without a display: the tree of
// controls with their state, each grid's rows as shown, the menu, the focused control, the
// active pages and the enabled toolbar buttons. Stable: only the model's state goes in.
#include <string>

namespace kdr {

class TForm;

std::string dumpForm(TForm &form);

} // namespace kdr
