// qzt-demodb: creates the demo database of a small point-of-sale business through the Firebird API
// (see src/dbplugin/demo_database.h).
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "dbplugin/demo_database.h"

namespace {

void Usage() {
  std::puts(
      "usage: qzt-demodb PATH [--force]\n"
      "Creates the demo point-of-sale database at PATH (a file path: the embedded engine).\n"
      "--force replaces an existing file.");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help")) {
    Usage();
    return argc < 2 ? 2 : 0;
  }
  const std::string path = argv[1];
  const bool force = argc > 2 && !std::strcmp(argv[2], "--force");
  try {
    if (std::filesystem::exists(path)) {
      if (!force) {
        std::fprintf(stderr, "qzt-demodb: %s exists (use --force to replace it)\n", path.c_str());
        return 1;
      }
      std::filesystem::remove(path);
    }
    const qzt::DemoCounts n = qzt::CreateDemoDatabase(path);
    std::printf("%s: %d items, %d customers, %d sales, %d sale lines\n", path.c_str(), n.Items, n.Customers,
                n.Sales, n.SaleLines);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qzt-demodb: %s\n", e.what());
    return 1;
  }
  return 0;
}
