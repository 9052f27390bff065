#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "recorder.h"

namespace kdr {
namespace {

using testing::Recorder;
using Log = std::vector<std::string>;

TEST(DataSetEvents, OpenCloseAndSetData) {
  Recorder r;
  r.record();
  r.load({{"1", "01", 1.0}});
  EXPECT_EQ(r.take(), (Log{"BeforeOpen", "link.ActiveChanged", "StateChange:browse", "DataChange",
                           "AfterOpen", "AfterScroll"}));
  r.load({});
  EXPECT_EQ(r.take(),
            (Log{"BeforeClose", "link.ActiveChanged", "StateChange:inactive", "AfterClose", "BeforeOpen",
                 "link.ActiveChanged", "StateChange:browse", "DataChange", "AfterOpen"}));
  r.ds.SetData(Variant(nullptr));
  r.take();
  EXPECT_FALSE(r.ds.Active());
  EXPECT_EQ(r.ds.RecordCount(), 0u);
  EXPECT_TRUE(r.ds.IsEmpty());
}

TEST(DataSetEvents, PostEditCancelAndDelete) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  r.record();
  r.ds.Edit();
  r.ds.FieldByName("CDEMPRESA").SetAsString("03");
  r.ds.Post();
  EXPECT_EQ(r.take(), (Log{"BeforeEdit", "link.EditingChanged", "StateChange:edit", "DataChange", "AfterEdit",
                           "DataChange:CDEMPRESA", "link.UpdateData", "BeforePost", "link.EditingChanged",
                           "StateChange:browse", "DataChange", "AfterPost"}));
  r.ds.Insert();
  r.ds.Cancel();
  EXPECT_EQ(r.take(), (Log{"BeforeInsert", "BeforeScroll", "link.EditingChanged", "StateChange:insert",
                           "OnNewRecord", "DataChange", "AfterInsert", "AfterScroll", "BeforeCancel",
                           "link.EditingChanged", "StateChange:browse", "DataChange", "AfterCancel"}));
  // Delete while inserting is a Cancel; from browse it scrolls.
  r.ds.Append();
  r.take();
  r.ds.Delete();
  EXPECT_EQ(r.take(),
            (Log{"BeforeCancel", "link.EditingChanged", "StateChange:browse", "DataChange", "AfterCancel"}));
  r.ds.Delete();
  EXPECT_EQ(r.take(), (Log{"BeforeDelete", "BeforeScroll", "DataChange", "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(r.ds.RecordCount(), 1u);
}

TEST(DataSetEvents, MovingOffARowPostsWhenModifiedAndCancelsOtherwise) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  r.record();
  r.ds.Edit();
  r.ds.FieldByName("CDEMPRESA").SetAsString("09");
  r.take();
  r.ds.Insert();
  EXPECT_EQ(r.take(), (Log{"link.UpdateData", "BeforePost", "link.EditingChanged", "StateChange:browse",
                           "DataChange", "AfterPost", "BeforeInsert", "BeforeScroll", "link.EditingChanged",
                           "StateChange:insert", "OnNewRecord", "DataChange", "AfterInsert", "AfterScroll"}));
  // Values set by OnNewRecord alone do not make the insert worth posting.
  r.ds.Cancel();
  r.ds.OnNewRecord = [](TDataSet &ds) { ds.FieldByName("CDEMPRESA").SetAsString("01"); };
  r.ds.Insert();
  r.take();
  EXPECT_FALSE(r.ds.Modified());
  r.ds.Next();
  EXPECT_EQ(r.take(), (Log{"link.UpdateData", "BeforeCancel", "link.EditingChanged", "StateChange:browse",
                           "DataChange", "AfterCancel", "BeforeScroll", "DataChange", "AfterScroll"}));
  EXPECT_EQ(r.ds.RecordCount(), 2u);
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").AsString(), "02");
}

TEST(DataSetEvents, ControlTextReachesTheFieldOnPost) {
  Recorder r;
  r.load({{"1", "01", 1.0}});
  r.link.field = &r.ds.FieldByName("CDEMPRESA");
  r.ds.Edit();
  r.link.pendingText = "05";
  r.ds.Post();
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").AsString(), "05");
  EXPECT_EQ(r.ds.ChangeCount(), 1);
}

TEST(DataSetEvents, CloseDuringEditDiscardsSilently) {
  Recorder r;
  r.load({{"1", "01", 1.0}});
  r.ds.Edit();
  r.ds.FieldByName("CDEMPRESA").SetAsString("07");
  r.record();
  r.ds.Close();
  EXPECT_EQ(r.take(), (Log{"BeforeClose", "link.ActiveChanged", "link.EditingChanged", "StateChange:inactive",
                           "AfterClose"}));
}

TEST(DataSetEvents, EditOnAnEmptyDataSetInserts) {
  Recorder r;
  r.load({});
  r.record();
  r.src.Edit();
  EXPECT_EQ(r.ds.State(), dsInsert);
  EXPECT_EQ(r.take(), (Log{"BeforeInsert", "BeforeScroll", "link.EditingChanged", "StateChange:insert",
                           "OnNewRecord", "DataChange", "AfterInsert", "AfterScroll"}));
  EXPECT_FALSE(r.ds.IsEmpty());
  EXPECT_EQ(r.ds.RecordCount(), 0u);
}

TEST(DataSetEvents, AnExceptionFromABeforeEventKeepsTheState) {
  Recorder r;
  r.load({{"1", "01", 1.0}});
  r.ds.BeforePost = [](TDataSet &) { throw EDatabaseError("no"); };
  r.ds.Edit();
  r.ds.FieldByName("CDEMPRESA").SetAsString("04");
  EXPECT_THROW(r.ds.Next(), EDatabaseError);
  EXPECT_EQ(r.ds.State(), dsEdit);
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").AsString(), "04");
  r.ds.BeforePost = nullptr;
  r.ds.BeforeInsert = [](TDataSet &) { throw EDatabaseError("no"); };
  EXPECT_THROW(r.ds.Insert(), EDatabaseError); // the edit was posted first
  EXPECT_EQ(r.ds.State(), dsBrowse);
  EXPECT_EQ(r.ds.ChangeCount(), 1);
}

TEST(DataSetEvents, DisabledControlsHearOneChangeWhenTheLastDisableEnds) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  r.record();
  r.ds.DisableControls();
  r.ds.DisableControls();
  r.ds.Next();
  r.ds.EnableControls();
  EXPECT_EQ(r.take(), (Log{"BeforeScroll", "AfterScroll"}));
  r.ds.EnableControls();
  EXPECT_EQ(r.take(), (Log{"DataChange"}));
  r.ds.First();
  EXPECT_EQ(r.take(), (Log{"BeforeScroll", "DataChange", "AfterScroll"}));
}

TEST(DataSetWalk, FiresAfterScrollOncePerRowAndOnceMore) {
  for (int rows : {0, 1, 3}) {
    Recorder r;
    std::vector<std::vector<Variant>> data;
    for (int i = 0; i < rows; ++i) data.push_back({std::to_string(i + 1), "01", 1.0});
    r.load(data);
    int scrolls = 0;
    std::vector<std::string> seen;
    r.ds.AfterScroll = [&](TDataSet &) { ++scrolls; };
    for (r.ds.First(); !r.ds.Eof(); r.ds.Next()) seen.push_back(r.ds.FieldByName("IDTPFATUCLIE").AsString());
    EXPECT_EQ(scrolls, rows + 1) << rows;
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(rows));
    // The walk ends on the last row, not past it.
    EXPECT_EQ(r.ds.FieldByName("IDTPFATUCLIE").AsString(), rows ? std::to_string(rows) : "");
    EXPECT_EQ(r.ds.RecNo(), static_cast<std::size_t>(rows));
    r.ds.Next();
    EXPECT_EQ(scrolls, rows + 1);
    // First stands at the beginning, so a step back goes nowhere.
    r.ds.First();
    EXPECT_TRUE(r.ds.Bof());
    r.ds.Prior();
    EXPECT_EQ(scrolls, rows + 2);
  }
}

TEST(DataSetLocate, SettlesThePendingEditEvenWhenNothingIsFound) {
  Recorder r;
  r.load({{"1", "01", 1.0}, {"2", "02", 2.0}});
  r.ds.Edit();
  r.ds.FieldByName("CDEMPRESA").SetAsString("09");
  r.record();
  EXPECT_FALSE(r.ds.Locate("IDTPFATUCLIE", "7"));
  EXPECT_EQ(r.take(), (Log{"BeforeScroll", "link.UpdateData", "BeforePost", "link.EditingChanged",
                           "StateChange:browse", "DataChange", "AfterPost"}));
  EXPECT_TRUE(r.ds.Locate("IDTPFATUCLIE", "2"));
  EXPECT_EQ(r.take(), (Log{"BeforeScroll", "DataChange", "AfterScroll"}));
}

TEST(DataSetLocate, MatchesByOptions) {
  Recorder r;
  DataPacket p;
  p.fields = {{"NMEMPRESA", FieldType::String, 40, false},
              {"CDEMPRESA", FieldType::String, 2, false},
              {"NR", FieldType::Integer, 0, false}};
  p.rows = {{RowStatus::Unmodified, {"Manutenção Ltda", "01", 1}},
            {RowStatus::Unmodified, {"MANUTENÇÃO SA", "02", 2}},
            {RowStatus::Unmodified, {nullptr, "03", 3}}};
  r.ds.SetData(makePacketVariant(p));
  struct Case {
    std::string fields;
    Variant values;
    TLocateOptions options;
    std::string found; // CDEMPRESA, or "" when not found
  } cases[] = {
      {"NMEMPRESA", "manutenção sa", 0, ""},
      {"NMEMPRESA", "manutenção sa", loCaseInsensitive, "02"},
      {"NMEMPRESA", "MANUT", loCaseInsensitive, ""},
      {"NMEMPRESA", "MANUT", loPartialKey, "02"},
      {"NMEMPRESA", "manutenção", loCaseInsensitive | loPartialKey, "01"},
      {"NMEMPRESA", nullptr, 0, "03"},
      {"NMEMPRESA", "", 0, "03"},
      {"NMEMPRESA;NR", Variant::Array{"manutenção sa", 2}, loCaseInsensitive, "02"},
      {"NMEMPRESA; NR", Variant::Array{"manutenção sa", 1}, loCaseInsensitive, ""},
      {"NR", "3", 0, "03"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.fields + " " + c.values.debugString());
    r.ds.First();
    bool found = r.ds.Locate(c.fields, c.values, c.options);
    EXPECT_EQ(found, !c.found.empty());
    EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").AsString(), found ? c.found : "01");
  }
  EXPECT_THROW(r.ds.Locate("NADA", "x"), EDatabaseError);
  EXPECT_THROW(r.ds.Locate("NMEMPRESA;NR", "x"), EDatabaseError);
}

TEST(DataSetFields, UnknownNamesAndReadOnlyAndRequired) {
  Recorder r;
  r.load({{"1", "01", 1.0}});
  try {
    r.ds.FieldByName("CDPAIS");
    FAIL();
  } catch (const EDatabaseError &e) {
    EXPECT_STREQ(e.what(), "Campo 'CDPAIS' não encontrado");
  }
  auto &company = r.ds.FieldByName("CDEMPRESA");
  EXPECT_THROW(company.SetAsString("02"), EDatabaseError); // browse state
  company.SetDisplayLabel("Codigo da Empresa");
  company.SetReadOnly(true);
  r.ds.Edit();
  try {
    company.SetAsString("02");
    FAIL();
  } catch (const EDatabaseError &e) {
    EXPECT_STREQ(e.what(), "O campo 'Codigo da Empresa' não pode ser alterado");
  }
  company.SetReadOnly(false);
  company.SetRequired(true);
  company.Clear();
  EXPECT_THROW(r.ds.Post(), EDatabaseError);
  EXPECT_EQ(r.ds.State(), dsEdit);
}

TEST(DataSetIndex, KeepsAscendingOrderWithTiesInArrivalAndFollowsPostedRows) {
  Recorder r;
  r.load({{"3", "01", 1.0}, {"1", "02", 2.0}, {"3", "03", 3.0}, {"2", "04", 4.0}});
  r.ds.SetIndexFieldNames("IDTPFATUCLIE");
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"02", "04", "01", "03"}));
  // An index named before the first load orders that load.
  Recorder early;
  early.ds.SetIndexFieldNames("IDTPFATUCLIE");
  early.load({{"3", "01", 1.0}, {"1", "02", 2.0}});
  EXPECT_EQ(early.column("CDEMPRESA"), (std::vector<std::string>{"02", "01"}));
  r.ds.First();
  r.ds.Insert();
  r.ds.FieldByName("IDTPFATUCLIE").SetAsString("2");
  r.ds.FieldByName("CDEMPRESA").SetAsString("05");
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"05", "02", "04", "01", "03"}));
  r.ds.Post();
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"02", "04", "05", "01", "03"}));
  EXPECT_EQ(r.ds.FieldByName("CDEMPRESA").AsString(), "05"); // the cursor followed the row
  r.ds.Edit();
  r.ds.FieldByName("IDTPFATUCLIE").SetAsString("0");
  r.ds.Post();
  EXPECT_EQ(r.ds.RecNo(), 1u);
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"05", "02", "04", "01", "03"}));
  // A new load keeps the index.
  r.load({{"b", "01", 1.0}, {"a", "02", 2.0}});
  EXPECT_EQ(r.column("CDEMPRESA"), (std::vector<std::string>{"02", "01"}));
}

