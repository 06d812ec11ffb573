// The game page's address: the time-zone index, the nearest present entry, the
// argument's cut and the buffer limit.
#include "launcher/page_address.h"

#include <gtest/gtest.h>

#include <map>

#include "launcher/resources.h"

namespace zoma::launcher {
namespace {

constexpr long kHour = 3600;

TEST(PageAddress, TimeZoneIndexTruncatesAndWraps) {
  EXPECT_EQ(TimeZoneIndex(0), 12);
  EXPECT_EQ(TimeZoneIndex(8 * kHour), 20);   // Pacific
  EXPECT_EQ(TimeZoneIndex(-1 * kHour), 11);  // Central Europe
  EXPECT_EQ(TimeZoneIndex(-12 * kHour), 0);  // New Zealand
  EXPECT_EQ(TimeZoneIndex(11 * kHour), 23);  // Samoa
  EXPECT_EQ(TimeZoneIndex(-19800), 7);       // India, +5:30: toward zero
  EXPECT_EQ(TimeZoneIndex(12600), 15);       // Newfoundland, -3:30
  // Past the table's ends the index wraps instead of reading outside it.
  EXPECT_EQ(TimeZoneIndex(12 * kHour), 0);    // Baker Island, UTC-12
  EXPECT_EQ(TimeZoneIndex(-13 * kHour), 23);  // Tonga, UTC+13
  EXPECT_EQ(TimeZoneIndex(-14 * kHour), 22);  // Kiribati, UTC+14
}

TEST(PageAddress, EuropeanHoursUseTheEuropeanServer) {
  for (int index = 0; index < kPageAddressCount; ++index) {
    long west = (index - 12) * kHour;
    std::optional<std::string> address = BuildPageAddress(west, "12", LoadLauncherString);
    ASSERT_TRUE(address) << index;
    std::string page = index >= 8 && index <= 14 ? kEuropeanGamePage : kMainGamePage;
    EXPECT_EQ(*address, page + "?game_id=12") << index;
  }
}

TEST(PageAddress, ArgumentIsCutTo28Characters) {
  std::string forty(40, '7');
  EXPECT_EQ(BuildPageAddress(0, forty, LoadLauncherString),
            std::string(kEuropeanGamePage) + "?game_id=" + std::string(28, '7'));
  // The fallback keeps the whole argument.
  EXPECT_EQ(FallbackPageAddress(forty), std::string(kMainGamePage) + "?game_id=" + forty);
}

// A table with only some entries.
StringLoader TableOf(std::map<int, std::string> entries) {
  auto table = std::make_shared<std::map<int, std::string>>(std::move(entries));
  return [table](int id) -> const char* {
    auto it = table->find(id);
    return it == table->end() ? nullptr : it->second.c_str();
  };
}

TEST(PageAddress, NearestPresentEntryLowerFirstAndWrapping) {
  EXPECT_EQ(NearestPageEntry(10, TableOf({{8009, "lower"}, {8011, "higher"}})), "lower");
  EXPECT_EQ(NearestPageEntry(10, TableOf({{8008, "two lower"}, {8011, "higher"}})), "higher");
  EXPECT_EQ(NearestPageEntry(10, TableOf({{8010, "own"}, {8009, "lower"}})), "own");
  // Round the ends of the table.
  EXPECT_EQ(NearestPageEntry(0, TableOf({{8023, "last"}, {8002, "third"}})), "last");
  EXPECT_EQ(NearestPageEntry(23, TableOf({{8001, "second"}, {8020, "fourth last"}})), "second");
  // Twelve steps reach the opposite hour.
  EXPECT_EQ(NearestPageEntry(3, TableOf({{8015, "opposite"}})), "opposite");
  EXPECT_EQ(NearestPageEntry(3, TableOf({})), std::nullopt);
  EXPECT_EQ(BuildPageAddress(0, "1", TableOf({})), std::nullopt);
}

TEST(PageAddress, AddressMustFitTheBuffer) {
  // entry + "?game_id=" + argument must stay below 520 characters.
  std::string query = "?game_id=12345";
  std::string fits(519 - query.size(), 'a');
  EXPECT_EQ(BuildPageAddress(0, "12345", TableOf({{8012, fits}})), fits + query);
  std::string reaches(520 - query.size(), 'a');
  EXPECT_EQ(BuildPageAddress(0, "12345", TableOf({{8012, reaches}})), std::nullopt);
  // An entry longer than the buffer is cut by loading it, and then cannot fit.
  EXPECT_EQ(NearestPageEntry(12, TableOf({{8012, std::string(900, 'b')}})), std::string(519, 'b'));
}

}  // namespace
}  // namespace zoma::launcher
