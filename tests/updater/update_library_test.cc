#include "updater/update_library.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/paths.h"
#include "platform/testing/temp_prefix.h"
#include "updater/testing/fakes.h"

namespace zoma {
namespace {

TEST(UpdateLibrary, LoadsAndBindsEveryCallOrNothing) {
  platform::testing::TempPrefix prefix;
  SystemServices& system = DefaultSystemServices();
  std::optional<LoadedUpdateLibrary> library =
      LoadUpdateLibrary(system, platform::ToWindowsPath(STUB_UPDATE_LIBRARY));
  ASSERT_TRUE(library);
  EXPECT_NE(library->calls.init_update, nullptr);
  EXPECT_NE(library->calls.term_update, nullptr);
  system.FreeModule(library->module);

  std::ofstream(prefix.drive_c() + "/mrbupd.dll") << "not a library";
  EXPECT_FALSE(LoadUpdateLibrary(system, "C:\\mrbupd.dll"));
  EXPECT_FALSE(LoadUpdateLibrary(system, "C:\\missing.dll"));

  // A module without the calls binds nothing.
  testing::FakeSystemServices fake;
  int module = 0;
  EXPECT_FALSE(BindUpdateLibrary(fake, &module));
  EXPECT_FALSE(BindUpdateLibrary(fake, nullptr));
}

}  // namespace
}  // namespace zoma
