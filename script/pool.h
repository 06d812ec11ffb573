// A free list of records that are made and dropped at a high rate (the sources and
// sinks of nested evaluations), so that they stay off the allocator.
#pragma once

#include <new>
#include <vector>

namespace script {

template <typename T>
class Pool {
 public:
  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  ~Pool() {
    for (T* item : free_) delete item;
  }
  // A record in its initial state.
  T* Take() {
    if (free_.empty()) return new T();
    T* item = free_.back();
    free_.pop_back();
    return new (item) T();  // built in place: no temporary to copy
  }
  void Give(T* item) { free_.push_back(item); }

 private:
  std::vector<T*> free_;
};

}  // namespace script
