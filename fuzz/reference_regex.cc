// The reference matcher: a recursive-descent parser to a small tree and a matcher in
// continuation-passing style. A repetition whose body matched nothing stops repeating
// and goes on with the rest, so that "(a*)*" ends.
#include "fuzz/reference_regex.h"

#include <bitset>
#include <functional>
#include <vector>

namespace fuzz {
namespace {

struct Alternation;

struct Atom {
  enum Kind { kChar, kAny, kStart, kEnd, kSet, kGroup } kind = kChar;
  unsigned char c = 0;
  std::bitset<256> set;
  int group = 0;  // 1..9 for numbered groups, 0 for the others
  std::shared_ptr<Alternation> inner;
};

struct Piece {
  Atom atom;
  char repeat = 0;  // 0, '*', '+' or '?'
};

struct Alternation {
  std::vector<std::vector<Piece>> branches;
};

class Parser {
 public:
  explicit Parser(std::string_view pattern) : p_(pattern) {}

  bool Parse(Alternation* out) {
    if (!ParseAlternation(out, 0)) return false;
    return i_ == p_.size();
  }

 private:
  bool ParseAlternation(Alternation* out, int depth) {
    if (depth > 200) return false;
    out->branches.emplace_back();
    while (i_ < p_.size() && p_[i_] != ')') {
      const char c = p_[i_++];
      std::vector<Piece>& branch = out->branches.back();
      if (c == '|') {
        out->branches.emplace_back();
        continue;
      }
      if (c == '*' || c == '+' || c == '?') {
        if (branch.empty() || branch.back().repeat != 0) return false;
        branch.back().repeat = c;
        continue;
      }
      Piece piece;
      Atom& atom = piece.atom;
      switch (c) {
        case '(':
          atom.kind = Atom::kGroup;
          if (groups_ < 9) atom.group = ++groups_;
          atom.inner = std::make_shared<Alternation>();
          if (!ParseAlternation(atom.inner.get(), depth + 1)) return false;
          if (i_ >= p_.size()) return false;
          ++i_;  // ")"
          break;
        case '^':
          atom.kind = Atom::kStart;
          break;
        case '$':
          atom.kind = Atom::kEnd;
          break;
        case '.':
          atom.kind = Atom::kAny;
          break;
        case '[':
          if (!ParseSet(&atom)) return false;
          break;
        case '\\':
          if (i_ >= p_.size()) return false;
          atom.c = static_cast<unsigned char>(p_[i_++]);
          break;
        default:
          atom.c = static_cast<unsigned char>(c);
          break;
      }
      branch.push_back(std::move(piece));
    }
    // A ")" with no "(" open is malformed; the caller of a group takes its own.
    return depth > 0 || i_ == p_.size();
  }

  bool ParseSet(Atom* atom) {
    atom->kind = Atom::kSet;
    bool negated = false;
    if (i_ < p_.size() && p_[i_] == '^') {
      negated = true;
      ++i_;
    }
    const std::size_t first = i_;
    while (i_ < p_.size() && (p_[i_] != ']' || i_ == first)) {
      unsigned char low = static_cast<unsigned char>(p_[i_++]);
      unsigned char high = low;
      if (i_ + 1 < p_.size() && p_[i_] == '-' && p_[i_ + 1] != ']') {
        high = static_cast<unsigned char>(p_[i_ + 1]);
        i_ += 2;
        if (high < low) return false;
      }
      for (unsigned v = low; v <= high; ++v) atom->set.set(v);
    }
    if (i_ >= p_.size()) return false;
    ++i_;
    if (negated) atom->set.flip();
    return true;
  }

  std::string_view p_;
  std::size_t i_ = 0;
  int groups_ = 0;
};

using Continuation = std::function<bool(std::size_t)>;

class Matcher {
 public:
  Matcher(std::string_view text, long budget) : text_(text), budget_(budget) {
    groups_.fill(ReferenceMatch::kUnset);
  }

