// The search, multi-choice and find dialogs answered by the scripted user, and the peer seam a
// widget set is written against.
#include "tests/platform/ui/uitest.h"

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/ui/peer.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::test {
namespace {

class ListDialogTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    cds.AddStringField("CDCLIENTE", 21).SetVisible(false);
    cds.AddStringField("NRINSJURCLIE", 20).SetDisplayLabel("Inscrição");
    cds.AddStringField("NMFANTCLIE", 50).SetDisplayLabel("Nome Fantasia");
    cds.CreateDataSet();
    for (auto [code, nr, name] :
         {std::tuple{"C1", "111", "Alfa"}, {"C2", "222", "Beta"}, {"C3", "333", "Gama"}}) {
      cds.Append();
      cds.FieldByName("CDCLIENTE").SetAsString(code);
      cds.FieldByName("NRINSJURCLIE").SetAsString(nr);
      cds.FieldByName("NMFANTCLIE").SetAsString(name);
      cds.Post();
    }
    cds.First();
    src.SetDataSet(&cds);
  }
  TClientDataSet cds;
  TDataSource src;
};

TEST_F(ListDialogTest, ASearchListShowsVisibleFieldsAndLeavesTheSourceOnTheChosenRow) {
  auto &d = Application().dialogs();
  user().expectSearch("Cliente", "Beta").expectSearchCancel("Cliente");
  EXPECT_TRUE(d.searchList("Cliente", src));
  EXPECT_EQ(cds.FieldByName("CDCLIENTE").AsString(), "C2");
  EXPECT_FALSE(d.searchList("Cliente", src));
  EXPECT_EQ(cds.FieldByName("CDCLIENTE").AsString(), "C2") << "a cancelled search moves nothing";
  ASSERT_EQ(user().transcript().size(), 2u);
  EXPECT_EQ(user().transcript()[0].buttons,
            (std::vector<std::string>{"111 | Alfa", "222 | Beta", "333 | Gama"}));
}

TEST_F(ListDialogTest, AMultiChoiceListProducesTheChosenKeysInOrder) {
  std::vector<std::string> keys{"stale"};
  user().expectList("Cliente", {"Gama", "Alfa"}).expectListCancel("Cliente");
  EXPECT_TRUE(Application().dialogs().multiList("Cliente", src, "CDCLIENTE", keys));
  EXPECT_EQ(keys, (std::vector<std::string>{"C1", "C3"}));
  EXPECT_FALSE(Application().dialogs().multiList("Cliente", src, "CDCLIENTE", keys));
  EXPECT_EQ(keys, (std::vector<std::string>{"C1", "C3"}));
}

// A list under another title is another dialog: the user does not answer it.
TEST_F(ListDialogTest, AListUnderAnotherTitleIsNotTheOneExpected) {
  ScriptedUser other([](const std::string &) {});
  std::vector<std::string> keys;
  other.expectSearch("Empresa", "Beta").expectList("Empresa", {"Beta"});
  EXPECT_THROW(Application().dialogs().searchList("Cliente", src), ScriptFailure);
  EXPECT_EQ(cds.FieldByName("CDCLIENTE").AsString(), "C1");
  ASSERT_EQ(other.pending().size(), 2u);
  EXPECT_EQ(other.pending()[0], "search \"Empresa\" choosing \"Beta\"");
  EXPECT_TRUE(Application().dialogs().searchList("Empresa", src));
  EXPECT_THROW(Application().dialogs().multiList("Cliente", src, "CDCLIENTE", keys), ScriptFailure);
  EXPECT_TRUE(keys.empty());
  EXPECT_TRUE(Application().dialogs().multiList("Empresa", src, "CDCLIENTE", keys));
  EXPECT_EQ(keys, std::vector<std::string>{"C2"});
  EXPECT_THROW(other.verify(), ScriptFailure) << "the failures seen are reported at the end";
}

TEST_F(ListDialogTest, TheFindDialogPositionsTheDatasetByTheStartOfAVisibleField) {
  user().expectFind("gam").expectFind("C1");
  EXPECT_TRUE(Application().dialogs().find("Procurar", cds));
  EXPECT_EQ(cds.FieldByName("CDCLIENTE").AsString(), "C3");
  EXPECT_FALSE(Application().dialogs().find("Procurar", cds)) << "hidden fields are not searched";
  EXPECT_EQ(cds.FieldByName("CDCLIENTE").AsString(), "C3");
}

// A widget set that records what its peers hear.
struct Recorder {
  std::vector<std::string> events;
};
class RecordingPeer : public ComponentPeer {
public:
  RecordingPeer(TComponent &c, Recorder &r) : c_(c), r_(r) { r_.events.push_back("create " + c_.Name()); }
  ~RecordingPeer() override { r_.events.push_back("destroy " + name_); }
  void propertyChanged(Prop p) override {
    name_ = c_.Name();
    if (p == Prop::Text) r_.events.push_back(c_.Name() + " text=" + dynamic_cast<TControl &>(c_).Text());
    if (p == Prop::Enabled) r_.events.push_back(c_.Name() + " enabled");
  }
  void focusChanged(bool focused) override {
    r_.events.push_back(c_.Name() + (focused ? " focus" : " blur"));
  }

private:
  TComponent &c_;
  Recorder &r_;
  std::string name_;
};
class RecordingWidgetSet : public WidgetSet {
public:
  explicit RecordingWidgetSet(Recorder &r) : r_(r) {}
  std::unique_ptr<ComponentPeer> createPeer(TComponent &c) override {
    return std::make_unique<RecordingPeer>(c, r_);
  }

private:
  Recorder &r_;
};

TEST_F(UiTest, PeersAreMadeParentFirstOnShowAndHearPropertiesAndFocus) {
  Recorder rec;
  Application().SetWidgetSet(std::make_unique<RecordingWidgetSet>(rec));
  auto *form = TForm::create<TForm>(&Application());
  form->SetName("frm");
  auto *a = make<TEdit>(form, form, "a");
  auto *b = make<TEdit>(form, form, "b");
  EXPECT_TRUE(rec.events.empty()) << "no peers before the form is shown";
  form->Show();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"create frm", "create a", "create b", "a focus"}));
  rec.events.clear();
  user::type(*a, "x");
  user::focus(*b);
  b->SetEnabled(false);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"a text=x", "a blur", "b focus", "b enabled"}));
  rec.events.clear();
  delete a;
  EXPECT_EQ(rec.events, std::vector<std::string>{"destroy a"});
  Application().reset();
  Application().SetWidgetSet(nullptr);
}

} // namespace
} // namespace kdr::test
