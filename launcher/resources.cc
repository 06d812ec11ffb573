// GoToZOMA's string table and texts. Hours 8-14 of the time-zone index (UTC+4 to UTC-2:
// Europe, Africa and the Middle East) go to the European server, the rest to the main one.
#include "launcher/resources.h"

#include <algorithm>
#include <iterator>

namespace zoma::launcher {
namespace {

struct StringResource {
  int id;
  const char* text;
};

constexpr StringResource kStrings[] = {
    {8000, kMainGamePage},     {8001, kMainGamePage},     {8002, kMainGamePage},
    {8003, kMainGamePage},     {8004, kMainGamePage},     {8005, kMainGamePage},
    {8006, kMainGamePage},     {8007, kMainGamePage},     {8008, kEuropeanGamePage},
    {8009, kEuropeanGamePage}, {8010, kEuropeanGamePage}, {8011, kEuropeanGamePage},
    {8012, kEuropeanGamePage}, {8013, kEuropeanGamePage}, {8014, kEuropeanGamePage},
    {8015, kMainGamePage},     {8016, kMainGamePage},     {8017, kMainGamePage},
    {8018, kMainGamePage},     {8019, kMainGamePage},     {8020, kMainGamePage},
    {8021, kMainGamePage},     {8022, kMainGamePage},     {8023, kMainGamePage},
};

}  // namespace

const char* LoadLauncherString(int id) {
  auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                             [](const StringResource& r, int wanted) { return r.id < wanted; });
  return it != std::end(kStrings) && it->id == id ? it->text : nullptr;
}

std::string DialogText(int dialog_id) {
  if (dialog_id == kLookingForInstallerDialog) return "Looking for ZOMA installer...";
  if (dialog_id == kStartingBrowserDialog)
    return std::string("Starting default web browser to ") + kWebSiteName;
  return {};
}

std::string UnexpectedErrorText(int number) {
  return "Unexpected error[" + std::to_string(number) +
         "].  Something's seriously wrong with \nthe system.  Try restarting Windows.";
}

std::string LookForInstallerText() {
  return std::string("Look for installer at ") + kMainWebAddress;
}

std::string BrowserFailureText(const std::string& page_address) {
  return std::string("Couldn't launch default web browser to ") + kWebSiteName +
         ".  Please browse to\n" + page_address;
}

}  // namespace zoma::launcher
