#pragma once
// TDataSource connects a dataset to the data-aware controls, each of which follows it through a
// TDataLink. The source turns the dataset's data events into OnStateChange and OnDataChange and
// into the links' notifications. While it is being destroyed with its owner, the links still
// follow the dataset but its own events stay silent: the handlers belong to a form going away.
#include <functional>
#include <string>
#include <vector>

#include "platform/data/dataset.h"
#include "platform/rtl/component.h"

namespace kdr {

class TDataLink;

class TDataSource : public TComponent {
public:
  explicit TDataSource(TComponent *owner = nullptr);
  ~TDataSource() override;
  std::string className() const override { return "TDataSource"; }

  TDataSet *DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet *dataSet);
  TDataSetState State() const { return dataSet_ ? dataSet_->State() : dsInactive; }
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
  // A control starts a modification: with AutoEdit, a browsing dataset goes into Edit (which
  // inserts when it is empty).
  void Edit();

  std::function<void(TDataSource &)> OnStateChange;
  std::function<void(TDataSource &, TField *field)> OnDataChange;
  std::function<void(TDataSource &)> OnUpdateData;

  // For TDataSet and TDataLink.
  void dataEvent(TDataEvent event, TField *field);
  // Offers the field's focus to the links in turn; true once one took it.
  bool focusControl(TField &field);
  void dataSetDestroyed();
  void attachLink(TDataLink *link);
  void detachLink(TDataLink *link);

private:
  void stateChanged();

  TDataSet *dataSet_ = nullptr;
  bool autoEdit_ = true;
  TDataSetState lastState_ = dsInactive;
  std::vector<TDataLink *> links_;
};

// Base of every data-aware control's link to its data source.
class TDataLink {
public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink &) = delete;
  TDataLink &operator=(const TDataLink &) = delete;

  TDataSource *DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource *dataSource);
  TDataSet *DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }
  // The dataset is open.
  bool Active() const { return active_; }
  // The dataset is in edit or insert state.
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // Asks the source to edit, honouring AutoEdit (an empty dataset inserts); true when editing.
  bool Edit();
  // Writes this control's pending text (UpdateData) without hearing its own field change back.
  void UpdateRecord();

  // For TDataSource.
  void dataEvent(TDataEvent event, TField *field);
  bool focusControl(TField &field) { return FocusControl(field); }
  void sourceDestroyed();

protected:
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled() { DataSetChanged(); }
  virtual void LayoutChanged() { DataSetChanged(); }
  // field is null when the whole record changed.
  virtual void RecordChanged(TField *field) { (void)field; }
  // Take the focus for the field when this control shows it; true when it did.
  virtual bool FocusControl(TField &field) {
    (void)field;
    return false;
  }
  // Push the control's pending text into its field through field.Text.
  virtual void UpdateData() {}
  // The dataset is about to settle the record (a move or a post).
  virtual void CheckBrowseMode() {}

private:
  void refreshState();

  TDataSource *dataSource_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
};

} // namespace kdr
