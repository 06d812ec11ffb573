// The string library: splitting and looping over pieces, slicing, trimming, case
// handling and comparison (case-insensitive unless CaseSensitive says otherwise),
// substitution, quoting, re-evaluation and scoping of text, path slashes, padding,
// repetition and word wrapping.
#include <algorithm>
#include <cctype>
#include <string>

#include "platform/ascii.h"
#include "script/evaluator.h"
#include "script/lib/arguments.h"
#include "script/lib/word_wrap.h"
#include "script/libraries.h"
#include "script/loop.h"

namespace script {
namespace {

intptr_t UserData(const Call& call) { return reinterpret_cast<intptr_t>(call.user_data); }

// The program never sets a locale, so the C library's case and white-space rules are
// the ASCII ones (bytes above 127 unchanged): the platform's helpers give the same bytes.
bool IsSpace(char c) { return platform::kAsciiWhiteSpace.find(c) != std::string_view::npos; }
using platform::ToLowerAscii;
using platform::ToUpperAscii;
using platform::TrimAscii;

// The CaseSensitive variable as the nearest scope defines it; case-insensitive when a
// script has deleted it.
bool CaseSensitiveVariable(Call& call) {
  Value* value = call.instance->tree().FindValue("CaseSensitive");
  if (value == nullptr || !value->is_variable()) return false;
  TextBuffer& converted = call.Scratch();
  TextBuffer& text = call.Scratch();
  EvaluateToBuffer(call.instance, call.out, ActiveText(call.instance, value, converted), text);
  return ParseInteger(text.view()) != 0;
}

// Argument i parsed as an integer when its text is a number; false otherwise.
bool NumberArgument(Call& call, int i, int32_t* number) {
  if (!call.Has(i)) return false;
  std::string_view text = TrimAscii(call.Script(i));
  size_t digit = !text.empty() && text[0] == '-' ? 1 : 0;
  if (digit >= text.size() || !std::isdigit(static_cast<unsigned char>(text[digit]))) return false;
  *number = ParseInteger(text);
  return true;
}

bool CaseFlagArgument(Call& call, int i) {
  int32_t flag;
  return NumberArgument(call, i, &flag) ? flag != 0 : CaseSensitiveVariable(call);
}

bool SameChar(char a, char b, bool case_sensitive) {
  return case_sensitive ? a == b : ToLowerAscii(a) == ToLowerAscii(b);
}

// strncmp/_strnicmp over texts that end at their size as at a NUL.
int Compare(std::string_view a, std::string_view b, size_t limit, bool case_sensitive) {
  for (size_t i = 0; i < limit; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    if (!case_sensitive) {
      x = static_cast<unsigned char>(ToLowerAscii(static_cast<char>(x)));
      y = static_cast<unsigned char>(ToLowerAscii(static_cast<char>(y)));
    }
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

void LengthBuiltin(Call& call) { call.WriteInteger(static_cast<int64_t>(call.Script(1).size())); }

// Scans a text into pieces: words, and with `want_delimiters` the delimiter runs too.
class PieceScanner {
 public:
  PieceScanner(std::string_view text, std::string_view delimiters, bool want_delimiters,
               bool skip_after)
      : text_(text), want_(want_delimiters), skip_after_(skip_after) {
    if (delimiters.empty()) delimiters = " \t\r\n";
    for (char c : delimiters) is_delimiter_[static_cast<unsigned char>(c)] = true;
  }

  bool Next(std::string_view* piece) {
    if (pos_ >= text_.size()) return false;
    size_t start = pos_;
    SkipDelimiters();
    if (want_ && pos_ > start) {
      *piece = text_.substr(start, pos_ - start);
      return true;
    }
    if (pos_ >= text_.size()) return false;
    start = pos_;
    while (pos_ < text_.size() && !IsDelimiter(text_[pos_])) ++pos_;
    *piece = text_.substr(start, pos_ - start);
    if (skip_after_ && !want_) SkipDelimiters();
    return true;
  }
  bool at_end() const { return pos_ >= text_.size(); }

 private:
  bool IsDelimiter(char c) const { return is_delimiter_[static_cast<unsigned char>(c)]; }
  void SkipDelimiters() {
    while (pos_ < text_.size() && IsDelimiter(text_[pos_])) ++pos_;
  }

  std::string_view text_;
  bool want_;
  bool skip_after_;
  bool is_delimiter_[256] = {};
  size_t pos_ = 0;
};

void SplitBuiltin(Call& call) {
  std::string base(call.Plain(1));
  int32_t flags = call.Flags(4, {{"Verbatim", 1}, {"WantDelimiters", 4}});
  std::string_view text = (flags & 1) ? call.Raw(2) : call.Script(2);
  PieceScanner scanner(text, Unquoted(call, 3), flags & 4, false);
  SymbolTree& tree = call.instance->tree();
  std::string_view piece;
  for (long long n = 1; scanner.Next(&piece); ++n) {
    tree.Bind(base + std::to_string(n), MakeTextValue(tree, piece, kOwnsCopy), false, 0);
  }
}

void ForSplitBuiltin(Call& call) {
  std::string variable(call.Name(1));
  int32_t flags = call.Flags(5, {{"NoScope", 1}, {"Verbatim", 2}, {"WantDelimiters", 4}});
  std::string_view text = (flags & 2) ? call.Raw(3) : call.Script(3);
  PieceScanner scanner(text, Unquoted(call, 4), flags & 4, true);
  SymbolTree& tree = call.instance->tree();
  LoopFrame frame(call, "forsplit", flags & 1);
  std::string_view piece;
  for (long long n = 1; frame.running() && scanner.Next(&piece); ++n) {
    tree.PushScope();
    tree.Bind(variable, MakeTextValue(tree, piece, kOwnsCopy), false, 0);
    tree.Bind("ForSplitIndex", MakeTextValue(tree, std::to_string(n), kOwnsCopy), false, 0);
    tree.Bind("ForSplitLast", MakeTextValue(tree, scanner.at_end() ? "1" : "0", kOwnsCopy), false,
              0);
    frame.RunBody(call.Raw(2), false);
    tree.PopScope();
  }
}

void MiddleBuiltin(Call& call) {
  std::string_view text = call.Script(1);
  int64_t start = call.Has(2) ? call.Math(2) : 0;
  int64_t end = call.Has(3) ? call.Math(3) : -1;
  if (start < 0) start = 0;
  if (static_cast<uint64_t>(start) >= text.size()) return;
  text.remove_prefix(static_cast<size_t>(start));
  if (end >= 0) text = text.substr(0, end > start ? static_cast<size_t>(end - start) : 0);
  call.Write(text);
}

void WordsBuiltin(Call& call) {
  std::string_view text = call.Script(1);
  int64_t words = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsSpace(text[i]) && (i == 0 || IsSpace(text[i - 1]))) ++words;
  }
  call.WriteInteger(words);
}

void CleanBuiltin(Call& call) { call.Write(TrimAscii(call.Script(1))); }

void CollapseBuiltin(Call& call) {
  std::string text(call.Script(1));
  text.erase(std::remove_if(text.begin(), text.end(), IsSpace), text.end());
  call.Write(text);
}

void IdBuiltin(Call& call) {
  const intptr_t form = UserData(call);
  std::string out;
  for (char c : call.Script(1)) {
    if (form == 3 && std::ispunct(static_cast<unsigned char>(c))) {
      out += '_';
    } else if (form >= 2 && c == ' ') {
      out += '_';
    } else if (IsIdentifierChar(static_cast<unsigned char>(c))) {
      out += c;
    }
  }
  call.Write(out);
}

// 0 no letter, 1 lower case only, 2 upper case only, 3 both.
int CaseState(std::string_view text) {
  int state = 0;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    int letter = std::islower(u) ? 1 : std::isupper(u) ? 2 : 0;
    if (letter == 0) continue;
    if (state == 0) {
      state = letter;
    } else if (state != letter) {
      return 3;
    }
  }
  return state;
}

void CaseBuiltin(Call& call) {
  int state = CaseState(call.Script(1));
  const intptr_t wanted = UserData(call);
  if (wanted == 0) {
    call.WriteInteger(state);
  } else {
    call.Write(state == wanted ? "1" : "0");
  }
}

void ConvertCaseBuiltin(Call& call) {
  std::string text(call.Script(1));
  switch (UserData(call)) {
    case 1:
      text = ToLowerAscii(text);
      break;
    case 2:
      text = ToUpperAscii(text);
      break;
    default: {
      bool word_start = true;
      for (char& c : text) {
        if (IsSpace(c)) {
          word_start = true;
        } else if (word_start && std::isalpha(static_cast<unsigned char>(c))) {
          c = ToUpperAscii(c);
          word_start = false;
        } else {
          c = ToLowerAscii(c);
        }
      }
    }
  }
  call.Write(text);
}

void CaseOnOffBuiltin(Call& call) {
  SymbolTree& tree = call.instance->tree();
  tree.PushScope();
  tree.Bind("CaseSensitive", MakeTextValue(tree, UserData(call) ? "1" : "0", kOwnsCopy), false, 0);
  call.EvaluateIntoOutput(call.Raw(1));
  tree.PopScope();
}

// User data: bit 1 compares from the back, bit 2 keeps the part after (front) or before
// (back) the common run.
void MatchingBuiltin(Call& call) {
  std::string_view a = call.Script(1);
  std::string_view b = call.Script(2);
  const bool case_sensitive = call.Has(3) ? call.Math(3) != 0 : CaseSensitiveVariable(call);
  const intptr_t form = UserData(call);
  const bool from_back = form == 1 || form == 3;
  const size_t limit = std::min(a.size(), b.size());
  size_t common = 0;
  while (common < limit &&
         SameChar(from_back ? a[a.size() - 1 - common] : a[common],
                  from_back ? b[b.size() - 1 - common] : b[common], case_sensitive)) {
    ++common;
  }
  switch (form) {
    case 0:
      call.Write(a.substr(0, common));
      break;
    case 2:
      call.Write(a.substr(common));
      break;
    case 3:
      call.Write(a.substr(a.size() - common));
      break;
    default:
      call.Write(a.substr(0, a.size() - common));
      break;
  }
}

// User data: the low three bits pick the test (1 before, 2 same, 3 after, 4 not same);
// 4096 strips white space first.
void CompareBuiltin(Call& call) {
  const intptr_t form = UserData(call);
  std::string_view a = call.Script(1);
  std::string_view b = call.Script(2);
  if (form & 4096) {
    a = TrimAscii(a);
    b = TrimAscii(b);
  }
  int32_t length;
  size_t limit = std::max(a.size(), b.size()) + 1;
  // A negative count reads as a huge one, as the C comparison takes it: whole texts.
  if (NumberArgument(call, 3, &length) && length >= 0) limit = static_cast<size_t>(length);
  const int c = Compare(a, b, limit, CaseFlagArgument(call, 4));
  bool result = false;
  switch (form & 7) {
    case 1:
      result = c < 0;
      break;
    case 2:
      result = c == 0;
      break;
    case 3:
      result = c > 0;
      break;
    case 4:
      result = c != 0;
      break;
  }
  call.Write(result ? "1" : "0");
}

void ReverseBuiltin(Call& call) {
  std::string text(call.Script(1));
  std::reverse(text.begin(), text.end());
  call.Write(text);
}

// A character of `from` beyond the length of `to` stays as it is.
void TranslateBuiltin(Call& call) {
  std::string text(call.Script(1));
  std::string from(call.Script(2));
  std::string_view to = call.Script(3);
  for (char& c : text) {
    size_t at = from.find(c);
    if (at != std::string::npos && at < to.size()) c = to[at];
  }
  call.Write(text);
}

// Replacements are not scanned again, so matches never overlap. An empty find text
// leaves the text as it is.
void SubstituteBuiltin(Call& call) {
  std::string_view text = call.Script(1);
  std::string find(call.Script(2));
  std::string_view replace = call.Script(3);
  const bool case_sensitive = CaseFlagArgument(call, 4);
  if (find.empty()) {
    call.Write(text);
    return;
  }
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    bool match = text.size() - i >= find.size();
    for (size_t k = 0; match && k < find.size(); ++k) {
      match = SameChar(text[i + k], find[k], case_sensitive);
    }
    if (match) {
      out += replace;
      i += find.size();
    } else {
      out += text[i++];
    }
  }
  call.Write(out);
}