TEST(DataSetLoad, DeclaredFieldsPickTheirColumns) {
  TClientDataSet ds;
  auto &company = ds.AddStringField("CDEMPRESA", 1);
  ds.AddFloatField("VRPERCAJUSTEINV");
  ds.SetData(Recorder::packet({{"1", "01", 1.5}, {"2", "", nullptr}}));
  EXPECT_EQ(ds.FieldCount(), 2);
  EXPECT_EQ(company.AsString(), "0"); // cut to the declared size
  ds.Next();
  EXPECT_TRUE(company.IsNull()); // "" loads as null
  ds.Close();
  // Declared fields outlive a close: the next load fills the same fields.
  ds.SetData(Recorder::packet({{"3", "05", 2.5}}));
  EXPECT_EQ(ds.FieldCount(), 2);
  EXPECT_EQ(&ds.FieldByName("CDEMPRESA"), &company);
  EXPECT_EQ(company.AsString(), "0");
  ds.Close();
  ds.AddStringField("CDPAIS", 4);
  EXPECT_THROW(ds.SetData(Recorder::packet({})), EDatabaseError);
  EXPECT_FALSE(ds.Active());
}

TEST(DataSetLoad, FieldsOfThePacketStoreStringsAsAStringFieldDoes) {
  TClientDataSet ds;
  ds.SetData(Recorder::packet({{"1", "", nullptr}, {"22", "012", 2.0}}));
  EXPECT_TRUE(ds.FieldByName("CDEMPRESA").IsNull()); // "" loads as null
  ds.Next();
  EXPECT_EQ(ds.FieldByName("IDTPFATUCLIE").AsString(), "2"); // cut to the packet's size
  EXPECT_EQ(ds.FieldByName("CDEMPRESA").AsString(), "01");
}

TEST(DataSetLoad, OpeningWithoutDataIsRefusedInWords) {
  TClientDataSet ds;
  try {
    ds.Open();
    ADD_FAILURE() << "opened";
  } catch (const EDatabaseError &e) {
    EXPECT_STREQ(e.what(), "O conjunto de dados não tem dados para abrir");
  }
  EXPECT_FALSE(ds.Active());
}

TEST(DataSetLoad, CreateDataSetFromFieldDefs) {
  Recorder r;
  r.ds.FieldDefs() = {{"CDEMPRESA", FieldType::String, 2, false}};
  r.record();
  r.ds.CreateDataSet();
  EXPECT_EQ(r.take(),
            (Log{"BeforeOpen", "link.ActiveChanged", "StateChange:browse", "DataChange", "AfterOpen"}));
  EXPECT_TRUE(r.ds.Eof());
  EXPECT_THROW(r.ds.CreateDataSet(), EDatabaseError);
  r.ds.Append();
  r.ds.FieldByName("CDEMPRESA").SetAsString("01");
  r.ds.Post();
  EXPECT_EQ(r.ds.RecordCount(), 1u);
}

} // namespace
} // namespace kdr
