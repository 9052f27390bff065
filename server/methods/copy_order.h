#pragma once
// GeraAutomParam: copies a model client's billing types and texts to target clients. The rule is
// in docs/copy-rule.md.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "server/history/history.h"
#include "server/methods/work.h"
#include "server/store/session.h"

namespace kdr::server::rdmParamFatCli {

struct CopyReport {
  std::int64_t clients = 0; // target clients the order was applied to
  std::int64_t rows = 0;    // parameter rows updated plus rows inserted
  std::int64_t added = 0, replaced = 0;
  std::int64_t batch = 0; // the copy's batch number in the history
};

// What a copy does to one target: how many rows it adds and replaces, and which ("1/02, 4/03":
// billing type / company).
struct TargetPreview {
  std::string client;
  std::int64_t added = 0, replaced = 0;
  std::string addedRows, replacedRows;
};

struct CopyPreview {
  CopyReport totals;
  std::vector<TargetPreview> targets; // by client code
};

// "T" gives an empty list and sets everyone; otherwise the codes of a selection string such as
// 'A','B' (quotes and blanks around each code are dropped).
struct TargetList {
  bool everyone = false;
  std::vector<std::string> codes;
};
TargetList parseTargetList(std::string_view text);

// How a copy goes through its targets: so many clients at a time, telling progress (in clients)
// between two steps, where a stop asked makes it raise and roll back whole.
struct CopySteps {
  WorkProgress *progress = nullptr;
  std::int64_t clientsPerStep = 10000;
};

// Performs the copy in one transaction and records it as a batch.
CopyReport GeraAutomParam(Session &s, const std::string &targets, const std::string &modelClient,
                          const DataPacket &order, const Author &author, const CopySteps &steps = {});

// The same copy, run and then rolled back: what GeraAutomParam would do, target by target.
CopyPreview previewGeraAutomParam(Session &s, const std::string &targets, const std::string &modelClient,
                                  const DataPacket &order);

// The report as the data packet the answer carries: one row, fields CLIENTES and LINHAS.
Variant copyReportPacket(const CopyReport &report);
// [0] per target: CDCLIENTE, INCLUIR, SUBSTITUIR, DSINCLUIR, DSSUBSTITUIR;
// [1] one row of totals: CLIENTES, LINHAS, INCLUIR, SUBSTITUIR.
Variant copyPreviewPackets(const CopyPreview &preview);

} // namespace kdr::server::rdmParamFatCli