void EvalBuiltin(Call& call) { call.EvaluateIntoOutput(call.Script(1)); }

void EvalExternalBuiltin(Call& call) { call.EvaluateIntoOutput(Unquoted(call, 1)); }

void ScopeBuiltin(Call& call) {
  SymbolTree& tree = call.instance->tree();
  TextBuffer& result = call.Scratch();
  tree.PushScope();
  EvaluateToBuffer(call.instance, call.out, call.Raw(1), result);
  tree.PopScope();
  call.Write(result.view());
}

void OverrideScopeBuiltin(Call& call) {
  SymbolTree& tree = call.instance->tree();
  const int depth = tree.depth();
  int64_t target = call.Math(1);
  if (target < 1) target += depth;
  target = std::clamp<int64_t>(target, 1, depth);
  const int saved_from = tree.redirect_from();
  const int saved_to = tree.redirect_to();
  TextBuffer& result = call.Scratch();
  tree.SetRedirection(depth, static_cast<int>(target));
  EvaluateToBuffer(call.instance, call.out, call.Raw(2), result);
  tree.SetRedirection(saved_from, saved_to);
  call.Write(result.view());
}

char SlashArgument(Call& call, int i) {
  std::string_view slash = call.Script(i);
  return slash.empty() ? '\\' : slash[0];
}

