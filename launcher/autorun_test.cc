// The AutoRun policy change: saved, set to 255 and restored on Windows 95/98, never
// touched on the NT family; the state itself changes everywhere.
#include "launcher/autorun.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace zoma::launcher {
namespace {

namespace reg = platform::reg;

const std::string kPolicies = std::string("HKCU\\") + kExplorerPoliciesKey;

class AutoRun : public ::testing::Test {
 protected:
  void SetVersion(const char* version) {
    reg::WriteString("HKLM\\Software\\Zoma Platform", "Windows Version", version);
  }
  reg::Value Policy() {
    reg::Value value;
    reg::ReadValue(kPolicies, kNoDriveTypeAutoRun, &value);
    return value;
  }
  platform::testing::TempPrefix prefix_;
};

TEST_F(AutoRun, Windows95SavesSetsAndRestores) {
  SetVersion("win98");
  reg::WriteDword(kPolicies, kNoDriveTypeAutoRun, 0x91);
  AutoRunControl control;
  EXPECT_EQ(control.state(), 1);
  control.SetState(0);
  EXPECT_EQ(control.state(), 0);
  EXPECT_EQ(Policy().type, reg::kRegBinary);
  EXPECT_EQ(Policy().data, std::string("\xFF\x00\x00\x00", 4));
  control.SetState(0);  // no change: the saved value stays 0x91, not 255
  control.SetState(1);
  EXPECT_EQ(Policy().type, reg::kRegBinary);
  EXPECT_EQ(Policy().data, std::string("\x91\x00\x00\x00", 4));
  control.SetState(1);  // already allowed: nothing written
  reg::WriteDword(kPolicies, kNoDriveTypeAutoRun, 5);
  control.SetState(1);
  EXPECT_EQ(reg::ReadDword(kPolicies, kNoDriveTypeAutoRun), 5u);
}

TEST_F(AutoRun, Windows95WithoutAValueOrKey) {
  SetVersion("win95");
  AutoRunControl no_key;  // the policies key is missing: nothing is written anywhere
  no_key.SetState(0);
  no_key.SetState(1);
  EXPECT_EQ(Policy().type, reg::kRegNone);

  reg::WriteString(kPolicies, "Other", "x");
  AutoRunControl no_value;
  no_value.SetState(0);
  EXPECT_EQ(Policy().type, reg::kRegNone);  // unreadable: not set to 255
  no_value.SetState(1);
  EXPECT_EQ(Policy().data, std::string("\x95\x00\x00\x00", 4));
}

TEST_F(AutoRun, NtFamilyOnlyRecordsTheState) {
  for (const char* version : {"nt4", "xp"}) {
    SetVersion(version);
    reg::WriteDword(kPolicies, kNoDriveTypeAutoRun, 0x91);
    AutoRunControl control;
    control.SetState(0);
    EXPECT_EQ(control.state(), 0);
    EXPECT_EQ(Policy().type, reg::kRegDword) << version;
    control.SetState(1);
    EXPECT_EQ(control.state(), 1);
    EXPECT_EQ(reg::ReadDword(kPolicies, kNoDriveTypeAutoRun), 0x91u) << version;
  }
}

}  // namespace
}  // namespace zoma::launcher
