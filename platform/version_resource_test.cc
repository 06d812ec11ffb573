// Version blocks: both layouts built and read back, real PE files made by mingw-w64,
// our own stamped ELF module, and hostile blocks and images.
#include "platform/version_resource.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/testing/host_files.h"

namespace platform {
namespace {

using platform::testing::ReadHostFile;

VersionBlockContents Sample() {
  VersionBlockContents contents;
  contents.fixed.file_version_ms = 0x00040003;
  contents.fixed.file_version_ls = 0x00020001;
  contents.fixed.product_version_ms = 0x00070000;
  contents.fixed.product_version_ls = 0x000C0159;
  contents.strings = {{"CompanyName", "Norvance"}, {"FileVersion", "4.3.2.1"}, {"Empty", ""}};
  return contents;
}

TEST(VersionBlock, BothLayoutsReadBackByPath) {
  for (bool ansi : {false, true}) {
    const std::string block = BuildVersionBlock(Sample(), ansi);
    ASSERT_TRUE(IsVersionBlock(block)) << ansi;
    EXPECT_EQ(QueryVersionValue(block, "\\StringFileInfo\\040904E4\\CompanyName"), "Norvance");
    EXPECT_EQ(QueryVersionValue(block, "\\stringfileinfo\\040904e4\\FILEVERSION"), "4.3.2.1");
    EXPECT_EQ(QueryVersionValue(block, "\\StringFileInfo\\040904E4\\Empty"), "");
    EXPECT_EQ(QueryVersionValue(block, "\\StringFileInfo\\040904E4\\Missing"), std::nullopt);
    EXPECT_EQ(QueryVersionValue(block, "\\VarFileInfo\\Translation"),
              std::string("\x09\x04\xE4\x04", 4));
    FixedFileInfo fixed;
    ASSERT_TRUE(ParseFixedFileInfo(*QueryVersionValue(block, "\\"), &fixed));
    EXPECT_EQ(fixed.product_version_ls, 0x000C0159u);
  }
}

// Every prefix and every single-byte change of a block must parse or be refused,
// never read past the bytes given (the sanitizer build watches).
TEST(VersionBlock, TruncatedAndDamagedBlocksAreSafe) {
  for (bool ansi : {false, true}) {
    const std::string block = BuildVersionBlock(Sample(), ansi);
    for (std::size_t n = 0; n < block.size(); ++n) {
      std::string cut = block.substr(0, n);
      QueryVersionValue(cut, "\\StringFileInfo\\040904E4\\FileVersion");
    }
    for (std::size_t i = 0; i < block.size(); ++i) {
      for (unsigned char value : {0x00, 0xFF, 0x03}) {
        std::string damaged = block;
        damaged[i] = static_cast<char>(value);
        QueryVersionValue(damaged, "\\StringFileInfo\\040904E4\\CompanyName");
        QueryVersionValue(damaged, "\\");
      }
    }
  }
  // A root that claims more than the block holds is refused outright.
  std::string block = BuildVersionBlock(Sample());
  block[0] = '\xff';
  block[1] = '\xff';
  EXPECT_FALSE(IsVersionBlock(block));
}

class PeFixtures : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat info;
    if (stat(ZOMA_PE_FIXTURES "/english32.dll", &info) != 0)
      GTEST_SKIP() << "no mingw-w64: PE fixtures were not built";
  }
  static std::string Read(const char* name) {
    return ReadHostFile(std::string(ZOMA_PE_FIXTURES "/") + name);
  }
};

TEST_F(PeFixtures, ReadsResourcesOf32And64BitFiles) {
  for (const char* name : {"english32.dll", "english64.exe"}) {
    const std::string image = Read(name);
    std::optional<std::string_view> block = FindVersionBlock(image);
    ASSERT_TRUE(block) << name;
    EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\040904E4\\FileDescription"),
              "Fixture library; semi;colon {braces} $dollar");
    EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\040904E4\\OLESelfRegister"), "");
    FixedFileInfo fixed;
    ASSERT_TRUE(ParseFixedFileInfo(*QueryVersionValue(*block, "\\"), &fixed));
    EXPECT_EQ(fixed.file_version_ms, 0x00040003u) << name;
    EXPECT_EQ(fixed.product_version_ls, 0x000C0159u) << name;
  }
  const std::string german_image = Read("german32.exe");
  std::optional<std::string_view> german = FindVersionBlock(german_image);
  ASSERT_TRUE(german);
  EXPECT_EQ(QueryVersionValue(*german, "\\VarFileInfo\\Translation"),
            std::string("\x07\x04\xB0\x04", 4));
  EXPECT_EQ(QueryVersionValue(*german, "\\StringFileInfo\\040704B0\\FileVersion"), "1.2.3.4 (de)");
  const std::string plain_image = Read("plain64.exe");
  EXPECT_FALSE(FindVersionBlock(plain_image));
}

TEST_F(PeFixtures, CutImagesAreSafe) {
  const std::string image = Read("english32.dll");
  // Every cut through the headers, then coarser cuts through the rest.
  for (std::size_t n = 0; n < image.size(); n += n < 4096 ? 1 : 509) {
    std::string cut = image.substr(0, n);
    FindVersionBlock(cut);
  }
  // Header fields pointed far away.
  for (std::size_t field : {0x3Cu, 0x86u, 0x94u, 0x178u, 0x17Cu}) {
    std::string damaged = image;
    for (int i = 0; i < 4 && field + i < damaged.size(); ++i) damaged[field + i] = '\xff';
    FindVersionBlock(damaged);
  }
}

TEST(ElfVersionBlock, OurStampedModuleCarriesItsBlock) {
  const std::string image = ReadHostFile(ZOMA_TEST_MODULE);
  std::optional<std::string_view> block = FindVersionBlock(image);
  ASSERT_TRUE(block);
  EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\040904E4\\OriginalFilename"),
            "testmodule.dll");
  EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\040904E4\\CompanyName"), "Norvance");
  EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\040904E4\\OLESelfRegister"), std::nullopt);
  for (std::size_t n = 0; n < image.size(); n += 97) FindVersionBlock(image.substr(0, n));
}

}  // namespace
}  // namespace platform
