#include "clientcfg/text_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace clientcfg {
namespace {

constexpr char kSentinel = static_cast<char>(0xBD);

// A buffer of `size` usable bytes followed by sentinel bytes that must survive.
struct GuardedBuffer {
  explicit GuardedBuffer(std::size_t size) : size(size) {
    std::memset(bytes, kSentinel, sizeof bytes);
  }
  bool Intact() const {
    for (std::size_t i = size; i < sizeof bytes; ++i)
      if (bytes[i] != kSentinel) return false;
    return true;
  }
  char bytes[64];
  std::size_t size;
};

TEST(TextHelpers, BoundedCopiesNeverPassTheSize) {
  for (std::size_t size = 1; size <= 8; ++size) {
    GuardedBuffer buffer(size);
    int cut = CopyBounded(buffer.bytes, "abcd", size);
    EXPECT_EQ(cut, size <= 4 ? 1 : 0) << size;
    EXPECT_EQ(std::string(buffer.bytes), std::string("abcd").substr(0, size - 1)) << size;
    EXPECT_TRUE(buffer.Intact()) << size;
  }
  GuardedBuffer buffer(6);
  CopyBounded(buffer.bytes, "ab", buffer.size);
  EXPECT_EQ(AppendBounded(buffer.bytes, "cde", buffer.size), 0);
  EXPECT_EQ(AppendBounded(buffer.bytes, "f", buffer.size), 1);
  EXPECT_STREQ(buffer.bytes, "abcde");
  EXPECT_TRUE(buffer.Intact());
}

TEST(TextHelpers, TrailingSeparatorRules) {
  struct Case {
    const char* in;
    std::size_t size;
    const char* out;
    int result;
  } cases[] = {
      {"C:\\Zoma", 260, "C:\\Zoma\\", 0},
      {"C:\\Zoma\\\\", 260, "C:\\Zoma\\", 0},
      {"C:/Zoma/", 260, "C:/Zoma\\", 0},
      {"C:\\Zoma/\\/", 260, "C:\\Zoma/", 0},
      {"C:\\Zoma", 8, "C:\\Zoma", 1},
      {"C:\\Zoma", 9, "C:\\Zoma\\", 0},
      {"", 260, "\\", 0},
  };
  for (const Case& c : cases) {
    char path[64];
    std::strcpy(path, c.in);
    EXPECT_EQ(EnsureTrailingSeparator(path, c.size), c.result) << c.in;
    EXPECT_STREQ(path, c.out) << c.in;
  }
  char path[] = "C:\\a/\\/";
  EXPECT_STREQ(StripTrailingSeparators(path), "C:\\a");
  EXPECT_STREQ(SkipLeadingSeparators("\\/Programs"), "Programs");
}

TEST(TextHelpers, AbsolutePathsAndTrimming) {
  EXPECT_TRUE(IsAbsolutePath("\\\\server\\share"));
  EXPECT_TRUE(IsAbsolutePath("//server"));
  EXPECT_TRUE(IsAbsolutePath("D:\\games"));
  EXPECT_TRUE(IsAbsolutePath("d:/games"));
  EXPECT_FALSE(IsAbsolutePath("Programs"));
  EXPECT_FALSE(IsAbsolutePath("..\\x"));
  EXPECT_FALSE(IsAbsolutePath("\\root-of-drive"));
  EXPECT_FALSE(IsAbsolutePath("C:relative"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_FALSE(IsAbsolutePath(nullptr));

  char text[] = " \t a b \r\n";
  Trim(text);
  EXPECT_STREQ(text, "a b");
  EXPECT_EQ(AppendAlloc(std::nullopt, nullptr), std::nullopt);
  EXPECT_EQ(AppendAlloc(std::string("a"), "b"), "ab");
  EXPECT_EQ(AppendAlloc(std::string(""), nullptr), "");
}

}  // namespace
}  // namespace clientcfg
