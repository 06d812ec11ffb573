// Browse requests: initial directory and file, filter lists and flags.
#include "script/lib/file_dialog_request.h"

#include <gtest/gtest.h>

namespace script {
namespace {

using std::string_literals::operator""s;

TEST(FileDialogRequestTest, PathFilterAndFlags) {
  auto open = MakeFileDialogRequest(false, "C:/ZOMA//Data/", "Pick", "Text+*.txt+All+*.*", 2);
  EXPECT_FALSE(open.save);
  EXPECT_EQ(open.initial_directory, "C:\\ZOMA");
  EXPECT_EQ(open.initial_file, "Data");
  EXPECT_EQ(open.title, "Pick");
  EXPECT_EQ(open.filter, "Text\0*.txt\0All\0*.*\0\0"s);
  EXPECT_EQ(open.flags, 2u | kOfnExplorer | kOfnHideReadOnly);

  auto save = MakeFileDialogRequest(true, "notes.txt", "", "", 0);
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.initial_directory, "");
  EXPECT_EQ(save.initial_file, "notes.txt");
  EXPECT_EQ(save.filter, "");
  EXPECT_EQ(save.flags, kOfnExplorer);

  auto odd = MakeFileDialogRequest(true, "C:\\" + std::string(400, 'n'), "", "+", 0);
  EXPECT_EQ(odd.initial_file.size(), 259u);
  EXPECT_EQ(odd.filter, "\0\0\0"s);
}

}  // namespace
}  // namespace script
