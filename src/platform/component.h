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
  // Frees `child` when this component owns it and lets it go; false when it does not.
  virtual bool FreeComponent(TComponent* child) {
    (void)child;
    return false;
  }
};

// Frees a component: through its owner when it has one (false when the owner keeps it), else itself.
inline bool FreeComponent(TComponent* c) {
  if (!c) return false;
  if (c->Owner) return c->Owner->FreeComponent(c);
  delete c;
  return true;
}

}  // namespace qzt
