// Test fixture for the Windows view: a fresh prefix, the process's current directory put
// back afterwards, and small helpers to make host files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/testing/temp_prefix.h"

namespace platform::testing {

class WindowsViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    saved_cwd_ = cwd;
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(prefix_.drive_c().c_str(), resolved), nullptr);
    drive_c_ = resolved;
  }
  void TearDown() override { ASSERT_EQ(chdir(saved_cwd_.c_str()), 0); }

  // Host path of the C: drive with links resolved (what the mapping reports).
  const std::string& drive_c() const { return drive_c_; }

  static void WriteHostFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
  }
  static std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TempPrefix prefix_;

 private:
  std::string saved_cwd_;
  std::string drive_c_;
};

}  // namespace platform::testing
