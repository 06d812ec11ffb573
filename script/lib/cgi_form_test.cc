#include "script/lib/cgi_form.h"

#include <gtest/gtest.h>

namespace script {
namespace {

std::vector<std::pair<std::string, std::string>> Decode(std::string_view data) {
  std::vector<CgiField> fields;
  DecodeFormData(data, &fields);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (auto& field : fields) pairs.emplace_back(field.name, field.value);
  return pairs;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(CgiForm, FieldsAndEscapes) {
  EXPECT_EQ(Decode("name=J+Doe&x.y=1"), (Pairs{{"WWW_name", "J Doe"}, {"WWW_x_y", "1"}}));
  EXPECT_EQ(Decode("a=%41%2b%3d%zz%4&&flag&=v"),
            (Pairs{{"WWW_a", "A+=%zz%4"}, {"WWW_flag", ""}, {"WWW_", "v"}}));
  // A "%3D" in a field name decodes before the name is split off.
  EXPECT_EQ(Decode("k%3Dv=w"), (Pairs{{"WWW_k", "v=w"}}));
  EXPECT_EQ(Decode("bin=%00%FF"), (Pairs{{"WWW_bin", std::string("\0\xFF", 2)}}));
}

TEST(CgiForm, UnderscoreFieldsAreCleaned) {
  EXPECT_EQ(Decode("_note=+%20line1%0D%0Aline2%0Dline3%0D+%09"),
            (Pairs{{"WWW_note", "line1\nline2\nline3"}}));
  EXPECT_EQ(Decode("__x=+a+"), (Pairs{{"WWW__x", "a"}}));
  EXPECT_EQ(Decode("plain=+a+"), (Pairs{{"WWW_plain", " a "}}));
}

TEST(CgiForm, ErrorPage) {
  std::string page = CgiErrorPage("<p>No content type was passed to uncgi.");
  EXPECT_EQ(page.rfind("Content-type: text/html\n\n", 0), 0u);
  EXPECT_NE(page.find("<title>Error!</title>"), std::string::npos);
  EXPECT_NE(page.find("An error has occurred while processing your request."), std::string::npos);
  EXPECT_NE(page.find("<p>No content type was passed to uncgi."), std::string::npos);
}

}  // namespace
}  // namespace script
