#pragma once
// TClientDataSet: rows in memory as a baseline (the data as loaded or last merged) plus a change
// log of the rows changed since, netted per row. Delta is the log as a data packet; its cost
// follows the number of changes, not of rows.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/data/dataset.h"

namespace kdr {

class TClientDataSet : public TDataSet {
public:
  explicit TClientDataSet(TComponent *owner = nullptr);
  ~TClientDataSet() override;
  std::string className() const override { return "TClientDataSet"; }

  // Replaces rows and change log with the packet's (closing and reopening); a null packet
  // leaves the dataset closed. Pass a packet you no longer need by move: its rows are taken over.
  void SetData(Variant data);
  // Adds the packet's rows after those in view, as rows loaded (not changes): the next packet of
  // a dataset that reads its rows in packets. The cursor stays on its row.
  void AppendData(Variant data);
  // The rows in view, as a plain packet.
  Variant Data() const;
  // An empty table from the declared fields, or else from FieldDefs, opened.
  void CreateDataSet();
  void EmptyDataSet();

  Variant Delta() const;
  int ChangeCount() const { return static_cast<int>(log_.size()); }
  bool LogChanges() const { return logChanges_; }
  void SetLogChanges(bool logChanges) { logChanges_ = logChanges; }
  void MergeChangeLog();
  void CancelUpdates();

  // "A;B": ascending, case-sensitive, ties in insertion order; "" keeps the order of arrival. An
  // index over a dataset that reads its rows in packets reads every row first.
  const std::string &IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(std::string names);

  Variant oldFieldValue(const TField &field) const override;

protected:
  void internalOpen() override;
  void internalClose() override;
  std::size_t viewCount() const override { return view_.size(); }
  const std::vector<Variant> &viewRow(std::size_t pos) const override { return records_[view_[pos]].values; }
  std::size_t internalPost(std::size_t pos, bool inserting, std::vector<Variant> values) override;
  void internalDelete(std::size_t pos) override;

private:
  enum class Change : std::uint8_t { None, Inserted, Modified, Deleted, Dropped };
  struct Record {
    std::vector<Variant> values;   // as seen now
    std::vector<Variant> original; // baseline values, kept from the first change of a baseline row
    Change change = Change::None;
  };

  void loadPacket(Variant data);
  // The packet's rows as records after those held, converted to the fields.
  void appendRecords(Variant data);
  void normalizeStrings(std::vector<Variant> &values) const;
  void logChange(std::uint32_t record);
  void unlog(std::uint32_t record);
  void sortView();
  bool recordLess(std::uint32_t a, std::uint32_t b) const;
  std::size_t placeInView(std::uint32_t record, std::size_t pos);
  DataPacket emptyPacket() const;
  void rebuildBaseline();

  std::vector<Record> records_;
  std::vector<std::uint32_t> view_;     // records shown, in order
  std::vector<std::uint32_t> baseline_; // the view as of the last load or merge
  std::vector<std::uint32_t> log_;      // changed records, in the order of their first change
  std::vector<int> indexFields_;
  std::string indexFieldNames_;
  Variant pending_; // the packet the next open loads
  bool logChanges_ = true;
};

} // namespace kdr
