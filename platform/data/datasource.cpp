#include "platform/data/datasource.h"

#include <algorithm>

namespace kdr {

TDataSource::TDataSource(TComponent *owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->detachSource(this);
  for (auto *link : std::vector<TDataLink *>(links_)) link->sourceDestroyed();
}

void TDataSource::SetDataSet(TDataSet *dataSet) {
  if (dataSet_ == dataSet) return;
  if (dataSet_) dataSet_->detachSource(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->attachSource(this);
  stateChanged();
}

void TDataSource::Edit() {
  if (autoEdit_ && dataSet_ && dataSet_->State() == dsBrowse) dataSet_->Edit();
}

void TDataSource::dataSetDestroyed() {
  dataSet_ = nullptr;
  stateChanged();
}

void TDataSource::attachLink(TDataLink *link) { links_.push_back(link); }

void TDataSource::detachLink(TDataLink *link) { std::erase(links_, link); }

void TDataSource::stateChanged() {
  const TDataSetState prior = lastState_;
  lastState_ = State();
  if (prior == lastState_) return;
  for (auto *link : std::vector<TDataLink *>(links_)) link->dataEvent(TDataEvent::UpdateState, nullptr);
  if (IsDestroying()) return;
  if (OnStateChange) OnStateChange(*this);
  // Coming out of inactive is the data change of opening.
  if (prior == dsInactive && OnDataChange) OnDataChange(*this, nullptr);
}

void TDataSource::dataEvent(TDataEvent event, TField *field) {
  if (event == TDataEvent::UpdateState) return stateChanged();
  if (lastState_ == dsInactive) return;
  for (auto *link : std::vector<TDataLink *>(links_)) link->dataEvent(event, field);
  if (IsDestroying()) return;
  switch (event) {
  case TDataEvent::FieldChange:
  case TDataEvent::RecordChange:
  case TDataEvent::DataSetChange:
  case TDataEvent::DataSetScroll:
  case TDataEvent::LayoutChange:
    if (OnDataChange) OnDataChange(*this, field);
    break;
  case TDataEvent::UpdateRecord:
    if (OnUpdateData) OnUpdateData(*this);
    break;
  default:
    break;
  }
}

bool TDataSource::focusControl(TField &field) {
  for (auto *link : std::vector<TDataLink *>(links_))
    if (link->focusControl(field)) return true;
  return false;
}

TDataLink::~TDataLink() {
  if (dataSource_) dataSource_->detachLink(this);
}

void TDataLink::SetDataSource(TDataSource *dataSource) {
  if (dataSource_ == dataSource) return;
  if (dataSource_) dataSource_->detachLink(this);
  dataSource_ = dataSource;
  if (dataSource_) dataSource_->attachLink(this);
  refreshState();
}

void TDataLink::sourceDestroyed() {
  dataSource_ = nullptr;
  refreshState();
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_ && !editing_) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::refreshState() {
  const TDataSetState state = dataSource_ ? dataSource_->State() : dsInactive;
  const bool active = state != dsInactive;
  const bool edits = editing(state);
  if (active != active_) {
    active_ = active;
    ActiveChanged();
  }
  if (edits != editing_) {
    editing_ = edits;
    EditingChanged();
  }
}

void TDataLink::dataEvent(TDataEvent event, TField *field) {
  switch (event) {
  case TDataEvent::UpdateState:
    refreshState();
    break;
  case TDataEvent::FieldChange:
  case TDataEvent::RecordChange:
    if (!updating_) RecordChanged(field);
    break;
  case TDataEvent::DataSetChange:
    DataSetChanged();
    break;
  case TDataEvent::DataSetScroll:
    DataSetScrolled();
    break;
  case TDataEvent::LayoutChange:
    LayoutChanged();
    break;
  case TDataEvent::UpdateRecord:
    UpdateRecord();
    break;
  case TDataEvent::CheckBrowseMode:
    CheckBrowseMode();
    break;
  }
}

} // namespace kdr
