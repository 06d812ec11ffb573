#include "platform/ui_gui_fltk.h"

#include <FL/filename.H>
#include <gtest/gtest.h>

namespace platform::ui::internal::gui {
namespace {

using namespace std::string_literals;

// The pattern inside the chooser's "Description (pattern)" entry.
std::string PatternOf(const std::string& entry) {
  return entry.substr(entry.find('(') + 1, entry.rfind(')') - entry.find('(') - 1);
}

TEST(ChooserFilter, ConvertsWin32PairsToPatternsTheChooserMatches) {
  std::string filter =
      ChooserFilterOf("Text files (*.txt)\0*.txt; *.LOG\0All files\0*.*\0\0ignored\0*.x\0"s);
  EXPECT_EQ(filter, "Text files ({*.txt,*.LOG})\tAll files (*)");
  std::string text = PatternOf(filter.substr(0, filter.find('\t')));
  EXPECT_TRUE(fl_filename_match("notes.txt", text.c_str()));
  EXPECT_TRUE(fl_filename_match("setup.LOG", text.c_str()));
  EXPECT_FALSE(fl_filename_match("setup.exe", text.c_str()));
  EXPECT_TRUE(fl_filename_match("ZOMA.EXE", PatternOf(filter.substr(filter.find('\t'))).c_str()));

  // A missing final terminator, a pattern-less pair and an empty list.
  EXPECT_EQ(ChooserFilterOf("Programs\0*.exe"s), "Programs (*.exe)");
  EXPECT_EQ(ChooserFilterOf("Nothing\0 ; \0Cabinets\0*.cab\0\0"s), "Cabinets (*.cab)");
  EXPECT_EQ(ChooserFilterOf(""), "");
  EXPECT_EQ(ChooserFilterOf("Lonely description\0\0"s), "");
}

}  // namespace
}  // namespace platform::ui::internal::gui
