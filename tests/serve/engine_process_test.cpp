// The per-process engine that every binding starts: it makes the shared
// library manager unless one is running already, and unloads only its own.
#include <gtest/gtest.h>

#include <chrono>

#include "ext/posix_external_library_manager.h"
#include "host/engine_process.h"

namespace pexo {
namespace testing_serve {
namespace {

TEST(EngineProcessTest, LibraryManagerLivesWithTheProcessThatMadeIt) {
  StopExternalLibraries();  // whatever an earlier test left running
  {
    EngineProcess process(std::chrono::milliseconds(200));
    ASSERT_TRUE(process.Start());
    EXPECT_NE(ProcessLibraryManager(), nullptr);
    process.Stop();
    EXPECT_EQ(ProcessLibraryManager(), nullptr);
  }
  ASSERT_TRUE(StartExternalLibraries());
  ExternalLibraryManager* earlier = ProcessLibraryManager();
  {
    EngineProcess process(std::chrono::milliseconds(200));
    ASSERT_TRUE(process.Start());
    EXPECT_EQ(ProcessLibraryManager(), earlier);
  }
  EXPECT_EQ(ProcessLibraryManager(), earlier);
  StopExternalLibraries();
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
