// Streams: the unescaping sink, push-back order and the escaping source.
#include "script/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "script/instance.h"

namespace script {
namespace {

// Writes `text` through an unescaping sink into a buffer, split into `pieces` writes.
std::string Unescape(Instance& instance, const std::string& text, size_t piece) {
  TextBuffer out;
  {
    Stream stream(&instance, nullptr);
    stream.AttachUnescapeToBuffer(&out);
    for (size_t i = 0; i < text.size(); i += piece) {
      std::string part = text.substr(i, piece);
      if (part.size() == 1) {
        stream.Put(part[0]);
      } else {
        stream.Put(part);
      }
    }
  }
  return std::string(out.view());
}

TEST(UnescapingSink, RemovesEscapesWhateverTheWriteSizes) {
  Instance instance;
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a$$b${c$}", "a$b{c}"}, {"$x", "$x"}, {"$;", ";"},     {"$$$$", "$$"}, {"a$", "a"},
      {"$ $", "$ "},           {"", ""},     {"$$$x", "$$x"}, {"{;}", "{;}"}, {"x$}$}", "x}}"},
  };
  for (const auto& c : cases) {
    for (size_t piece = 1; piece <= 4; ++piece) {
      EXPECT_EQ(Unescape(instance, c.in, piece), c.out) << c.in << " in pieces of " << piece;
    }
    EXPECT_EQ(Unescape(instance, c.in, 1000), c.out) << c.in;
  }
}

TEST(UnescapingSink, FollowsTheActiveTokenSet) {
  Instance instance;
  instance.SetTokens("#[|]");
  EXPECT_EQ(Unescape(instance, "a##b#[c#]$$", 3), "a#b[c]$$");
}

TEST(Stream, PushBackIsLastInFirstOut) {
  Instance instance;
  Stream stream(&instance, nullptr);
  stream.AttachString("xyz", "test");
  EXPECT_EQ(stream.Get(), 'x');
  stream.Unget('x');  // the character just read
  stream.Unget('b');
  stream.Unget('a');
  EXPECT_EQ(stream.Get(), 'a');
  EXPECT_EQ(stream.Get(), 'b');
  EXPECT_EQ(stream.Get(), 'x');
  EXPECT_EQ(stream.Get(), 'y');
  EXPECT_EQ(stream.Get(), 'z');
  EXPECT_FALSE(stream.ended);
  EXPECT_EQ(stream.Get(), -1);
  EXPECT_TRUE(stream.ended);
}

TEST(Stream, EscapingSourceDeliversTokensEscaped) {
  Instance instance;
  Stream inner(&instance, nullptr);
  inner.AttachString("a{b}$c;", "data");
  TextBuffer out;
  Stream outer(&instance, nullptr);
  outer.AttachEscapingSource(&inner);
  outer.AttachBuffer(&out);
  for (int c; (c = outer.Get()) >= 0;) outer.Put(static_cast<char>(c));
  EXPECT_EQ(out.view(), "a${b$}$$c$;");
}

TEST(Stream, ReadWhileAndCopyUntilAnyFollowTheirSets) {
  Instance instance;
  TextBuffer out;
  Stream stream(&instance, nullptr);
  stream.AttachString("  \tword, rest;end", "test");
  stream.AttachBuffer(&out);
  TextBuffer blanks;
  EXPECT_EQ(stream.ReadWhile(blanks, " \t", true), 'w');
  EXPECT_EQ(blanks.view(), "  \t");
  TextBuffer word;
  EXPECT_EQ(stream.ReadWhile(word, ",;", false), ',');
  EXPECT_EQ(word.view(), "word");
  EXPECT_EQ(stream.CopyUntilAny(";"), ';');  // the pushed-back comma is copied first
  EXPECT_EQ(out.view(), ", rest");
  EXPECT_EQ(stream.CopyUntilAny(";"), -1);
  EXPECT_TRUE(stream.ended);
  EXPECT_EQ(out.view(), ", restend");
}

TEST(Stream, CopyUntilAndReadUntilTokenStopAtTheirCharacters) {
  Instance instance;
  TextBuffer out;
  Stream stream(&instance, nullptr);
  stream.AttachString("plain text$Name{arg;x}", "test");
  stream.AttachBuffer(&out);
  EXPECT_EQ(stream.CopyUntil('$'), '$');
  EXPECT_EQ(out.view(), "plain text");
  TextBuffer name;
  stream.ReadIdentifier(name);
  EXPECT_EQ(name.view(), "Name");
  TextBuffer piece;
  EXPECT_EQ(stream.ReadUntilToken(instance.tokens(), piece), '{');
  EXPECT_TRUE(piece.empty());
  EXPECT_EQ(stream.ReadUntilToken(instance.tokens(), piece), ';');
  EXPECT_EQ(piece.view(), "arg");
  EXPECT_EQ(stream.CopyUntil('$'), -1);
  EXPECT_TRUE(stream.ended);
  EXPECT_EQ(out.view(), "plain textx}");
}

}  // namespace
}  // namespace script
