#pragma once
// A client dataset of billing-parameter rows whose every event, and those of a data source and
// a data link on it, land in one list, so tests compare whole sequences.
#include <string>
#include <vector>

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"

namespace kdr::testing {

class RecordingLink : public TDataLink {
public:
  explicit RecordingLink(std::vector<std::string> &log) : log_(log) {}
  std::string pendingText; // what a bound edit holds, written on UpdateData when not empty
  TField *field = nullptr;

protected:
  void ActiveChanged() override { log_.push_back("link.ActiveChanged"); }
  void EditingChanged() override { log_.push_back("link.EditingChanged"); }
  void UpdateData() override {
    log_.push_back("link.UpdateData");
    if (field && !pendingText.empty()) field->SetText(pendingText);
  }

private:
  std::vector<std::string> &log_;
};

struct Recorder {
  TClientDataSet ds;
  TDataSource src;
  RecordingLink link{log};
  std::vector<std::string> log;

  Recorder() {
    src.SetDataSet(&ds);
    link.SetDataSource(&src);
  }

  static Variant packet(std::vector<std::vector<Variant>> rows) {
    DataPacket p;
    p.fields = {{"IDTPFATUCLIE", FieldType::String, 1, false},
                {"CDEMPRESA", FieldType::String, 2, false},
                {"VRPERCAJUSTEINV", FieldType::Float, 0, false}};
    for (auto &r : rows) p.rows.push_back({RowStatus::Unmodified, std::move(r)});
    return makePacketVariant(std::move(p));
  }

  void load(std::vector<std::vector<Variant>> rows) { ds.SetData(packet(std::move(rows))); }

  // From here on every event is recorded.
  void record() {
    auto on = [this](const char *name) { return [this, name](TDataSet &) { log.push_back(name); }; };
    ds.BeforeOpen = on("BeforeOpen"), ds.AfterOpen = on("AfterOpen");
    ds.BeforeClose = on("BeforeClose"), ds.AfterClose = on("AfterClose");
    ds.BeforeInsert = on("BeforeInsert"), ds.AfterInsert = on("AfterInsert");
    ds.BeforeEdit = on("BeforeEdit"), ds.AfterEdit = on("AfterEdit");
    ds.BeforePost = on("BeforePost"), ds.AfterPost = on("AfterPost");
    ds.BeforeCancel = on("BeforeCancel"), ds.AfterCancel = on("AfterCancel");
    ds.BeforeDelete = on("BeforeDelete"), ds.AfterDelete = on("AfterDelete");
    ds.BeforeScroll = on("BeforeScroll"), ds.AfterScroll = on("AfterScroll");
    ds.OnNewRecord = on("OnNewRecord");
    src.OnStateChange = [this](TDataSource &s) {
      static const char *names[] = {"inactive", "browse", "edit", "insert"};
      log.push_back(std::string("StateChange:") + names[s.State()]);
    };
    src.OnDataChange = [this](TDataSource &, TField *f) {
      log.push_back(f ? "DataChange:" + f->FieldName() : "DataChange");
    };
    log.clear();
  }

  std::vector<std::string> take() { return std::exchange(log, {}); }

  std::vector<std::string> column(const std::string &field) {
    std::vector<std::string> out;
    auto &f = ds.FieldByName(field);
    for (std::size_t i = 0; i < ds.displayRowCount(); ++i) {
      TDataSet::DisplayRow row(ds, i);
      out.push_back(f.AsString());
    }
    return out;
  }
};

} // namespace kdr::testing
