// Spreadsheet files as anyone may hand them to the import: the reader and the import's checks
// refuse what they cannot take with a reason, never with an engine error; a dry run leaves the
// rows as they were; and every record the reader returns, written back field by field, reads back
// the same. The first byte chooses the table and the encoding.
#include <cstdint>
#include <sstream>
#include <string_view>

#include "platform/rtl/utf8.h"
#include "server/admin/csv.h"
#include "server/admin/exchange.h"
#include "server/errors.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

namespace {

void checkRecordsRoundTrip(std::string_view text, csv::Encoding encoding) {
  std::istringstream in{std::string(text)};
  csv::Reader reader(in, encoding);
  csv::Record record;
  try {
    while (reader.next(record)) {
      if (encoding == csv::Encoding::Windows1252)
        for (const csv::Cell &c : record.cells)
          if (!utf8::isValid(c.text)) fuzz::fault("a Windows-1252 file read as malformed UTF-8");
      if (record.cells.size() == 1 && record.cells[0].missing()) continue; // a blank line
      std::string again = "A;B\n";
      for (std::size_t i = 0; i < record.cells.size(); ++i)
        again += (i ? ";" : "") + csv::field(record.cells[i].text, ';', record.cells[i].missing());
      std::istringstream back(again + "\n");
      csv::Reader reread(back);
      csv::Record header, copy;
      if (!reread.next(header) || !reread.next(copy) || copy.cells.size() != record.cells.size())
        fuzz::fault("a written record does not read back");
      for (std::size_t i = 0; i < copy.cells.size(); ++i)
        if (copy.cells[i].text != record.cells[i].text ||
            copy.cells[i].missing() != record.cells[i].missing())
          fuzz::fault("a written field reads back changed");
    }
  } catch (const ServiceError &e) {
    if (e.code() != ErrorCode::InvalidArgument) fuzz::fault("the reader refused with another code");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  const ExchangeTable table = data[0] & 1 ? ExchangeTable::Defaults : ExchangeTable::Params;
  const csv::Encoding encoding = data[0] & 2 ? csv::Encoding::Windows1252 : csv::Encoding::Utf8;
  const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
  checkRecordsRoundTrip(text, encoding);

  auto session = fuzz::demoStore().session();
  static const std::string params = exportCsv(*session, ExchangeTable::Params),
                           defaults = exportCsv(*session, ExchangeTable::Defaults);
  const std::string &before = table == ExchangeTable::Params ? params : defaults;
  std::istringstream file{std::string(text)};
  try {
    importCsv(*session, table, file, ImportOptions{true, encoding}, Author{"fuzz", 0, "import"});
  } catch (const ServiceError &e) {
    if (e.code() != ErrorCode::InvalidArgument) fuzz::fault("the import refused with another code");
    if (!utf8::isValid(e.Message())) fuzz::fault("the refusal is not UTF-8");
  }
  if (exportCsv(*session, table) != before) fuzz::fault("a dry run changed the rows");
  return 0;
}
