// TFieldDef and TField: the field definitions and field objects of every dataset.
//
// A field object reads and writes its value through its dataset (TDataSet::GetFieldValue /
// SetFieldValue) as a Variant of the field type's own kind:
//   string, fixed char, wide string, GUID, memo, blob kinds  String (bytes)
//   ftSmallint Int16, ftInteger and ftAutoInc Int32, ftWord UInt16, ftLargeint Int64
//   ftBoolean Boolean; ftFloat and ftCurrency Double; ftBCD Currency; ftFMTBcd FMTBcd
//   ftDate, ftTime, ftDateTime Date; ftTimeStamp SQLTimeStamp; ftBytes, ftVarBytes ByteArray
// The typed accessors convert from and to that value; a null field reads as Null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bcd.h"
#include "platform/exceptions.h"
#include "platform/field_types.h"
#include "platform/variant.h"

namespace qzt {

class TDataSet;

QZT_EXCEPTION(EDatabaseError);

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;
  bool Required = false;
};

bool IsBlobType(TFieldType t);    // memo, blob and nested-dataset kinds
bool IsStringType(TFieldType t);  // string, fixed char, wide string, GUID
bool IsIntegerType(TFieldType t);  // smallint, integer, word, autoinc, largeint
// The Variant kind a field of this type holds.
Variant NormalizeFieldValue(TFieldType t, const Variant& v, std::string_view fieldName);

class TField {
 public:
  TField(TDataSet* dataSet, std::string name, TFieldType type, int32_t size, TFieldKind kind = fkData);
  virtual ~TField() = default;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  std::string FieldName;
  TFieldType DataType;
  int32_t Size;
  TFieldKind FieldKind;
  bool Required = false;
  bool ReadOnly = false;
  bool Visible = true;
  std::string DisplayLabel;
  int FieldNo = 0;  // 1-based number of a data field in its dataset's field list; 0 for others
  int Index = -1;   // position among the dataset's field objects
  // Constraints and defaults, compiled by datasets that support them.
  std::string CustomConstraint, ConstraintErrorMessage, ImportedConstraint, DefaultExpression;
  // Lookup fields: the value of LookupResultField in LookupDataSet where LookupKeyFields = KeyFields.
  TDataSet* LookupDataSet = nullptr;
  std::string KeyFields, LookupKeyFields, LookupResultField;

  TDataSet& DataSet() const { return *dataSet_; }
  std::string DisplayName() const { return DisplayLabel.empty() ? FieldName : DisplayLabel; }
  bool IsBlob() const { return IsBlobType(DataType); }
  bool Calculated() const { return FieldKind != fkData; }

  Variant AsVariant() const;
  void SetAsVariant(const Variant& v);  // Null and Empty clear the field
  bool IsNull() const { return AsVariant().IsNull(); }
  void Clear() { SetAsVariant(Variant::Null()); }

  std::string AsString() const;
  void SetAsString(std::string_view v);  // "" clears every kind but the text and blob kinds
  int32_t AsInteger() const;
  void SetAsInteger(int32_t v) { SetAsVariant(Variant(v)); }
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t v) { SetAsVariant(Variant(v)); }
  double AsFloat() const;
  void SetAsFloat(double v) { SetAsVariant(Variant(v)); }
  int64_t AsCurrency() const;  // amount x 10000
  void SetAsCurrency(int64_t v) { SetAsVariant(Variant::Currency(v)); }
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime v) { SetAsVariant(Variant::Date(v)); }
  bool AsBoolean() const;
  void SetAsBoolean(bool v) { SetAsVariant(Variant(v)); }
  TSQLTimeStamp AsSQLTimeStamp() const;
  TBcd AsBCD() const;
  // The text shown for the value (the same as AsString here: one fixed locale, no display formats).
  std::string Text() const { return AsString(); }
  // Copies the value of another field.
  void Assign(const TField& source) { SetAsVariant(source.AsVariant()); }

 private:
  TDataSet* dataSet_;
};

}  // namespace qzt