void TrailingSlashBuiltin(Call& call) {
  std::string path(call.Script(1));
  const char slash = SlashArgument(call, 2);
  const bool ends_with_slash = !path.empty() && path.back() == slash;
  if (UserData(call) == 0) {
    if (ends_with_slash) path.pop_back();
  } else if (!ends_with_slash) {
    path += slash;
  }
  call.Write(path);
}

void FixSlashesBuiltin(Call& call) {
  std::string path(call.Script(1));
  if (path.empty()) return;
  const char slash = SlashArgument(call, 2);
  const char other = slash == '/' ? '\\' : '/';
  const bool dont_clip = call.Flags(3, {{"DontClip", 1}}) & 1;
  std::replace(path.begin(), path.end(), other, slash);
  // From the second character on, runs of slashes become one: a leading pair stays.
  std::string fixed(1, path[0]);
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == slash && fixed.size() > 1 && fixed.back() == slash) continue;
    fixed += path[i];
  }
  if (!dont_clip && fixed.size() > 0 && fixed.back() == slash) fixed.pop_back();
  call.Write(fixed);
}

void WordWrapBuiltin(Call& call) {
  std::string text(call.Script(1));
  WordWrapOptions options;
  options.width = call.Has(2) ? call.Math(2) : 72;
  std::string prefix(call.Script(3));
  std::string line_end(call.Script(4));
  std::string first_prefix(call.Script(5));
  std::string marker(call.Script(6));
  options.prefix = prefix;
  options.line_end = line_end;
  options.first_prefix = first_prefix;
  options.marker = marker;
  call.Write(WordWrap(text, options));
}

