// The growable text that scripts and built-ins work on: always NUL-terminated, grown to
// powers of two so that appending a character at a time stays cheap.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>

namespace script {

// The most one text may hold: 128 MiB. A text that would grow past it stops the
// evaluation it belongs to (Instance::memory_limit_hit), as the nesting limit does, so
// that a script such as $Repeat{x;2000000000} cannot take the process's memory.
inline constexpr size_t kMaxTextSize = size_t{128} << 20;

// Thrown when a text would pass kMaxTextSize; the entry points of the language turn it,
// and any other allocation failure, into an orderly stop.
struct TextTooLarge : std::bad_alloc {
  const char* what() const noexcept override { return "text too large"; }
};

class TextBuffer {
 public:
  TextBuffer();
  ~TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  const char* c_str() const { return data_; }
  char* data() { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data_, size_}; }
  size_t capacity() const { return capacity_; }

  void Clear() {
    size_ = 0;
    data_[0] = '\0';
  }
  void Assign(std::string_view text);
  void Append(char c) {
    if (size_ + 1 >= capacity_) Grow(size_ + 1);
    data_[size_++] = c;
    data_[size_] = '\0';
  }
  void Append(const char* text, size_t n);
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  void AppendInteger(long long value);
  void Insert(size_t pos, const char* text, size_t n);
  void Erase(size_t pos, size_t n);
  // Cuts the text to `n` characters (no-op when it is shorter).
  void Truncate(size_t n);
  void Swap(TextBuffer& other);

 private:
  void Grow(size_t needed);

  char* data_;
  size_t size_ = 0;
  size_t capacity_;  // usable characters including the NUL
};

}  // namespace script
