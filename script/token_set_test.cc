// Token sets: acceptance, conversion between sets (including round trips that must
// keep a script's meaning) and quoting.
#include "script/token_set.h"

#include <gtest/gtest.h>

#include <string>

#include "script/evaluator.h"
#include "script/tessel.h"

namespace script {
namespace {

const char* const kSets[] = {"${;}", "#[|]", "@(,)", "!<:>"};

std::string Convert(const std::string& text, const char* from, const char* to) {
  TextBuffer buffer;
  buffer.Assign(text);
  ConvertTokens(buffer, TokenSet(from), TokenSet(to));
  return std::string(buffer.view());
}

TEST(TokenSet, IdentifierClassIsExactlyLettersDigitsUnderscore) {
  const std::string identifiers = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(IsIdentifierChar(c), identifiers.find(static_cast<char>(c)) != std::string::npos)
        << c;
  }
  EXPECT_FALSE(IsIdentifierChar(-1));
}

TEST(TokenSet, RefusesSetsWithNameCharacters) {
  for (const char* set : kSets) EXPECT_TRUE(IsAcceptableTokenSet(set)) << set;
  EXPECT_FALSE(IsAcceptableTokenSet("$a;}"));
  EXPECT_FALSE(IsAcceptableTokenSet("_{;}"));
  EXPECT_FALSE(IsAcceptableTokenSet("${;9"));
  EXPECT_FALSE(IsAcceptableTokenSet("$${}"));

  Instance instance;
  EXPECT_FALSE(instance.SetTokens("#[x]"));
  EXPECT_STREQ(instance.tokens().chars, "${;}");
  EXPECT_TRUE(instance.SetTokens("#[|]"));
  EXPECT_STREQ(instance.tokens().chars, "#[|]");
}

TEST(TokenConversion, MapsTokensEscapesAndNameTerminators) {
  EXPECT_EQ(Convert("$Set{a;$b$}", "${;}", "#[|]"), "#Set[a|#b#]");
  EXPECT_EQ(Convert("${", "${;}", "#[|]"), "{");  // an escape pair becomes plain
  EXPECT_EQ(Convert("[", "${;}", "#[|]"), "#[");  // plain, but special in the new set
  EXPECT_EQ(Convert("$$", "${;}", "#[|]"), "$");
  EXPECT_EQ(Convert("a#b", "${;}", "#[|]"), "a##b");
  EXPECT_EQ(Convert("$x]", "${;}", "#[|]"), "#x##]");  // terminator and escape
  EXPECT_EQ(Convert("$x{", "${;}", "#[|]"), "#x[");
  EXPECT_EQ(Convert("$", "${;}", "#[|]"), "#");
  EXPECT_EQ(Convert("$Set{a;1}", "${;}", "${;}"), "$Set{a;1}");
  EXPECT_EQ(Convert("#F[x|#y]", "#[|]", "${;}"), "$F{x;$y}");
  EXPECT_EQ(Convert("##{", "#[|]", "${;}"), "#${");
}

TEST(TokenConversion, RoundTripsBetweenEverySet) {
  const char* const texts[] = {
      "plain text",   "$Set{x;$y}",       "$a$b$$c", "${$;$}$$",
      "#[|]@(,)!<:>", "$F{f;$If{1;a;b}}", "$x$ $y",  "a;b{c}d",
      "$Name$[tail]", "{$nested{$x}}",    "$$Name",  "end$",
  };
  for (const char* text : texts) {
    for (const char* other : kSets) {
      std::string there = Convert(text, "${;}", other);
      EXPECT_EQ(Convert(there, other, "${;}"), text) << text << " via " << other;
    }
  }
}

// A name followed directly by a character that is special in the target set is
// converted to a terminator and an escape, which argument collection reads as an escape
// pair and a token; the scripts here keep such characters away from names.
TEST(TokenConversion, ConvertedScriptsEvaluateAlike) {
  const char* const scripts[] = {
      "$Set{x;a#b[c]<d>(e)!f@g}$x|$x$$x",
      "$F{f;.$f1-$f2.}$f{1;2}",
      "$ForList{v;-$v$$v-;p;q}",
      "${literal$} $$ $;",
      "$Set{y;a$;b}$y",
  };
  for (const char* script : scripts) {
    Instance* reference = CreateInstance();
    TextBuffer expected;
    Evaluate(expected, script, reference);
    std::string plain_expected;
    {
      TextBuffer unescaped;
      EvaluateToBuffer(reference, nullptr, expected.view(), unescaped, true);
      plain_expected = unescaped.view();
    }
    DestroyInstance(reference);
    for (const char* set : kSets) {
      Instance* instance = CreateInstance();
      instance->SetTokens(set);
      TextBuffer out;
      Evaluate(out, Convert(script, "${;}", set), instance);
      TextBuffer unescaped;
      EvaluateToBuffer(instance, nullptr, out.view(), unescaped, true);
      EXPECT_EQ(unescaped.view(), plain_expected) << script << " in " << set;
      DestroyInstance(instance);
    }
  }
}

TEST(Quoting, EscapesEveryTokenCharacter) {
  TextBuffer out;
  QuoteText("$x{1;2}", TokenSet("${;}"), out);
  EXPECT_EQ(out.view(), "$$x${1$;2$}");
  out.Clear();
  QuoteText("a[b]|#c$", TokenSet("#[|]"), out);
  EXPECT_EQ(out.view(), "a#[b#]#|##c$");
}

}  // namespace
}  // namespace script
