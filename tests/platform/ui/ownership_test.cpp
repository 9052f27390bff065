// Datasets and data sources as components owned by their form: found by name like controls, and
// destroyed with the form in whatever order they were made, without an event reaching a control
// that is already gone. Run under the address sanitizer, a late event is a use after free.
#include "tests/platform/ui/uitest.h"

#include <algorithm>
#include <array>

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/ui/buttons.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/dump.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::test {
namespace {

using OwnershipTest = UiTest;

enum Part { Source, DataSet, Button, Grid };

// A form whose parts are made in the given order; the source's state handler touches the button.
struct EditingForm {
  TForm *form = TForm::create<TForm>(&Application());
  TDataSource *source = nullptr;
  TClientDataSet *dataSet = nullptr;
  TSpeedButton *button = nullptr;
  TDBGrid *grid = nullptr;
  bool tearingDown = false;
  int lateStateChanges = 0;

  explicit EditingForm(const std::array<Part, 4> &order) {
    form->SetName("frmOrdem");
    for (Part part : order) {
      if (part == Source) source = kdr::make<TDataSource>(form, "dtsOrdem");
      if (part == DataSet) dataSet = kdr::make<TClientDataSet>(form, "cdsOrdem");
      if (part == Button) button = placed<TSpeedButton>(form, "btnConfirma", form);
      if (part == Grid) grid = placed<TDBGrid>(form, "dbgOrdem", form);
    }
    dataSet->AddStringField("CDEMPRESA", 2);
    dataSet->CreateDataSet();
    dataSet->Append();
    dataSet->FieldByName("CDEMPRESA").SetAsString("01");
    dataSet->Post();
    source->SetDataSet(dataSet);
    grid->SetDataSource(source);
    grid->addColumn("CDEMPRESA");
    source->OnStateChange = [this](TDataSource &s) {
      if (tearingDown) ++lateStateChanges;
      button->SetEnabled(s.State() == dsEdit);
    };
    form->OnDestroy = [this](TComponent *) { tearingDown = true; };
    form->Show();
  }
  // The handlers point here: the form must not outlive this.
  ~EditingForm() { delete alive.get(); }
  Ref<TForm> alive{form};
};

TEST_F(OwnershipTest, AFormEditingARowGoesQuietlyWhateverTheOrderItsPartsWereMade) {
  std::array<Part, 4> order{Source, DataSet, Button, Grid};
  do {
    SCOPED_TRACE(testing::Message() << "order " << order[0] << order[1] << order[2] << order[3]);
    EditingForm f(order);
    ASSERT_TRUE(user::clickCell(*f.grid, 0, 0));
    ASSERT_TRUE(user::type(*f.grid, "02"));
    ASSERT_EQ(f.dataSet->State(), dsEdit);
    ASSERT_TRUE(f.button->Enabled());
    delete f.form;
    EXPECT_EQ(f.lateStateChanges, 0);
    EXPECT_TRUE(Application().forms().empty());
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(OwnershipTest, DataPartsAreFoundByNameAndNameTheirKind) {
  EditingForm f({Source, DataSet, Button, Grid});
  EXPECT_EQ(f.form->FindComponent("CDSORDEM"), f.dataSet);
  EXPECT_EQ(f.form->find<TDataSet>("cdsOrdem"), f.dataSet);
  EXPECT_EQ(f.form->find<TDataSource>("dtsOrdem"), f.source);
  EXPECT_EQ(f.dataSet->className(), "TClientDataSet");
  EXPECT_EQ(f.source->className(), "TDataSource");
  EXPECT_EQ(f.dataSet->Owner(), f.form);

  // A dataset freed on its own leaves its owner's list and its source.
  delete f.dataSet;
  EXPECT_EQ(f.form->FindComponent("cdsOrdem"), nullptr);
  EXPECT_EQ(f.source->DataSet(), nullptr);
  EXPECT_FALSE(f.button->Enabled());
}

// Only a source going away with its owner keeps quiet: one on a live form still hears its
// dataset go.
TEST_F(OwnershipTest, ASourceOnALiveFormHearsItsDataSetGo) {
  auto *data = TForm::create<TForm>(&Application());
  auto *dataSet = kdr::make<TClientDataSet>(data, "cdsEmpresa");
  dataSet->AddStringField("CDEMPRESA", 2);
  dataSet->CreateDataSet();
  EditingForm f({Source, DataSet, Button, Grid});
  f.source->SetDataSet(dataSet);
  std::vector<TDataSetState> heard;
  f.source->OnStateChange = [&](TDataSource &s) { heard.push_back(s.State()); };
  delete data;
  EXPECT_EQ(heard, std::vector<TDataSetState>{dsInactive});
  EXPECT_EQ(f.source->DataSet(), nullptr);
}

TEST_F(OwnershipTest, AControlIsPlacedBeforeASibling) {
  TForm *form = shownForm();
  auto *bar = placed<TPanel>(form, "panMenu", form);
  auto *first = placed<TSpeedButton>(form, "btnIncluir", bar);
  auto *print = placed<TSpeedButton>(form, "btnImprimir", bar);
  auto *added = placed<TSpeedButton>(form, "btnDescPad", bar);
  auto names = [&] {
    std::vector<std::string> list;
    for (int i = 0; i < bar->ControlCount(); ++i) list.push_back(bar->Controls(i)->Name());
    return list;
  };
  added->placeBefore(print);
  EXPECT_EQ(names(), (std::vector<std::string>{"btnIncluir", "btnDescPad", "btnImprimir"}));
  added->placeBefore(first);
  EXPECT_EQ(names(), (std::vector<std::string>{"btnDescPad", "btnIncluir", "btnImprimir"}));
  EXPECT_LT(dumpForm(*form).find("btnDescPad"), dumpForm(*form).find("btnIncluir"));

  auto *elsewhere = placed<TSpeedButton>(form, "btnFora", form);
  for (TControl *sibling : std::vector<TControl *>{elsewhere, added, nullptr})
    EXPECT_THROW(added->placeBefore(sibling), EInvalidOperation);
  EXPECT_EQ(names(), (std::vector<std::string>{"btnDescPad", "btnIncluir", "btnImprimir"}));
}

} // namespace
} // namespace kdr::test
