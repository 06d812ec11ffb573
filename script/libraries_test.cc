// The listing of registered names: it must account for exactly the names a new
// instance has, each once, under the step that bound it last.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "script/tessel.h"

namespace script {
namespace {

const RegisteredGroup* GroupOf(const std::vector<RegisteredGroup>& groups,
                               const std::string& name) {
  for (const RegisteredGroup& group : groups) {
    if (std::binary_search(group.names.begin(), group.names.end(), name)) return &group;
  }
  return nullptr;
}

TEST(ListRegisteredNames, AccountsForEveryNameOfANewInstanceOnce) {
  std::vector<RegisteredGroup> groups = ListRegisteredNames();
  ASSERT_FALSE(groups.empty());
  std::multiset<std::string> listed;
  for (const RegisteredGroup& group : groups) {
    EXPECT_TRUE(std::is_sorted(group.names.begin(), group.names.end())) << group.library;
    listed.insert(group.names.begin(), group.names.end());
  }
  Instance* instance = CreateInstance();
  std::multiset<std::string> present;
  instance->tree().Walk([&](const Leaf& leaf) { present.insert(leaf.name); });
  DestroyInstance(instance);
  EXPECT_EQ(listed, present);
}

TEST(ListRegisteredNames, GroupsFollowRegistrationOrder) {
  std::vector<RegisteredGroup> groups = ListRegisteredNames();
  ASSERT_GE(groups.size(), 3u);
  EXPECT_EQ(groups.front().library, "version constants");
  EXPECT_EQ(groups[1].library, "debugging");
  const RegisteredGroup* set = GroupOf(groups, "Set");
  const RegisteredGroup* tokens = GroupOf(groups, "AlternateTokens1");
  const RegisteredGroup* newline = GroupOf(groups, "NewLine");
  ASSERT_TRUE(set && tokens && newline);
  EXPECT_EQ(set->library, "core");
  EXPECT_EQ(tokens->library, "token sets");
  EXPECT_EQ(newline->library, "newline and character constants");
  // The character constants come after every library of the main list and before the
  // token sets.
  EXPECT_LT(set, newline);
  EXPECT_LT(newline, tokens);
}

}  // namespace
}  // namespace script
