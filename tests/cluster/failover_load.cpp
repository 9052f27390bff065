// Desktops saving through a load balancer while its servers are killed and restarted, then the
// check that nothing was lost, applied twice, or written after the desktop was told it failed.
//   failover_load HOST PORT [WRITERS] [SECONDS]
// Each writer is one desktop's connection, as the screens use it (its resends carry the change's
// key), and owns client w+2 of a --seed bulk:N database (N > WRITERS+1). It saves one change after
// another to its billing-type-1 row, each a new numbered text, and every tenth round inserts a
// billing-type-5 row and deletes it again. A save whose answer never came even after the
// connection's resends is saved again, as a user would, until the server answers it. At the end,
// through the balancer: every writer's row holds its last acknowledged text; its history holds
// each acknowledged change exactly once, in order, and none it was told failed; every
// acknowledged insertion and deletion once. Where the servers ask for it, each writer first signs
// in (as the demo's supervisor). Prints the counts, exits non-zero on any fault.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/netconnection.h"
#include "platform/rtl/datapacket.h"

using namespace kdr;

namespace {

struct Counts {
  long acknowledged = 0, refused = 0, unanswered = 0, errorsSeen = 0, lost = 0, doubled = 0,
       writtenAfterRefusal = 0;
  void add(const Counts &o) {
    acknowledged += o.acknowledged;
    refused += o.refused;
    unanswered += o.unanswered;
    errorsSeen += o.errorsSeen;
    lost += o.lost;
    doubled += o.doubled;
    writtenAfterRefusal += o.writtenAfterRefusal;
  }
};

// A session of the demo's supervisor, signed in through the balancer (a server may be down at
// that moment: tried again), or "" from a server that has no sign-in.
std::string signIn(const std::string &host, int port) {
  httplib::Client http(host, port);
  for (int attempt = 0; attempt < 40; ++attempt) {
    auto res =
        http.Post("/session", R"({"operator":"supervisor","password":"supervisor"})", "application/json");
    if (res && res->status == 404) return {};
    if (res && res->status == 200) {
      const std::string marker = "\"session\":\"";
      const std::size_t at = res->body.find(marker);
      if (at == std::string::npos) throw std::runtime_error("sign-in answer without a session: " + res->body);
      const std::size_t from = at + marker.size();
      return res->body.substr(from, res->body.find('"', from) - from);
    }
    if (res && res->status < 500) throw std::runtime_error("sign-in refused: " + res->body);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  throw std::runtime_error("no server answered the sign-in");
}

class Writer {
public:
  // Each writer signs in on its own, as each desktop does; its session is kept in the database,
  // so it holds whichever server its calls reach, across the kills.
  Writer(const std::string &host, int port, int index) : client_(std::to_string(index + 2)) {
    connection_.ServerName = "KDR03020.rdmParamFatCli";
    connection_.HostName = host;
    connection_.Port = port;
    connection_.Token = signIn(host, port);
    connection_.ThrowException = false;
    connection_.ReadTimeoutSeconds = 30;
    connection_.Open();
  }

  void run(std::chrono::steady_clock::time_point until) {
    row_ = typeOneRow();
    for (long round = 0; std::chrono::steady_clock::now() < until; ++round) {
      const std::string text = "Escrita " + std::to_string(round) + " do cliente " + client_;
      DataPacket delta = packetOf(fields_);
      std::vector<Variant> modified(fields_.size(), Variant::unassigned());
      modified[field("DSFATURCLIE")] = text;
      delta.rows.push_back({RowStatus::Unmodified, row_});
      delta.rows.push_back({RowStatus::Modified, modified});
      if (save(delta)) {
        row_[field("DSFATURCLIE")] = text;
        acknowledged_.push_back(text);
      } else {
        refused_.push_back(text);
        row_ = typeOneRow(); // as a desktop reloads after a refusal
      }
      if (round % 10 == 0) insertAndDelete();
    }
  }

  Counts verify() {
    if (fields_.empty()) return counts_; // never started: reported as a stopped writer
    counts_.lost += !(typeOneRow()[field("DSFATURCLIE")] ==
                      (acknowledged_.empty() ? row_[field("DSFATURCLIE")] : Variant(acknowledged_.back())));
    // The texts the history shows this client's type-1 row changed to, in order, and the
    // type-5 insertions and deletions.
    std::vector<std::string> written;
    long inserted = 0, deleted = 0;
    std::string position;
    do {
      const Variant page = call("GetHistoricoPagina", {client_, "", "", position, "5000"});
      if (!page.isArray()) {
        ++counts_.lost;
        return counts_;
      }
      const DataPacket &rows = *page.array()[0].packet();
      const int type = rows.fieldIndex("IDTPFATU"), op = rows.fieldIndex("IDOPERACAO"),
                name = rows.fieldIndex("NMCAMPO"), after = rows.fieldIndex("DSDEPOIS");
      for (const PacketRow &r : rows.rows) {
        if (r.values[type] == Variant("1") && r.values[op] == Variant("A") &&
            r.values[name] == Variant("DSFATURCLIE"))
          written.push_back(r.values[after].asString());
        if (r.values[type] == Variant("5") && r.values[name] == Variant("DSFATURCLIE")) {
          inserted += r.values[op] == Variant("I");
          deleted += r.values[op] == Variant("E");
        }
      }
      position = page.array()[1].asString();
    } while (!position.empty());

    std::map<std::string, int> times;
    for (const std::string &t : written) ++times[t];
    for (const std::string &t : acknowledged_) {
      counts_.lost += times[t] == 0;
      counts_.doubled += times[t] > 1;
    }
    for (const std::string &t : refused_) counts_.writtenAfterRefusal += times[t] > 0;
    // Every change written is one the writer made, in the order it made them.
    if (written != acknowledged_ && counts_.lost == 0 && counts_.doubled == 0 &&
        counts_.writtenAfterRefusal == 0)
      ++counts_.lost;
    counts_.lost += std::max(0L, insertions_ - inserted) + std::max(0L, deletions_ - deleted);
    counts_.doubled += std::max(0L, inserted - insertions_) + std::max(0L, deleted - deletions_);
    return counts_;
  }

private:
  int field(const char *name) const { return fieldsPacket().fieldIndex(name); }
  DataPacket fieldsPacket() const { return packetOf(fields_); }
  static DataPacket packetOf(const std::vector<FieldDef> &fields) {
    DataPacket p;
    p.fields = fields;
    return p;
  }

  // A call; one whose answer never came, even after the connection's resends, is made again, as
  // a user saves again, with the same change and so the same key.
  Variant call(std::string_view method, Variant::Array args, bool *refused = nullptr) {
    for (int attempt = 0; attempt < 120; ++attempt) {
      const Variant result = connection_.Call(method, args);
      if (!TNetConnection::isErrorResult(result)) return TNetConnection::payloadOf(result);
      ++counts_.errorsSeen;
      if (TNetConnection::errorCode(result) != "unavailable") {
        if (refused) *refused = true;
        std::fprintf(stderr, "client %s, %s refused: %s\n", client_.c_str(), std::string(method).c_str(),
                     TNetConnection::errorMessage(result).c_str());
        return nullptr;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ++counts_.unanswered;
    if (refused) *refused = true;
    return nullptr;
  }

  std::vector<Variant> typeOneRow() {
    const Variant params = call("GetParamFatCli", {client_});
    if (!params.isPacket()) throw std::runtime_error("GetParamFatCli " + client_ + " never answered");
    fields_ = params.packet()->fields;
    for (const PacketRow &r : params.packet()->rows)
      if (r.values[1] == Variant("1")) return r.values;
    throw std::runtime_error("client " + client_ + " has no billing-type-1 row");
  }

  bool save(const DataPacket &delta) {
    bool refused = false;
    call("SetParamFatCli", {makePacketVariant(delta)}, &refused);
    if (refused) {
      ++counts_.refused;
      return false;
    }
    ++counts_.acknowledged;
    return true;
  }

  void insertAndDelete() {
    std::vector<Variant> extra = row_;
    extra[1] = "5";
    DataPacket insert = fieldsPacket();
    insert.rows.push_back({RowStatus::Inserted, extra});
    if (!save(insert)) return;
    ++insertions_;
    DataPacket remove = fieldsPacket();
    remove.rows.push_back({RowStatus::Deleted, extra});
    if (save(remove)) ++deletions_;
  }

  TNetConnection connection_;
  std::string client_;
  std::vector<FieldDef> fields_;
  std::vector<Variant> row_;
  std::vector<std::string> acknowledged_, refused_;
  long insertions_ = 0, deletions_ = 0;
  Counts counts_;
};

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: failover_load HOST PORT [WRITERS] [SECONDS]\n");
    return 2;
  }
  const std::string host = argv[1];
  const int port = std::atoi(argv[2]);
  const int writers = argc > 3 ? std::atoi(argv[3]) : 16;
  const int seconds = argc > 4 ? std::atoi(argv[4]) : 60;
  std::vector<std::unique_ptr<Writer>> all;
  for (int w = 0; w < writers; ++w) all.push_back(std::make_unique<Writer>(host, port, w));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::vector<std::thread> threads;
  std::vector<std::string> failures(all.size());
  for (std::size_t i = 0; i < all.size(); ++i)
    threads.emplace_back([&, i] {
      try {
        all[i]->run(until);
      } catch (const std::exception &e) {
        failures[i] = e.what();
      }
    });
  for (auto &t : threads) t.join();
  Counts total;
  for (auto &w : all) total.add(w->verify());
  for (const std::string &f : failures)
    if (!f.empty()) std::fprintf(stderr, "writer stopped: %s\n", f.c_str());
  std::printf(
      "writers %d, %d s: %ld changes acknowledged (%.0f/s), %ld refused, %ld never answered; "
      "errors seen by writers %ld (%.2f%% of calls); lost %ld, doubled %ld, written though refused %ld\n",
      writers, seconds, total.acknowledged, static_cast<double>(total.acknowledged) / seconds, total.refused,
      total.unanswered, total.errorsSeen,
      100.0 * total.errorsSeen / std::max(1L, total.acknowledged + total.refused), total.lost, total.doubled,
      total.writtenAfterRefusal);
  bool stopped = false;
  for (const std::string &f : failures) stopped |= !f.empty();
  return total.lost == 0 && total.doubled == 0 && total.writtenAfterRefusal == 0 && total.unanswered == 0 &&
                 !stopped
             ? 0
             : 1;
}
