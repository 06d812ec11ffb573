// Temporary files of scripts live as long as the instance that made them, and every new
// instance gets the same care.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/testing/windows_view.h"
#include "script/tessel.h"

namespace script {
namespace {

class TemporaryFilesTest : public platform::testing::WindowsViewTest {
 protected:
  std::string Run(Instance* instance, std::string_view text) {
    TextBuffer out;
    Evaluate(out, text, instance);
    return std::string(out.view());
  }
  static bool Exists(const std::string& name) {
    return platform::GetFileAttributes(name) != platform::kInvalidFileAttributes;
  }
};

TEST_F(TemporaryFilesTest, GoWithTheInstanceThatMadeThem) {
  for (int round = 0; round < 2; ++round) {
    Instance* instance = CreateInstance();
    std::string first = Run(instance, "$GetTemporaryFilename{}");
    std::string second = Run(instance, "$GetTemporaryFile{}");
    ASSERT_TRUE(Exists(first)) << first;
    ASSERT_TRUE(Exists(second)) << second;
    EXPECT_NE(first, second);
    EXPECT_NE(first.find("\\TSL"), std::string::npos);
    // A read-only one goes too; one the script removed itself is no trouble.
    platform::SetFileAttributes(first, platform::kFileAttributeReadonly);
    platform::DeleteFile(second);
    DestroyInstance(instance);
    EXPECT_FALSE(Exists(first)) << "round " << round;
  }
}

}  // namespace
}  // namespace script
