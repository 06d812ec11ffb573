// The generator matches the Windows C runtime's sequence.
#include "script/lib/c_random.h"

#include <gtest/gtest.h>

namespace script {
namespace {

TEST(CRandomTest, SameSequenceAsTheWindowsRuntime) {
  // What rand() gives after srand(1) (and at start) with Microsoft's C runtime.
  SeedRandom(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
  for (int value : expected) EXPECT_EQ(NextRandom(), value);
  SeedRandom(0);
  EXPECT_EQ(NextRandom(), 38);
  SeedRandom(0xFFFFFFFFu);
  for (int i = 0; i < 1000; ++i) {
    int value = NextRandom();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

}  // namespace
}  // namespace script
