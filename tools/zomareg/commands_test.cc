// zomareg's operations with their output captured: reg.exe's query layout, answers to
// its questions, and data conversions for add.
#include "tools/zomareg/commands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace zomareg {
namespace {

class CommandsTest : public ::testing::Test {
 protected:
  int Run(int (*operation)(const Options&, Console&), const Options& options,
          const std::string& answers = "") {
    in_.str(answers);
    in_.clear();
    out_.str("");
    err_.str("");
    return operation(options, console_);
  }
  Options Value(const std::string& key, const std::string& name) {
    Options options;
    options.key = key;
    options.value = name;
    return options;
  }

  platform::testing::TempPrefix prefix_;
  std::istringstream in_;
  std::ostringstream out_, err_;
  Console console_{in_, out_, err_};
};

TEST_F(CommandsTest, QueryListsValuesThenSubkeysLikeRegExe) {
  ASSERT_EQ(platform::reg::WriteString("HKLM\\Software\\Q", "", "dflt"), 0u);
  ASSERT_EQ(platform::reg::WriteDword("HKLM\\Software\\Q", "Number", 255), 0u);
  ASSERT_EQ(platform::reg::WriteValue("HKLM\\Software\\Q", "Raw", 3, "\x01\xAB"), 0u);
  ASSERT_EQ(platform::reg::WriteString("HKLM\\Software\\Q\\Sub\\Deeper", "x", "y"), 0u);
  Options options;
  options.key = "hklm\\Software\\Q";
  ASSERT_EQ(Run(Query, options), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "\nHKEY_LOCAL_MACHINE\\Software\\Q\n"
            "    (Default)    REG_SZ    dflt\n"
            "    Number    REG_DWORD    0xff\n"
            "    Raw    REG_BINARY    01AB\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\Q\\Sub\n");
}

TEST_F(CommandsTest, AddAsksBeforeOverwritingAndConvertsData) {
  Options options = Value("HKCU\\Software\\A", "V");
  options.type = "reg_expand_sz";
  options.data = "%PATH%";
  ASSERT_EQ(Run(Add, options), 0) << err_.str();
  options.data = "changed";
  EXPECT_EQ(Run(Add, options, "no\n"), 1);
  EXPECT_EQ(out_.str(),
            "Value V exists, overwrite (Yes/No)? The operation was cancelled by the user.\n");
  platform::reg::Value value;
  ASSERT_EQ(platform::reg::ReadValue("HKCU\\Software\\A", "V", &value), 0u);
  EXPECT_EQ(value.data, std::string("%PATH%", 7));
  EXPECT_EQ(Run(Add, options, "yes\n"), 0);
  ASSERT_EQ(platform::reg::ReadValue("HKCU\\Software\\A", "V", &value), 0u);
  EXPECT_EQ(value.type, platform::reg::kRegExpandSz);
  EXPECT_EQ(value.data, std::string("changed", 8));

  options = Value("HKCU\\Software\\A", "M");
  options.type = "REG_MULTI_SZ";
  options.separator = "|";
  options.data = "one|two";
  ASSERT_EQ(Run(Add, options), 0);
  EXPECT_EQ(platform::reg::ReadMultiString("HKCU\\Software\\A", "M"),
            std::vector<std::string>({"one", "two"}));
  options.data = "one||two";
  EXPECT_EQ(Run(Add, options), 1);
  for (const char* bad : {"-1", "12x", "0x100000000"}) {
    options = Value("HKCU\\Software\\A", "D");
    options.type = "REG_DWORD";
    options.data = bad;
    EXPECT_EQ(Run(Add, options), 1) << bad;
    EXPECT_NE(err_.str().find("Invalid value"), std::string::npos) << err_.str();
  }
  options.type = "REG_FLOAT";
  EXPECT_EQ(Run(Add, options), 1);
}

}  // namespace
}  // namespace zomareg
