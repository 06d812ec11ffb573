// probekit.dll loaded the way a host loads it, its exports called by name, and the
// answers compared with what the machine says of itself (/proc/cpuinfo, the locale,
// the system directory).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/testing/temp_prefix.h"

namespace {

using Probe = std::int32_t (*)(std::int32_t*);

class ProbekitLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(PROBEKIT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (library_) dlclose(library_);
  }
  Probe Export(const char* name) {
    auto probe = reinterpret_cast<Probe>(dlsym(library_, name));
    EXPECT_NE(probe, nullptr) << name;
    return probe;
  }

  platform::testing::TempPrefix prefix_;
  void* library_ = nullptr;
};

std::set<std::string> CpuFlags() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::set<std::string> flags;
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    for (std::string word; words >> word;) flags.insert(word);
    break;
  }
  return flags;
}

TEST_F(ProbekitLibrary, OnlyTheThreeProbesAreExported) {
  EXPECT_NE(Export("CheckCab"), nullptr);
  EXPECT_NE(Export("CheckKatmai"), nullptr);
  EXPECT_NE(Export("CheckUK"), nullptr);
  // The platform layer inside stays private.
  EXPECT_EQ(dlsym(library_, "_ZN8platform18GetUserDefaultLCIDEv"), nullptr);
}

TEST_F(ProbekitLibrary, KatmaiAgreesWithTheProcessorFlags) {
  std::set<std::string> flags = CpuFlags();
  if (flags.empty()) GTEST_SKIP() << "/proc/cpuinfo lists no flags on this processor";
  std::int32_t expected = 0;
  if (flags.count("fpu") && flags.count("cmov") && flags.count("mmx") && flags.count("sse"))
    expected = 1;
  else if (flags.count("3dnow"))
    expected = 2;
  std::int32_t answer = -1;
  EXPECT_EQ(Export("CheckKatmai")(&answer), expected ? 1 : 0);
  EXPECT_EQ(answer, expected);
  // A null answer pointer is only returned to.
  EXPECT_EQ(Export("CheckKatmai")(nullptr), expected ? 1 : 0);
}

TEST_F(ProbekitLibrary, UkFollowsTheUsersLocale) {
  Probe check = Export("CheckUK");
  struct Case {
    const char* lang;
    std::int32_t locale;
    std::int32_t answer;
  } cases[] = {{"en_GB.UTF-8", 2057, 1}, {"en_US.UTF-8", 1033, 0}, {"de_DE", 1031, 0}};
  const char* saved_all = std::getenv("LC_ALL");
  const char* saved_ctype = std::getenv("LC_CTYPE");
  std::string all = saved_all ? saved_all : "", ctype = saved_ctype ? saved_ctype : "";
  unsetenv("LC_ALL");
  unsetenv("LC_CTYPE");
  for (const Case& c : cases) {
    setenv("LANG", c.lang, 1);
    std::int32_t answer = -1;
    EXPECT_EQ(check(&answer), c.locale) << c.lang;
    EXPECT_EQ(answer, c.answer) << c.lang;
  }
  if (saved_all) setenv("LC_ALL", all.c_str(), 1);
  if (saved_ctype) setenv("LC_CTYPE", ctype.c_str(), 1);
}

TEST_F(ProbekitLibrary, CabFollowsTheSystemDirectory) {
  Probe check = Export("CheckCab");
  std::int32_t answer = -1;
  // A fresh installation ships no CABINET.DLL.
  EXPECT_EQ(check(&answer), 0);
  EXPECT_EQ(answer, 0);
  // Any library that loads will do in its place.
  std::string system = prefix_.drive_c() + "/WINDOWS/SYSTEM32";
  std::filesystem::create_directories(system);
  std::filesystem::copy_file(PROBEKIT_LIBRARY, system + "/cabinet.dll");
  EXPECT_EQ(check(&answer), 1);
  EXPECT_EQ(answer, 1);
  // A file by that name that is no library does not count.
  std::ofstream(system + "/cabinet.dll", std::ios::trunc) << "MZ not a library";
  EXPECT_EQ(check(&answer), 0);
  EXPECT_EQ(answer, 0);
}

}  // namespace
