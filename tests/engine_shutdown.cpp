// Test programs that reach the database end the engine's threads after the last test, before the
// process exits (and before the leak checker looks at the threads).
#include <gtest/gtest.h>

#include "dbplugin/fb_access.h"

namespace {

class EngineShutdown : public ::testing::Environment {
 public:
  void TearDown() override { qzt::ShutdownEngine(); }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new EngineShutdown);

}  // namespace
