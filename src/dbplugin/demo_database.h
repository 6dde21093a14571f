// The demo database of a small point-of-sale business, made through the Firebird API: items, customers,
// sales and sale lines with generators and before-insert triggers for their keys, the selectable
// procedure SALES_BY_ITEM, the executable procedure ADD_STOCK, the view V_SALE_TOTALS, text and binary
// blobs, and Korean names stored as CP949 bytes.
#pragma once

#include <string>

namespace qzt {

struct DemoCounts {
  int Items, Customers, Sales, SaleLines;
};

// Creates the database file at `path` (which must not exist) with a few thousand rows.
DemoCounts CreateDemoDatabase(const std::string& path);

}  // namespace qzt
