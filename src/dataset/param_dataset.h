// A parameter list described as a dataset: fields Name (string 255), ParamType and DataType (integers),
// one record per item.
#pragma once

#include <memory>

#include "codec/param_list.h"
#include "dataset/vorn_dataset.h"

namespace qzt {

// None for an empty list.
std::unique_ptr<TVornDataSet> ToDataSet(const TVornParamList& list);

}  // namespace qzt
