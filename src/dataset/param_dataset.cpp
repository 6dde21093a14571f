#include "dataset/param_dataset.h"

namespace qzt {

std::unique_ptr<TVornDataSet> ToDataSet(const TVornParamList& list) {
  if (list.Count() == 0) return nullptr;
  auto ds = std::make_unique<TVornDataSet>();
  ds->AddFastField("Name", ftString, 255);
  ds->AddFastField("ParamType", ftInteger, 0);
  ds->AddFastField("DataType", ftInteger, 0);
  ds->Open();
  for (int i = 0; i < list.Count(); ++i) {
    const TVornParamItem& item = list.Items(i);
    ds->AppendRecord({Variant(item.Name), Variant(int32_t{item.ParamType}), Variant(int32_t{item.DataType})});
  }
  ds->First();
  return ds;
}

}  // namespace qzt
