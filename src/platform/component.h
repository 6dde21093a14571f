// TComponent: the base of objects the server hands around by reference without knowing their kind
// (database sessions and data modules, query components). Owned by whoever created them.
#pragma once

#include <string>

namespace qzt {

class TComponent {
 public:
  virtual ~TComponent() = default;
  std::string Name;
  TComponent* Owner = nullptr;  // the component that created this one and frees it
  virtual std::string ClassName() const { return "TComponent"; }
};

}  // namespace qzt
