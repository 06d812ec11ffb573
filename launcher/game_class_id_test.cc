// The argument rule: a non-zero leading number, or a leading '0'.
#include "launcher/game_class_id.h"

#include <gtest/gtest.h>

namespace zoma::launcher {
namespace {

TEST(GameClassId, LeadingNumberDecides) {
  for (const char* accepted :
       {"12", "12abc", "007", "0", "0abc", " 42", "\t-3", "+9", "-0001", "99999999999999999999"})
    EXPECT_TRUE(IsGameClassId(accepted)) << '"' << accepted << '"';
  for (const char* refused : {"", "abc", " 0", "-0", "+", "-", " ", "a12", " 000x", "+-1"})
    EXPECT_FALSE(IsGameClassId(refused)) << '"' << refused << '"';
}

}  // namespace
}  // namespace zoma::launcher