  bool exhausted() const { return budget_ < 0; }
  std::array<std::size_t, 20>& groups() { return groups_; }

  bool Alternatives(const Alternation& alternation, std::size_t pos, const Continuation& k) {
    for (const auto& branch : alternation.branches) {
      if (Sequence(branch, 0, pos, k)) return true;
      if (exhausted()) return false;
    }
    return false;
  }

 private:
  bool Sequence(const std::vector<Piece>& branch, std::size_t i, std::size_t pos,
                const Continuation& k) {
    if (--budget_ < 0) return false;
    if (i == branch.size()) return k(pos);
    Continuation next = [&, i](std::size_t p) { return Sequence(branch, i + 1, p, k); };
    const Piece& piece = branch[i];
    switch (piece.repeat) {
      case '*':
        return Star(piece.atom, pos, next);
      case '+':
        return One(piece.atom, pos, [&](std::size_t p) { return Star(piece.atom, p, next); });
      case '?':
        return One(piece.atom, pos, next) || (!exhausted() && next(pos));
      default:
        return One(piece.atom, pos, next);
    }
  }

  bool Star(const Atom& atom, std::size_t pos, const Continuation& k) {
    if (--budget_ < 0) return false;
    bool matched =
        One(atom, pos, [&](std::size_t p) { return p == pos ? k(p) : Star(atom, p, k); });
    return matched || (!exhausted() && k(pos));
  }

  bool One(const Atom& atom, std::size_t pos, const Continuation& k) {
    if (--budget_ < 0) return false;
    switch (atom.kind) {
      case Atom::kChar:
        return pos < text_.size() && static_cast<unsigned char>(text_[pos]) == atom.c && k(pos + 1);
      case Atom::kAny:
        return pos < text_.size() && k(pos + 1);
      case Atom::kSet:
        return pos < text_.size() && atom.set.test(static_cast<unsigned char>(text_[pos])) &&
               k(pos + 1);
      case Atom::kStart:
        return pos == 0 && k(pos);
      case Atom::kEnd:
        return pos == text_.size() && k(pos);
      case Atom::kGroup: {
        if (atom.group == 0) return Alternatives(*atom.inner, pos, k);
        const std::size_t slot = 2 * static_cast<std::size_t>(atom.group);
        const std::size_t saved_start = groups_[slot];
        const std::size_t saved_end = groups_[slot + 1];
        bool matched = Alternatives(*atom.inner, pos, [&](std::size_t p) {
          const std::size_t inner_start = groups_[slot];
          const std::size_t inner_end = groups_[slot + 1];
          groups_[slot] = pos;
          groups_[slot + 1] = p;
          if (k(p)) return true;
          groups_[slot] = inner_start;
          groups_[slot + 1] = inner_end;
          return false;
        });
        if (!matched) {
          groups_[slot] = saved_start;
          groups_[slot + 1] = saved_end;
        }
        return matched;
      }
    }
    return false;
  }

  std::string_view text_;
  long budget_;
  std::array<std::size_t, 20> groups_;
};

}  // namespace

ReferenceResult ReferenceSearch(std::string_view pattern, std::string_view text,
                                ReferenceMatch* match, long budget) {
  Alternation tree;
  if (!Parser(pattern).Parse(&tree)) return ReferenceResult::kMalformed;
  Matcher matcher(text, budget);
  for (std::size_t start = 0; start <= text.size(); ++start) {
    std::size_t end = 0;
    matcher.groups().fill(ReferenceMatch::kUnset);
    if (matcher.Alternatives(tree, start, [&](std::size_t p) {
          end = p;
          return true;
        })) {
      match->offsets = matcher.groups();
      match->offsets[0] = start;
      match->offsets[1] = end;
      return ReferenceResult::kMatch;
    }
    if (matcher.exhausted()) return ReferenceResult::kTooCostly;
  }
  return ReferenceResult::kNoMatch;
}

}  // namespace fuzz
