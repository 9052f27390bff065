#pragma once
// GeraAutomParam: copies a model client's billing types and texts to target clients. The rule is
// in docs/copy-rule.md.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "server/session.h"

namespace kdr::server::rdmParamFatCli {

struct CopyReport {
  std::int64_t clients = 0; // target clients the order was applied to
  std::int64_t rows = 0;    // parameter rows updated plus rows inserted
};

// "T" gives an empty list and sets everyone; otherwise the codes of a selection string such as
// 'A','B' (quotes and blanks around each code are dropped).
struct TargetList {
  bool everyone = false;
  std::vector<std::string> codes;
};
TargetList parseTargetList(std::string_view text);

CopyReport GeraAutomParam(Session &s, const std::string &targets, const std::string &modelClient,
                          const DataPacket &order);

// The report as the data packet the answer carries: one row, fields CLIENTES and LINHAS.
Variant copyReportPacket(const CopyReport &report);

} // namespace kdr::server::rdmParamFatCli
