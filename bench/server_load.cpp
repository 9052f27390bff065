// Writers saving at once for a while, then a check that nothing acknowledged was lost.
//   bench_server_load PORT [WRITERS] [SECONDS]
// Writer w owns client w+2 of a --seed bulk:N database (N > WRITERS+1). Like a desktop, it loads
// its billing-type-1 row and saves one change after another, each with the row as its last save
// left it: a new text and a new rate (any double from 0 to 100); every tenth round it also
// inserts a billing-type-5 row and deletes it again. Any refusal means a save did not find the
// row its writer saw. At the end every writer's row must hold its last acknowledged text and rate
// to the bit. Prints the counts and exits non-zero when anything was refused or lost.
#include <cstdlib>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "server/store/packets.h"

using namespace kdr;

namespace {

constexpr const char *module = "/KDR03020.rdmParamFatCli/";

struct Counts {
  std::atomic<long> saves{0}, refused{0}, lost{0};
};

class Writer {
public:
  Writer(int port, int index, Counts &counts)
      : http_("127.0.0.1", port), client_(std::to_string(index + 2)), random_(index), counts_(counts) {
    http_.set_keep_alive(true);
    http_.set_read_timeout(300, 0);
    // The session bench/server_load.sh signed in.
    if (const char *session = std::getenv("KDR_BENCH_SESSION")) http_.set_bearer_token_auth(session);
    fields_ = server::payload::paramFatCli().fields;
  }

  void run(std::chrono::steady_clock::time_point until) {
    row_ = load().rows.at(0).values;
    for (long round = 0; std::chrono::steady_clock::now() < until; ++round) {
      std::vector<Variant> changed = row_;
      changed[field("DSFATURCLIE")] = "Escrita " + std::to_string(round) + " do cliente " + client_;
      changed[field("VRPERCAJUSTEINV")] = std::uniform_real_distribution<double>(0, 100)(random_);
      DataPacket delta = packet();
      std::vector<Variant> modified(fields_.size(), Variant::unassigned());
      for (const char *name : {"DSFATURCLIE", "VRPERCAJUSTEINV"})
        modified[field(name)] = changed[field(name)];
      delta.rows.push_back({RowStatus::Unmodified, row_});
      delta.rows.push_back({RowStatus::Modified, modified});
      if (save(delta)) row_ = changed;
      if (round % 10 == 0) insertAndDelete();
    }
  }

  // The stored row equals the last one acknowledged, rate to the bit.
  void verify() {
    DataPacket now = load();
    const std::vector<Variant> &stored = now.rows.at(0).values;
    const double a = stored[field("VRPERCAJUSTEINV")].asFloat(), b = row_[field("VRPERCAJUSTEINV")].asFloat();
    if (!(stored[field("DSFATURCLIE")] == row_[field("DSFATURCLIE")]) || std::memcmp(&a, &b, sizeof a) != 0 ||
        now.rows.size() != 2)
      ++counts_.lost;
  }

private:
  int field(const char *name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
      if (fields_[i].name == name) return static_cast<int>(i);
    return -1;
  }

  DataPacket packet() const {
    DataPacket p;
    p.fields = fields_;
    return p;
  }

  Variant post(const char *method, Variant::Array args, int &status) {
    std::string body = "{\"args\":";
    appendVariantJson(body, Variant(std::move(args)));
    body += '}';
    auto res = http_.Post(std::string(module) + method, body, "application/json");
    status = res ? res->status : 0;
    if (!res || res->status != 200) return nullptr;
    return readCallEnvelope(res->body).result.value_or(nullptr);
  }

  DataPacket load() {
    int status = 0;
    Variant v = post("GetParamFatCli", {client_}, status);
    if (!v.isPacket())
      throw std::runtime_error("GetParamFatCli " + client_ + ": HTTP " + std::to_string(status));
    return *v.packet();
  }

  bool save(const DataPacket &delta) {
    int status = 0;
    post("SetParamFatCli", {makePacketVariant(delta)}, status);
    ++counts_.saves;
    if (status == 200) return true;
    ++counts_.refused;
    return false;
  }

  void insertAndDelete() {
    std::vector<Variant> extra = row_;
    extra[field("IDTPFATUCLIE")] = "5";
    extra[field("VRPERCAJUSTEINV")] = std::uniform_real_distribution<double>(0, 100)(random_);
    DataPacket insert = packet();
    insert.rows.push_back({RowStatus::Inserted, extra});
    if (!save(insert)) return;
    DataPacket remove = packet();
    remove.rows.push_back({RowStatus::Deleted, extra});
    save(remove);
  }

  httplib::Client http_;
  std::string client_;
  std::mt19937_64 random_;
  Counts &counts_;
  std::vector<FieldDef> fields_;
  std::vector<Variant> row_;
};

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_server_load PORT [WRITERS] [SECONDS]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int writers = argc > 2 ? std::atoi(argv[2]) : 32;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 60;
  Counts counts;
  std::vector<std::unique_ptr<Writer>> all;
  for (int w = 0; w < writers; ++w) all.push_back(std::make_unique<Writer>(port, w, counts));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::vector<std::thread> threads;
  for (auto &w : all) threads.emplace_back([&w, until] { w->run(until); });
  for (auto &t : threads) t.join();
  for (auto &w : all) w->verify();
  std::printf("writers %d, %d s: %ld saves (%.0f/s), %ld refused, %ld rows lost\n", writers, seconds,
              counts.saves.load(), static_cast<double>(counts.saves.load()) / seconds, counts.refused.load(),
              counts.lost.load());
  return counts.refused == 0 && counts.lost == 0 ? 0 : 1;
}
