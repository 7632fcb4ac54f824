// ZMapEntries: the pair array that both string maps keep their contents in. Pairs stay in
// insertion order; keys and values are objects of their own on the free store, owned here. The
// array comes from the runtime's allocator and is refitted after every insertion and removal.
// Not a library class of its own: the maps hold one as their storage.
#pragma once
#include <cstdlib>
#include <cstring>
#include <new>

#include "ZEL_UTIL/ZString.h"

template <class V>
class ZMapEntries {
 public:
  struct Pair {
    ZString* key;
    V* value;
  };

  ZMapEntries() = default;
  ZMapEntries(const ZMapEntries&) = delete;
  ZMapEntries& operator=(const ZMapEntries&) = delete;
  ~ZMapEntries() {
    clear();
    std::free(pairs);
  }

  int getCount() const { return count; }
  unsigned getArraySize() const { return size; }
  Pair& at(int index) const { return pairs[index]; }

  int find(const ZString& key) const {
    for (int i = 0; i < count; ++i) {
      if (*pairs[i].key == key) return i;
    }
    return -1;
  }

  // Appends a pair of copies and returns its index.
  int add(const ZString& key, const V& value) {
    fit(count + 1);
    pairs[count].key = new ZString(key);
    pairs[count].value = new V(value);
    return count++;
  }

  // Destroys the pair at a valid index and closes the gap.
  void removeAt(int index) {
    delete pairs[index].key;
    delete pairs[index].value;
    std::memmove(pairs + index, pairs + index + 1, sizeof(Pair) * static_cast<std::size_t>(count - index - 1));
    fit(--count);
  }

  void clear() {
    while (count > 0) removeAt(0);
  }

 private:
  // The array is counted in bytes of the 32-bit program, 8 per pair, as the growth rule reckons:
  // it stays while it has room for one more pair and no more than 150 spare ones, otherwise it
  // is made to hold the pairs and 101 more. The block itself holds size / 8 pairs of this build.
  void fit(int newCount) {
    unsigned needed = 8u * static_cast<unsigned>(newCount);
    if (needed + 8 <= size && size <= needed + 1200) return;
    unsigned newSize = needed + 808;
    void* grown = std::realloc(pairs, sizeof(Pair) * (newSize / 8));
    if (!grown) throw std::bad_alloc();  // the free store's failure, as with new
    pairs = static_cast<Pair*>(grown);
    size = newSize;
  }

  Pair* pairs = nullptr;
  int count = 0;
  unsigned size = 0;
};
