// The scripts' regular expressions on PCRE2: constructs PCRE2 reads differently stay
// literals, group numbering, the matching rule, bounded searches, and replacement.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "script/lib/regex_engine.h"
#include "script/lib/regex_replace.h"
#include "script/lib/wildcard.h"

namespace script {
namespace {

// The whole match and the groups as "match|g1|g2..."; "-" for no match, "!" for a
// pattern that does not compile.
std::string Find(const std::string& pattern, const std::string& text) {
  auto regex = Regex::Compile(pattern);
  if (!regex) return "!";
  RegexMatch match;
  if (!regex->Search(text, &match)) return "-";
  std::string result = std::to_string(match.start()) + ":" + std::string(match.group(text, 0));
  for (int i = 1; i <= regex->groups(); ++i) {
    result += "|";
    result += match.has_group(i) ? std::string(match.group(text, i)) : "<unset>";
  }
  return result;
}

TEST(Regex, PcreSyntaxIsLiteral) {
  // Each of these means something else to PCRE2; here every one is plain characters.
  EXPECT_EQ(Find("a{2}", "aa a{2}"), "3:a{2}");
  EXPECT_EQ(Find("\\d", "1d"), "1:d");
  EXPECT_EQ(Find("\\w+", "ab ww"), "3:ww");
  EXPECT_EQ(Find("\\Qa", "Qa"), "0:Qa");
  EXPECT_EQ(Find("\\E", "E"), "0:E");
  EXPECT_EQ(Find("[[:alpha:]]", "b:]"), "1::]");
  EXPECT_EQ(Find("[\\d]", "d"), "0:d");
  EXPECT_EQ(Find("[\\d]", "\\"), "0:\\");
  EXPECT_EQ(Find("a#b", "a#b"), "0:a#b");
  EXPECT_EQ(Find("}", "}"), "0:}");
  EXPECT_EQ(Find("\\(", "("), "0:(");
  EXPECT_EQ(Find("a\\*", "aa*"), "1:a*");
  EXPECT_EQ(Find(std::string("a\0b", 3), std::string("xa\0b", 4)), std::string("1:a\0b", 5));
  // "(?" is a group holding a "?" with nothing before it: not a pattern at all.
  EXPECT_EQ(Find("(?:a)", "a"), "!");
  // "." and "$" know no lines.
  EXPECT_EQ(Find("a.b", "a\nb"), "0:a\nb");
  EXPECT_EQ(Find("a$", "a\n"), "-");
  EXPECT_EQ(Find("^b", "a\nb"), "-");
}

TEST(Regex, MalformedPatternsDoNotCompile) {
  for (const char* pattern :
       {"a(b", "a)b", "[ab", "[]", "[z-a]", "a\\", "*a", "a**", "a+?", "|*", "(*)", "a|?"}) {
    EXPECT_EQ(Find(pattern, "a"), "!") << pattern;
  }
  // Empty patterns, branches and groups are fine.
  EXPECT_EQ(Find("", "x"), "0:");
  EXPECT_EQ(Find("a|", "b"), "0:");
  EXPECT_EQ(Find("()b", "b"), "0:b|");
}

TEST(Regex, BracketExpressions) {
  EXPECT_EQ(Find("[]a]+", "x]a]"), "1:]a]");
  EXPECT_EQ(Find("[^]a]", "]ab"), "2:b");
  EXPECT_EQ(Find("[-a]+", "b-a"), "1:-a");
  EXPECT_EQ(Find("[a-]+", "b-a"), "1:-a");
  EXPECT_EQ(Find("[0-9]+", "ab123c"), "2:123");
  EXPECT_EQ(Find("[^0-9]", "12x"), "2:x");
  EXPECT_EQ(Find("[^a]", "a\n"), "1:\n");
  EXPECT_EQ(Find("[.*]+", "ab.*"), "2:.*");
}

TEST(Regex, GroupsAndTheMatchingRule) {
  // Leftmost, then the first branch that leads to a match, greedy with backtracking.
  EXPECT_EQ(Find("b|ab", "xab"), "1:ab");
  EXPECT_EQ(Find("(a|ab)(c|bcd)", "abcd"), "0:abcd|a|bcd");
  EXPECT_EQ(Find("(ab|a)(c|bcd)", "abcd"), "0:abc|ab|c");
  EXPECT_EQ(Find("(a*)(a)", "aaa"), "0:aaa|aa|a");
  EXPECT_EQ(Find("(a)|b", "b"), "0:b|<unset>");
  EXPECT_EQ(Find("(a|b)*c", "abc"), "0:abc|b");
  // Ten groups: the tenth groups without a number.
  EXPECT_EQ(Find("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij"), "0:abcdefghij|a|b|c|d|e|f|g|h|i");
  EXPECT_EQ(Find("((((((((((x))))))))))*", "xx"), "0:xx|x|x|x|x|x|x|x|x|x");
  EXPECT_EQ(Find("^*a", "a"), "0:a");
  // An empty alternative before a repetition (a JIT fault of older PCRE2 releases).
  EXPECT_EQ(Find("(a|)b*a", "a-"), "0:a|");
  EXPECT_EQ(Find("(x|)y*x", "zx-"), "1:x|");
}

TEST(Regex, PathologicalSearchesEndInBoundedTime) {
  // Exponential backtracking before the "b" at the very end: the search gives up.
  const std::string text = std::string(30000, 'a') + "Xb";
  auto started = std::chrono::steady_clock::now();
  for (const char* pattern : {"(a*)*[bc]", "(a|aa)*[bc]", "((a*)*)*(b|c)"}) {
    auto regex = Regex::Compile(pattern);
    ASSERT_TRUE(regex) << pattern;
    regex->Matches(text);
  }
  // A long text that needs a frame per repetition still matches within the budget.
  auto groups = Regex::Compile("^(a|b)*X");
  EXPECT_TRUE(groups->Matches(std::string(300000, 'a') + "X"));
  // Generous: a hang would take hours.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  // Deep nesting is refused or matched, never a crash.
  std::string deep = std::string(5000, '(') + "a" + std::string(5000, ')');
  auto regex = Regex::Compile(deep);
  if (regex) {
    EXPECT_TRUE(regex->Matches("a"));
  }
}

std::string Replace(const std::string& pattern, const std::string& text,
                    const std::string& replacement) {
  auto regex = Regex::Compile(pattern);
  if (!regex) return "!";
  std::string out;
  if (!ReplaceMatches(*regex, text, replacement, out)) return "-";
  return out;
}

TEST(ReReplace, Expansion) {
  EXPECT_EQ(Replace("X", "aXbXc", "-"), "a-b-c");
  EXPECT_EQ(Replace("(a)(b)", "ab", "\\2\\1"), "ba");
  EXPECT_EQ(Replace("w.*", "word", "\\u&"), "Word");
  EXPECT_EQ(Replace("(o)(x)?", "o", "[\\2]"), "[]");
  EXPECT_EQ(Replace("b+", "abbbc", "\\U&\\Ex&"), "aBBBxbbbc");
  EXPECT_EQ(Replace("B+", "aBBc", "\\L&\\E"), "abbc");
  EXPECT_EQ(Replace("x", "x", "\\uab"), "Ab");
  EXPECT_EQ(Replace("x", "x", "\\u\\eab"), "ab");
  EXPECT_EQ(Replace("(x)", "x", "\\U\\l&\\1Y\\E y"), "xXY y");
  EXPECT_EQ(Replace("x", "x", "\\&\\\\\\0\\"), "&\\0\\");
  // Empty matches let one character through; each search starts afresh, so "^" matches
  // at the start of every rest.
  EXPECT_EQ(Replace("a*", "baaac", "-"), "-b--c");
  EXPECT_EQ(Replace("^a", "aaab", "-"), "---b");
  EXPECT_EQ(Replace("$", "ab", "-"), "ab-");
  EXPECT_EQ(Replace("x", "abc", "-"), "-");
  EXPECT_EQ(Replace("x", "", "-"), "-");
  EXPECT_EQ(WithPreviousReplacement("~a~", "<>"), "<>a<>");
}

TEST(Wildcard, Translation) {
  EXPECT_EQ(WildcardToRegex("*.TXT"), "^.*\\.[Tt][Xx][Tt]$");
  EXPECT_EQ(WildcardToRegex("a?$(+^|)"), "^[Aa].\\$\\(\\+\\^\\|\\)$");
  EXPECT_EQ(WildcardToRegex("[a-c]1"), "^[a-cA-C]1$");
  EXPECT_EQ(WildcardToRegex("[^]x0-9]"), "^[^]Xx0-9]$");
  EXPECT_EQ(WildcardToRegex("{ab,c{d,e}}x"), "^(ab|c(d|e))[Xx]$");
  auto matches = [](const char* wildcard, const char* name) {
    auto regex = Regex::Compile(WildcardToRegex(wildcard));
    return regex && regex->Matches(name);
  };
  EXPECT_TRUE(matches("*.TXT", "readme.txt"));
  EXPECT_FALSE(matches("*.TXT", "readme.txt.bak"));
  EXPECT_FALSE(matches("*.TXT", "readmeXtxt"));
  EXPECT_TRUE(matches("{a,b}.dat", "a.dat"));
  EXPECT_TRUE(matches("{a,b}.dat", "b.dat"));
  EXPECT_FALSE(matches("{a,b}.dat", "c.dat"));
  EXPECT_FALSE(matches("{a,b}.dat", "ab.dat"));
  EXPECT_TRUE(matches("data[0-9].?", "DATA7.c"));
  EXPECT_TRUE(matches("[w-z].*", "Y.txt"));
  EXPECT_FALSE(matches("[w-z].*", "_.txt"));
  EXPECT_FALSE(matches("[w-z].*", "a.txt"));
  EXPECT_FALSE(matches("[", "["));  // unclosed: matches nothing
}

}  // namespace
}  // namespace script
