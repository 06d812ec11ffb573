// Word wrapping. The input is read word by word; each output line has a budget (the
// width less its prefix and the visible part of the line end) that words use up.
#include "script/lib/word_wrap.h"

#include <algorithm>

namespace script {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsBreak(char c) { return c == '\r' || c == '\n'; }

class Wrapper {
 public:
  Wrapper(std::string_view text, const WordWrapOptions& options) : text_(text) {
    // Wider than this only pads lines out to sizes no one can use.
    constexpr int kMaxWidth = 1 << 20;
    width_ = options.width < 1 ? 72 : std::min(options.width, kMaxWidth);
    prefix_ = options.prefix;
    first_prefix_ = options.first_prefix.empty() ? options.prefix : options.first_prefix;
    marker_ = options.marker;
    std::string_view end = options.line_end;
    // Blanks leading the line end ask for every line to be padded out to its budget.
    size_t lead = 0;
    while (lead < end.size() && (end[lead] == ' ' || end[lead] == '\t')) ++lead;
    pad_ = lead > 0;
    line_end_.assign(end.substr(lead));
    if (line_end_.empty() || !IsBreak(line_end_.back())) line_end_ += "\r\n";
    visible_end_ = line_end_.size();
    while (visible_end_ > 0 && IsBreak(line_end_[visible_end_ - 1])) --visible_end_;
  }

  std::string Run() {
    bool at_line_start = true;
    bool after_break = false;
    while (pos_ < text_.size()) {
      if (at_line_start) {
        SkipMarkerAndBlanks();
        if (pos_ < text_.size() && IsBreak(text_[pos_])) {
          SkipBreak();
          ParagraphBreak();
          continue;
        }
        at_line_start = false;
      }
      const size_t blanks_start = pos_;
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      if (pos_ >= text_.size()) break;
      if (IsBreak(text_[pos_])) {
        SkipBreak();
        at_line_start = true;
        after_break = true;
        continue;
      }
      std::string_view blanks = text_.substr(blanks_start, pos_ - blanks_start);
      const size_t word_start = pos_;
      while (pos_ < text_.size() && !IsBlank(text_[pos_]) && !IsBreak(text_[pos_])) ++pos_;
      PlaceWord(text_.substr(word_start, pos_ - word_start), blanks, after_break);
      after_break = false;
    }
    if (line_open_) EndLine();
    return out_;
  }

 private:
  void SkipMarkerAndBlanks() {
    for (size_t i = 0; i < marker_.size() && pos_ < text_.size() && text_[pos_] == marker_[i];
         ++i) {
      ++pos_;
    }
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  // CR, LF, CR LF or LF CR: one line break.
  void SkipBreak() {
    char first = text_[pos_++];
    if (pos_ < text_.size() && IsBreak(text_[pos_]) && text_[pos_] != first) ++pos_;
  }

  void ParagraphBreak() {
    if (line_open_) EndLine();
    out_ += first_prefix_;
    out_ += line_end_;
    use_first_prefix_ = true;
  }

  void StartLine() {
    std::string_view prefix = use_first_prefix_ ? first_prefix_ : prefix_;
    use_first_prefix_ = false;
    line_start_ = out_.size();
    out_ += prefix;
    budget_ = width_ - static_cast<long>(prefix.size()) - static_cast<long>(visible_end_);
    line_open_ = true;
  }

  void EndLine() {
    if (pad_ && budget_ > 0) out_.append(static_cast<size_t>(budget_), ' ');
    out_ += line_end_;
    line_open_ = false;
  }

  void Write(std::string_view text) {
    out_ += text;
    budget_ -= static_cast<long>(text.size());
  }

  // Whether the current output line holds a sentence end: its last ".", "?" or "!"
  // decides, and a "." right after another "." does not count ("..." ends nothing).
  bool LineHasSentenceEnd() const {
    bool sentence_end = false;
    for (size_t i = line_start_; i < out_.size(); ++i) {
      char c = out_[i];
      if (c == '?' || c == '!') sentence_end = true;
      if (c == '.') sentence_end = !(i > line_start_ && out_[i - 1] == '.');
    }
    return sentence_end;
  }

  void PlaceWord(std::string_view word, std::string_view blanks, bool after_break) {
    const long length = static_cast<long>(word.size());
    if (!line_open_) {
      StartLine();
      Write(word);  // the first word always goes on, however long
      return;
    }
    if (after_break) {
      std::string_view separator = LineHasSentenceEnd() ? "  " : " ";
      if (length < budget_ - static_cast<long>(separator.size())) {
        Write(separator);
        Write(word);
        return;
      }
    } else if (budget_ > length + static_cast<long>(blanks.size())) {
      Write(blanks);
      Write(word);
      return;
    }
    EndLine();
    StartLine();
    Write(word);
  }

  std::string_view text_;
  size_t pos_ = 0;
  long width_;
  std::string_view prefix_;
  std::string_view first_prefix_;
  std::string_view marker_;
  std::string line_end_;
  size_t visible_end_;
  bool pad_;
  std::string out_;
  size_t line_start_ = 0;
  long budget_ = 0;
  bool line_open_ = false;
  bool use_first_prefix_ = true;
};

}  // namespace

std::string WordWrap(std::string_view text, const WordWrapOptions& options) {
  return Wrapper(text, options).Run();
}

}  // namespace script
