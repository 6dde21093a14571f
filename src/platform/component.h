// TComponent: the base of objects the server hands around by reference without knowing their kind
// (database sessions and data modules, query components). Owned by whoever created them.
#pragma once

#include <string>

namespace qzt {

class TComponent {
 public:
  virtual ~TComponent() = default;
  std::string Name;
};

}  // namespace qzt