void SingleLineBuiltin(Call& call) {
  std::string_view text = call.Script(1);
  std::string out;
  bool sentence_end = false;
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  while (i < text.size()) {
    while (i < text.size() && !IsSpace(text[i])) {
      char c = text[i];
      sentence_end = c == '?' || c == '!' || (c == '.' && !(i > 0 && text[i - 1] == '.'));
      out += text[i++];
    }
    size_t start = i;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size()) break;  // trailing white space is dropped
    std::string_view space = text.substr(start, i - start);
    if (space.find_first_of("\r\n") == std::string_view::npos) {
      out += space;
    } else {
      out += sentence_end ? "  " : " ";
    }
  }
  call.Write(out);
}

void UnQuoteBuiltin(Call& call) { call.Write(Unquoted(call, 1)); }

// Padding past this many characters is refused (the text stays unpadded): it could only
// exhaust memory.
constexpr int64_t kMaxPadding = int64_t{1} << 24;

// Fills one side with `n` characters of the pad text (a blank when none is given). Pad
// text with calls is evaluated anew for every repetition; other text is the same each
// time and is taken once.
std::string PadSide(Call& call, size_t n) {
  std::string side;
  const bool has_calls = call.Raw(3).find(call.instance->tokens().call()) != std::string_view::npos;
  std::string constant(call.Has(3) && !has_calls ? Unquoted(call, 3) : std::string_view(" "));
  ScratchBuffer evaluated(call.instance);
  ScratchBuffer unquoted(call.instance);
  while (side.size() < n && !call.instance->halted()) {
    std::string_view piece = constant;
    if (has_calls) {
      EvaluateToBuffer(call.instance, call.out, call.Raw(3), evaluated.get());
      unquoted.get().Clear();
      UnquoteText(evaluated.get().view(), call.instance->tokens(), unquoted.get());
      piece = unquoted.get().view();
    }
    side += piece.empty() ? std::string_view(" ") : piece;  // empty text would never fill
  }
  side.resize(n, ' ');
  return side;
}

void PadBuiltin(Call& call) {
  std::string text(Unquoted(call, 1));
  const int64_t width = call.Math(2);
  const int64_t missing = width - static_cast<int64_t>(text.size());
  bool front = false;
  bool back = true;
  if (call.Has(4)) {
    int32_t flags = call.Flags(4, {{"PadFront", 1}, {"PadHead", 1}, {"Center", 2}});
    front = flags & (1 | 2);
    back = !(flags & 1) || (flags & 2);
  } else if (UserData(call) == 1) {
    front = true;
  }
  if (missing > 0 && missing <= kMaxPadding) {
    int64_t front_count = front && back ? missing / 2 : front ? missing : 0;
    int64_t back_count = back ? missing - front_count : 0;
    if (front_count > 0) text.insert(0, PadSide(call, static_cast<size_t>(front_count)));
    if (back_count > 0) text += PadSide(call, static_cast<size_t>(back_count));
  }
  WriteQuoted(call, text);
}

