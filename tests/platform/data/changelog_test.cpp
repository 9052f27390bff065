#include <gtest/gtest.h>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/exceptions.h"
#include "recorder.h"

namespace kdr {
namespace {

using testing::Recorder;

const Variant U = Variant::unassigned();

std::vector<PacketRow> deltaRows(TClientDataSet &ds) { return ds.Delta().packet()->rows; }

void edit(TDataSet &ds, const char *field, Variant value) {
  ds.Edit();
  ds.FieldByName(field).SetValue(value);
  ds.Post();
}

void insert(TDataSet &ds, std::vector<Variant> values) {
  ds.Append();
  for (std::size_t i = 0; i < values.size(); ++i) ds.Fields()[i]->SetValue(values[i]);
  ds.Post();
}

TEST(ChangeLog, NetsTheChangesOfEachRow) {
  using RS = RowStatus;
  struct Case {
    const char *name;
    std::function<void(TClientDataSet &)> act;
    std::vector<PacketRow> delta;
  } cases[] = {
      {"insert",
       [](auto &ds) {
         insert(ds, {"3", "05", 1.5});
       },
       {{RS::Inserted, {"3", "05", 1.5}}}},
      {"modify",
       [](auto &ds) { edit(ds, "CDEMPRESA", "09"); },
       {{RS::Unmodified, {"1", "01", 1.0}}, {RS::Modified, {U, "09", U}}}},
      {"delete", [](auto &ds) { ds.Delete(); }, {{RS::Deleted, {"1", "01", 1.0}}}},
      {"insert then modify",
       [](auto &ds) {
         insert(ds, {"3", "05", 1.5});
         edit(ds, "CDEMPRESA", "06");
       },
       {{RS::Inserted, {"3", "06", 1.5}}}},
      {"insert then delete",
       [](auto &ds) {
         insert(ds, {"3", "05", 1.5});
         ds.Delete();
       },
       {}},
      {"modify then modify",
       [](auto &ds) {
         edit(ds, "CDEMPRESA", "09");
         edit(ds, "VRPERCAJUSTEINV", 7.0);
       },
       {{RS::Unmodified, {"1", "01", 1.0}}, {RS::Modified, {U, "09", 7.0}}}},
      {"modify then delete",
       [](auto &ds) {
         edit(ds, "CDEMPRESA", "09");
         ds.Delete();
       },
       {{RS::Deleted, {"1", "01", 1.0}}}},
      {"changes of several rows in the order made",
       [](auto &ds) {
         ds.Last();
         edit(ds, "CDEMPRESA", "08");
         ds.First();
         ds.Delete();
         edit(ds, "VRPERCAJUSTEINV", nullptr);
       },
       {{RS::Unmodified, {"2", "02", 2.0}},
        {RS::Modified, {U, "08", nullptr}},
        {RS::Deleted, {"1", "01", 1.0}}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Recorder r;
    r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
    c.act(r.ds);
    EXPECT_EQ(deltaRows(r.ds), c.delta);
    EXPECT_EQ(r.ds.ChangeCount() > 0, !c.delta.empty());
    // CancelUpdates brings the load back, in browse, with no scroll.
    r.record();
    r.ds.CancelUpdates();
    EXPECT_EQ(r.column("IDTPFATUCLIE"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"01", "02"}));
    EXPECT_EQ(r.ds.ChangeCount(), 0);
    EXPECT_EQ(r.take(), (std::vector<std::string>{"DataChange"}));
  }
}

TEST(ChangeLog, AFailedSaveKeepsItsChangeForTheNextPost) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  bool serverDown = true;
  std::vector<std::size_t> sent;
  r.ds.AfterPost = [&](TDataSet &) {
    sent.push_back(r.ds.Delta().packet()->rows.size());
    if (serverDown) throw EDatabaseError("Servidor indisponível");
    r.ds.MergeChangeLog();
  };
  r.ds.Edit();
  r.ds.FieldByName("CDEMPRESA").SetAsString("03");
  EXPECT_THROW(r.ds.Post(), EDatabaseError);
  EXPECT_EQ(r.ds.State(), dsBrowse); // the post itself stands
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").OldValue(), Variant("01"));
  serverDown = false;
  r.ds.Next();
  edit(r.ds, "CDEMPRESA", "04");
  EXPECT_EQ(sent, (std::vector<std::size_t>{2, 4})); // the second save carries both changes
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  EXPECT_EQ(r.ds.Delta().packet()->rows.size(), 0u);
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").OldValue(), Variant("04"));
}

TEST(ChangeLog, OldValueFollowsTheBaseline) {
  Recorder r;
  r.load({{"1", "01", 1.0}});
  auto &company = r.ds.FieldByName("CDEMPRESA");
  r.ds.Edit();
  company.SetAsString("02");
  EXPECT_EQ(company.OldValue(), Variant("01"));
  EXPECT_EQ(company.NewValue(), Variant("02"));
  r.ds.Post();
  edit(r.ds, "CDEMPRESA", "03");
  EXPECT_EQ(company.OldValue(), Variant("01"));
  r.ds.Insert();
  EXPECT_TRUE(company.OldValue().isNull());
  r.ds.Cancel();
}

TEST(ChangeLog, MergeMovesTheBaselineACancelGoesBackTo) {
  // A saved insert and a saved change stay when a later edit is cancelled.
  Recorder r;
  r.load({{"1", "01", 1.0}});
  insert(r.ds, {"2", "02", 2.0});
  r.ds.First();
  edit(r.ds, "CDEMPRESA", "03");
  r.ds.MergeChangeLog();
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  r.ds.Last();
  edit(r.ds, "CDEMPRESA", "04");
  r.ds.CancelUpdates();
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"03", "02"}));
}

