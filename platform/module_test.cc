#include "platform/module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

const std::string kModuleHost = ZOMA_TEST_MODULE;
const std::string kModule = ToWindowsPath(kModuleHost);

using AddFunction = int (*)(int, int);
using CountFunction = int (*)();

TEST(Module, LoadsByPathAndFindsExports) {
  ModuleHandle module = LoadLibrary(kModule);
  ASSERT_NE(module, nullptr);
  auto add = reinterpret_cast<AddFunction>(GetProcAddress(module, "TestModuleAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorProcNotFound);

  // Already loaded: the same module, found by base name in any case and without ".dll".
  EXPECT_EQ(GetModuleHandle("TESTMODULE"), module);
  EXPECT_EQ(GetModuleHandle("testmodule.dll"), module);
  EXPECT_EQ(GetModuleHandle(kModule), module);
  EXPECT_EQ(LoadLibrary("TestModule"), module);
  EXPECT_EQ(GetModuleFileName(module), kModule);

  char buffer[8];
  std::memset(buffer, 0xbd, sizeof buffer);
  EXPECT_EQ(GetModuleFileName(module, buffer, sizeof buffer), sizeof buffer);
  EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(std::string(buffer), kModule.substr(0, 7));

  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandle("testmodule"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorModNotFound);
}

TEST(Module, BareNamesAreSearchedAndMissingOnesFail) {
  testing::TempPrefix prefix;
  std::string dir = kModuleHost.substr(0, kModuleHost.rfind('/'));
  const char* old_path = std::getenv("PATH");
  std::string saved = old_path ? old_path : "";
  setenv("PATH", dir.c_str(), 1);
  ModuleHandle module = LoadLibrary("testmodule");
  setenv("PATH", saved.c_str(), 1);
  ASSERT_NE(module, nullptr);
  auto count = reinterpret_cast<CountFunction>(GetProcAddress(module, "TestModuleCount"));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count(), 1);
  EXPECT_TRUE(FreeLibrary(module));

  EXPECT_EQ(LoadLibrary("no-such-module"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorModNotFound);
  // "name." means the name has no extension: ".dll" is not added.
  EXPECT_EQ(LoadLibrary(kModule.substr(0, kModule.size() - 3)), nullptr);
  std::string text = prefix.drive_c() + "/broken.dll";
  FILE* file = fopen(text.c_str(), "w");
  fputs("not a library", file);
  fclose(file);
  EXPECT_EQ(LoadLibrary("c:\\BROKEN"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorBadExeFormat);
}

TEST(Module, RunningProgram) {
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  EXPECT_EQ(GetModuleFileName(nullptr), ToWindowsPath(self));
  EXPECT_EQ(GetModuleFileName(GetModuleHandle("")), ToWindowsPath(self));
  // ".dll" is implied unless a trailing "." says "no extension".
  EXPECT_EQ(GetModuleHandle("platform_test"), nullptr);
  EXPECT_EQ(GetModuleHandle("PLATFORM_TEST."), GetModuleHandle(""));
}

}  // namespace
}  // namespace platform
