// Loading the parameter rows of a client: the desktop's connection reading the server's answer and
// the client dataset taking its packet, against Boost.JSON's own parse of the same text; plus
// Locate and Delta on the loaded rows.
#include <benchmark/benchmark.h>

#include <boost/json/parse.hpp>

#include "platform/data/clientdataset.h"
#include "platform/data/packet_json.h"
#include "platform/net/netconnection.h"

namespace {

using namespace kdr;

Variant parameterRows(int rows) {
  DataPacket p;
  auto s = [](const char *name, int size) { return FieldDef{name, FieldType::String, size, false}; };
  p.fields = {s("CDCLIENTE", 21),
              s("IDTPFATUCLIE", 1),
              s("DSFATURCLIE", 400),
              s("DSBOLETCLIE", 400),
              s("NMFANTCLIE", 50),
              s("CDTIPOSERV", 3),
              s("NMTIPOSERV", 80),
              s("CDEMPRESA", 2),
              s("NMEMPRESA", 40),
              s("IDFATURAPFILI", 1),
              s("IDFATMESATUCLIE", 1),
              s("NMOPERADOR", 40),
              s("CDGERENTEIMPCLI", 12),
              s("IDGERANFUNIFICA", 1),
              {"VRPERCAJUSTEINV", FieldType::Float, 0, false},
              s("CDPAIS", 4)};
  p.rows.reserve(rows);
  for (int i = 0; i < rows; ++i) {
    std::string client = std::to_string(100000000 + i);
    p.rows.push_back(
        {RowStatus::Unmodified,
         {client, std::to_string(i % 9 + 1), "Serviços de manutenção prestados no mês de referência",
          "Pagável em qualquer agência até o vencimento", "Cliente " + client, "101", "Manutenção preventiva",
          "01", "Empresa Matriz Ltda", "S", "N", "José da Silva", "OPER0001", "S", 2.5 + i % 100, "1058"}});
  }
  return makePacketVariant(std::move(p));
}

// The body of the server's answer to a call for 100k parameter rows.
const std::string &answerText() {
  static const std::string text = "{\"result\":" + variantToJsonText(parameterRows(100000)) + "}";
  return text;
}

void BM_ParseJsonOnly(benchmark::State &state) {
  const std::string &text = answerText();
  for (auto _ : state) benchmark::DoNotOptimize(boost::json::parse(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseJsonOnly)->Unit(benchmark::kMillisecond);

// What a screen does with the answer: the connection reads it (as every call does), the client
// dataset takes its payload (Consiste::CheckResultServ hands the payload on the same way).
void BM_SetDataFromJson(benchmark::State &state) {
  const std::string &text = answerText();
  TNetConnection connection;
  Variant::Array noArgs;
  for (auto _ : state) {
    // As a screen's call returns it: the answer is gone by the time the dataset takes its
    // payload, so the dataset takes the rows over instead of copying them.
    Variant payload = TNetConnection::payloadOf(connection.readAnswer(text, 200, noArgs));
    TClientDataSet ds;
    ds.SetData(std::move(payload));
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SetDataFromJson)->Unit(benchmark::kMillisecond);

void BM_LocateLastRow(benchmark::State &state) {
  TClientDataSet ds;
  ds.SetData(parameterRows(100000));
  const Variant keys(Variant::Array{"100099999", "1"});
  for (auto _ : state) benchmark::DoNotOptimize(ds.Locate("CDCLIENTE;IDTPFATUCLIE", keys));
}
BENCHMARK(BM_LocateLastRow)->Unit(benchmark::kMicrosecond);

// Rows in the dataset vary, changes stay at one: the cost must not follow the rows.
void BM_DeltaAfterOneChange(benchmark::State &state) {
  TClientDataSet ds;
  ds.SetData(parameterRows(static_cast<int>(state.range(0))));
  ds.Last();
  ds.Edit();
  ds.FieldByName("CDEMPRESA").SetAsString("02");
  ds.Post();
  for (auto _ : state) benchmark::DoNotOptimize(ds.Delta());
}
BENCHMARK(BM_DeltaAfterOneChange)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