TEST(ChangeLog, CancelUpdatesCancelsThePendingEditFirst) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  edit(r.ds, "CDEMPRESA", "05");
  r.ds.Last();
  r.ds.Insert();
  r.ds.FieldByName("CDEMPRESA").SetAsString("07");
  r.record();
  r.ds.CancelUpdates();
  EXPECT_EQ(r.take(), (std::vector<std::string>{"BeforeCancel", "link.EditingChanged", "StateChange:browse",
                                                "DataChange", "AfterCancel", "DataChange"}));
  EXPECT_EQ(r.ds.RecordCount(), 2u);
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").AsString(), "02");
}

TEST(ChangeLog, EmptyMergeAndLogChangesOff) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  r.ds.Delete();
  r.record();
  r.ds.EmptyDataSet();
  EXPECT_EQ(r.take(), (std::vector<std::string>{"DataChange"}));
  EXPECT_TRUE(r.ds.IsEmpty());
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  r.ds.CancelUpdates();
  EXPECT_TRUE(r.ds.IsEmpty()); // nothing to bring back

  r.ds.SetLogChanges(false);
  insert(r.ds, {"1", "01", 1.0});
  insert(r.ds, {"2", "02", 2.0});
  edit(r.ds, "CDEMPRESA", "03");
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  r.ds.SetLogChanges(true);
  r.ds.First();
  r.ds.Delete();
  r.ds.CancelUpdates();
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"01", "03"}));
  // Data is what is in view.
  EXPECT_EQ(r.ds.Data().packet()->rows.size(), 2u);
}

TEST(ChangeLog, ARowDeletedWithTheLogOffStaysDeletedWhenLoggedChangesAreCancelled) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}, {"3", "03", 3.0}});
  edit(r.ds, "CDEMPRESA", "05");
  r.ds.SetLogChanges(false);
  r.ds.Last();
  r.ds.Delete();
  r.ds.SetLogChanges(true);
  r.ds.CancelUpdates();
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"01", "02"}));
}

TEST(ChangeLog, DeltaTravelsAsJsonAndBack) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  edit(r.ds, "CDEMPRESA", "03");
  r.ds.Last();
  r.ds.Delete();
  insert(r.ds, {"3", "Manutenção", 2.5});
  const Variant delta = r.ds.Delta();
  EXPECT_EQ(variantFromJsonText(variantToJsonText(delta)), delta);
  EXPECT_EQ(delta.packet()->rows[3].values[1], Variant("Ma")); // cut to the field's size
}

} // namespace
} // namespace kdr
