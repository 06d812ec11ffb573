// A fresh prefix with a client installation in C:\ZOMA for launch file tests: the
// installation-wide files are written on request, host names come from a test host
// file, and today's date is whatever the test says.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "clientcfg/launch_file.h"
#include "platform/registry.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace clientcfg::testing {

inline int g_year = 2001, g_month = 3, g_day = 15;
inline bool g_date_known = true;

inline bool TestDate(int* year, int* month, int* day) {
  *year = g_year;
  *month = g_month;
  *day = g_day;
  return g_date_known;
}

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeDefaultLaunchFiles();
    SetLocalDateSource(TestDate);
    g_year = 2001, g_month = 3, g_day = 15, g_date_known = true;
    std::filesystem::create_directories(prefix_.drive_c() + "/ZOMA/System");
    platform::testing::WriteHostFile(prefix_.dir() + "/hosts",
                                     "10.0.0.1 mcp.zoma.example\n127.0.0.1 localhost\n");
    setenv("ZOMA_HOSTS", (prefix_.dir() + "/hosts").c_str(), 1);
    platform::reg::WriteString("HKLM\\Software\\Norvance\\Zoma\\Main", "Root Directory",
                               "C:\\ZOMA");
  }
  void TearDown() override {
    FreeDefaultLaunchFiles();
    SetLocalDateSource(nullptr);
    unsetenv("ZOMA_HOSTS");
  }

  // Writes C:\<name> and returns its Windows path.
  std::string Write(const std::string& name, const std::string& contents) {
    platform::testing::WriteHostFile(prefix_.drive_c() + "/" + name, contents);
    return "C:\\" + name;
  }
  void WriteInstallationFiles(const std::string& default_text, const std::string& extra_text) {
    if (!default_text.empty()) Write("ZOMA/System/default.spi", default_text);
    if (!extra_text.empty()) Write("ZOMA/System/extra.spi", extra_text);
  }
  // Loads a text into file_ (flags as given).
  int Load(const std::string& text, unsigned flags = 0) {
    return LoadLaunchFile(&file_, Write("game.spi", text).c_str(), flags);
  }

  platform::testing::TempPrefix prefix_;
  LaunchFile file_;
};

}  // namespace clientcfg::testing