void RepeatBuiltin(Call& call) {
  const int32_t count = call.Math(2);
  const bool each_time = call.Flags(3, {{"EvalEachTime", 1}}) & 1;
  if (count <= 0) return;
  std::string_view text = each_time ? std::string_view() : call.Script(1);
  if (!each_time && text.empty()) return;
  for (int32_t i = 0; i < count && !call.instance->halted() && !call.out->ended; ++i) {
    if (each_time) {
      call.EvaluateIntoOutput(call.Raw(1));
    } else {
      call.Write(text);
    }
  }
}

void QuoteBuiltin(Call& call) { WriteQuoted(call, call.Raw(1)); }

const BuiltinRow kStringBuiltins[] = {
    {"Quote", QuoteBuiltin, 0, 1},
    {"Length", LengthBuiltin, 0, 1},
    {"Split", SplitBuiltin, 0, 2},
    {"ForSplit", ForSplitBuiltin, 0, 3},
    {"Middle", MiddleBuiltin, 0, 1},
    {"Words", WordsBuiltin, 0, 1},
    {"Clean", CleanBuiltin, 0, 1},
    {"Collapse", CollapseBuiltin, 0, 1},
    {"ID", IdBuiltin, 1, 1},
    {"ID1", IdBuiltin, 1, 1},
    {"ID2", IdBuiltin, 2, 1},
    {"ID3", IdBuiltin, 3, 1},
    {"Case", CaseBuiltin, 0, 1},
    {"IsLower", CaseBuiltin, 1, 1},
    {"IsUpper", CaseBuiltin, 2, 1},
    {"IsMixed", CaseBuiltin, 3, 1},
    {"Lower", ConvertCaseBuiltin, 1, 1},
    {"Upper", ConvertCaseBuiltin, 2, 1},
    {"Capitalize", ConvertCaseBuiltin, 3, 1},
};

// Defined between Capitalize and CaseOn; comparisons without a case argument read it.
const VariableRow kCaseVariable[] = {
    {"CaseSensitive", "0", 0},
};

const BuiltinRow kMoreStringBuiltins[] = {
    {"CaseOn", CaseOnOffBuiltin, 1, 1},
    {"CaseOff", CaseOnOffBuiltin, 0, 1},
    {"Matching", MatchingBuiltin, 0, 2},
    {"MatchingTail", MatchingBuiltin, 2, 2},
    {"MatchingReverse", MatchingBuiltin, 3, 2},
    {"MatchingReverseHead", MatchingBuiltin, 1, 2},
    {"Before", CompareBuiltin, 1, 2},
    {"Same", CompareBuiltin, 2, 2},
    {"After", CompareBuiltin, 3, 2},
    {"NotSame", CompareBuiltin, 4, 2},
    {"CleanSame", CompareBuiltin, 4098, 2},
    {"SameClean", CompareBuiltin, 4098, 2},
    {"Reverse", ReverseBuiltin, 0, 1},
    {"Translate", TranslateBuiltin, 0, 3},
    {"Substitute", SubstituteBuiltin, 0, 3},
    {"Eval", EvalBuiltin, 0, 1},
    {"EvalExternal", EvalExternalBuiltin, 0, 1},
    {"EvalDequote", EvalExternalBuiltin, 0, 1},
    {"Assemble", EvalExternalBuiltin, 0, 1},
    {"Scope", ScopeBuiltin, 0, 1},
    {"OverrideScope", OverrideScopeBuiltin, 0, 2},
    {"RemoveTrailingSlash", TrailingSlashBuiltin, 0, 1},
    {"EnsureTrailingSlash", TrailingSlashBuiltin, 1, 1},
    {"FixSlashes", FixSlashesBuiltin, 0, 1},
    {"WordWrap", WordWrapBuiltin, 0, 1},
    {"SingleLine", SingleLineBuiltin, 0, 1},
    {"OneLine", SingleLineBuiltin, 0, 1},
    {"UnQuote", UnQuoteBuiltin, 0, 1},
    {"DeQuote", UnQuoteBuiltin, 0, 1},
    {"Pad", PadBuiltin, 0, 2},
    {"Center", PadBuiltin, 1, 2},
    {"Repeat", RepeatBuiltin, 0, 2},
};

}  // namespace

void RegisterStringLibrary(Instance* instance) {
  RegisterTable(instance, kStringBuiltins);
  RegisterTable(instance, kCaseVariable);
  RegisterTable(instance, kMoreStringBuiltins);
}

}  // namespace script
