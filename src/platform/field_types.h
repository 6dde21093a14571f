// Field types: the ordinals travel in parameter lists, dataset streams and field-definition texts.
#pragma once

#include <cstdint>

namespace qzt {

enum TFieldType : uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime,
  ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
  ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet,
  ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd,
};
inline constexpr int FieldTypeCount = 38;

// An ordinal from outside as a field type; anything out of range is ftUnknown.
inline TFieldType FieldTypeFromOrdinal(int64_t v) {
  return v >= 0 && v < FieldTypeCount ? static_cast<TFieldType>(v) : ftUnknown;
}

}  // namespace qzt
