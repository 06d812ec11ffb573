// Text buffer storage. A block is sized like a buffer that carries a 40-byte header in
// front of its text, so growth follows the same powers of two as the stored layout.
#include "script/text_buffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace script {
namespace {

constexpr size_t kHeaderSize = 40;
constexpr size_t kMinimumCapacity = 32;

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 1;
  while (size < n) size <<= 1;
  return size;
}

char* Allocate(char* old, size_t capacity) {
  void* block = std::realloc(old, capacity);
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<char*>(block);
}

}  // namespace

TextBuffer::TextBuffer() : capacity_(kMinimumCapacity) {
  data_ = Allocate(nullptr, capacity_);
  data_[0] = '\0';
}

TextBuffer::~TextBuffer() { std::free(data_); }

void TextBuffer::Grow(size_t needed) {
  if (needed > kMaxTextSize) throw TextTooLarge();
  // `needed` counts characters; one more for the NUL.
  size_t capacity = PowerOfTwoAtLeast(kHeaderSize + needed + 1) - kHeaderSize;
  if (capacity <= capacity_) return;
  data_ = Allocate(data_, capacity);
  capacity_ = capacity;
}

void TextBuffer::Assign(std::string_view text) {
  size_ = 0;
  Append(text.data(), text.size());
}

void TextBuffer::Append(const char* text, size_t n) {
  if (size_ + n >= capacity_) Grow(size_ + n);
  if (n > 0) std::memcpy(data_ + size_, text, n);  // an empty view may carry no pointer
  size_ += n;
  data_[size_] = '\0';
}

void TextBuffer::AppendInteger(long long value) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%lld", value);
  Append(digits, static_cast<size_t>(n));
}

void TextBuffer::Insert(size_t pos, const char* text, size_t n) {
  if (pos > size_) pos = size_;
  if (size_ + n >= capacity_) Grow(size_ + n);
  std::memmove(data_ + pos + n, data_ + pos, size_ - pos + 1);
  std::memcpy(data_ + pos, text, n);
  size_ += n;
}

void TextBuffer::Erase(size_t pos, size_t n) {
  if (pos >= size_) return;
  if (n > size_ - pos) n = size_ - pos;
  std::memmove(data_ + pos, data_ + pos + n, size_ - pos - n + 1);
  size_ -= n;
}

void TextBuffer::Truncate(size_t n) {
  if (n >= size_) return;
  size_ = n;
  data_[n] = '\0';
}

void TextBuffer::Swap(TextBuffer& other) {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
}

}  // namespace script
