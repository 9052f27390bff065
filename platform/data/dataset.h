#pragma once
// TDataSet: the cursor, the record states and the classic event order over rows kept by a
// concrete dataset. Every move settles a pending edit first (CheckBrowseMode: post when modified,
// cancel otherwise); Close discards it silently; Edit on an empty dataset inserts.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/fields.h"
#include "platform/rtl/component.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/variant.h"

namespace kdr {

class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// A record is being edited or inserted: it has values not yet posted.
inline bool editing(TDataSetState state) { return state == dsEdit || state == dsInsert; }

// What a dataset tells its data sources (and they their links).
enum class TDataEvent {
  FieldChange,     // one field written; the field goes along
  RecordChange,    // the current record changed as a whole (Edit)
  DataSetChange,   // open, insert, resync after Post, Cancel or Delete
  DataSetScroll,   // the cursor moved
  LayoutChange,    // a field's label, width or visibility changed
  UpdateRecord,    // controls: write your pending text into the fields now
  UpdateState,     // the state changed
  CheckBrowseMode, // a move or post is about to settle the record
};

enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

// "A; B" gives {"A", "B"}.
std::vector<std::string_view> splitFieldNames(std::string_view names);

using TDataSetNotifyEvent = std::function<void(TDataSet &)>;

class TDataSet : public TComponent {
public:
  explicit TDataSet(TComponent *owner = nullptr);
  ~TDataSet() override;

  // Declared (persistent) fields, kept across Open and Close. Without any, the dataset makes
  // its fields from the field definitions of the data when it opens.
  TStringField &AddStringField(std::string fieldName, int size);
  TIntegerField &AddIntegerField(std::string fieldName);
  TFloatField &AddFloatField(std::string fieldName);
  TBooleanField &AddBooleanField(std::string fieldName);

  const std::vector<TField *> &Fields() const { return fieldList_; }
  int FieldCount() const { return static_cast<int>(fieldList_.size()); }
  // Raises EDatabaseError "Field 'X' not found".
  TField &FieldByName(std::string_view fieldName) const;
  TField *FindField(std::string_view fieldName) const;
  std::vector<FieldDef> &FieldDefs() { return fieldDefs_; }
  const std::vector<FieldDef> &FieldDefs() const { return fieldDefs_; }

  bool Active() const { return state_ != dsInactive; }
  void SetActive(bool active) { active ? Open() : Close(); }
  void Open();
  void Close();
  TDataSetState State() const { return state_; }
  bool Modified() const { return modified_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  // True on a closed dataset; false while inserting, the new record counts.
  bool IsEmpty() const;
  // Rows in view, deleted and unposted ones excluded; 0 on a closed dataset. A dataset that reads
  // its rows in packets counts those read so far.
  std::size_t RecordCount() const;
  // 1-based position of the current row; 0 when there is none.
  std::size_t RecNo() const;

  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  void MoveBy(int distance);
  void Insert() { insertRecord(false); }
  void Append() { insertRecord(true); }
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void CheckBrowseMode();
  void UpdateRecord();
  // keyFields "A;B"; keyValues one value, or an array with one value per field.
  bool Locate(std::string_view keyFields, const Variant &keyValues, TLocateOptions options = 0);

  // While disabled, data sources hear nothing; enabling sends one data-set change.
  void DisableControls() { ++controlsDisabled_; }
  void EnableControls();
  bool ControlsDisabled() const { return controlsDisabled_ > 0; }

  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord;

  // Grids draw rows other than the current one. Display rows are the rows in view plus the
  // record being inserted, at its place; while a DisplayRow lives, field reads show that row.
  std::size_t displayRowCount() const;
  std::size_t currentDisplayRow() const;
  class DisplayRow {
  public:
    DisplayRow(TDataSet &dataSet, std::size_t row);
    ~DisplayRow();
    DisplayRow(const DisplayRow &) = delete;
    DisplayRow &operator=(const DisplayRow &) = delete;

  private:
    TDataSet &dataSet_;
    long previous_;
  };

  // For TField and TDataSource.
  const Variant &fieldValue(const TField &field) const;
  void setFieldValue(TField &field, Variant value);
  virtual Variant oldFieldValue(const TField &field) const;
  void layoutChanged() { dataEvent(TDataEvent::LayoutChange); }
  // The first control of any source that shows the field takes the focus; false when none did.
  bool focusControl(TField &field);
  void attachSource(TDataSource *source);
  void detachSource(TDataSource *source);

protected:
  // The concrete dataset keeps the rows in view, in order; positions count from 0.
  virtual void internalOpen() = 0; // rows and fields ready; may raise
  virtual void internalClose() = 0;
  virtual std::size_t viewCount() const = 0;
  virtual const std::vector<Variant> &viewRow(std::size_t pos) const = 0;
  // Stores the buffer as an edit of the row at pos, or as a new row inserted at pos; returns
  // the row's position afterwards (an index may move it).
  virtual std::size_t internalPost(std::size_t pos, bool inserting, std::vector<Variant> values) = 0;
  virtual void internalDelete(std::size_t pos) = 0;
  // A dataset that reads its rows in packets brings the next one into view (after the rows in view)
  // and answers true; false once every row is in. Moving past the last row, Last and Locate read
  // on as far as they need.
  virtual bool fetchMore() { return false; }
  void fetchAll() {
    while (fetchMore()) {
    }
  }

  // Fields made from definitions, dropped at Close; declared fields stay.
  bool hasDeclaredFields() const { return !declared_.empty(); }
  void createFields(const std::vector<FieldDef> &defs);
  void destroyDynamicFields();
  // Settles the cursor after the rows changed wholesale (load, merge, cancel of updates).
  void resetCursor(std::size_t pos);
  void setState(TDataSetState state);
  void dataEvent(TDataEvent event, TField *field = nullptr);
  std::size_t cursor() const { return pos_; }
  void fire(const TDataSetNotifyEvent &event) {
    if (event) event(*this);
  }

private:
  void checkActive() const;
  void checkEditing() const;
  void checkCanModify() const;
  void checkRequired() const;
  void insertRecord(bool append);
  // Post once the controls have written their text.
  void postRecord();
  void scrolled();
  bool matches(const std::vector<Variant> &row, const std::vector<const TField *> &fields,
               const std::vector<Variant> &keys, TLocateOptions options) const;

  TField &addField(std::unique_ptr<TField> field);

  std::vector<std::unique_ptr<TField>> declared_;
  std::vector<std::unique_ptr<TField>> dynamic_;
  std::vector<TField *> fieldList_;
  std::vector<FieldDef> fieldDefs_;
  std::vector<TDataSource *> sources_;

  TDataSetState state_ = dsInactive;
  bool modified_ = false;
  bool readOnly_ = false;
  bool eof_ = true;
  bool bof_ = true;
  std::size_t pos_ = 0;       // current row in view
  std::size_t insertPos_ = 0; // where the record being inserted sits
  std::size_t beforeInsertPos_ = 0;
  std::vector<Variant> buffer_; // the record being edited or inserted
  long displayRow_ = -1;
  int controlsDisabled_ = 0;
};

} // namespace kdr
