// ZMapStringToString: a small map from text to text. Pairs stay in insertion order; keys are
// found by linear, case-sensitive comparison. It can write itself out as text, fill itself from
// text, and substitute its values into a template text.
#pragma once

#include "ZEL_UTIL/ZMapEntries.h"
#include "ZEL_UTIL/ZString.h"

class ZMapStringToString {
 public:
  ZMapStringToString() = default;
  ZMapStringToString(const ZMapStringToString& other);
  ZMapStringToString& operator=(const ZMapStringToString& other);

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZMapStringToString"; }
  virtual ~ZMapStringToString() = default;

  int getCount() const { return entries.getCount(); }
  // Index of the key, or -1.
  int find(const ZString& key) const;
  // Replaces the value of an existing key (result 0) or appends the pair (result 1).
  int set(const ZString& key, const ZString& value);
  // The key's value; a missing key gives defaultValue, or with insert a new pair holding a copy of it.
  ZString& get(const ZString& key, bool insert = false);
  // Copies the key's value to out; false (out unchanged) when the key is missing.
  bool lookup(const ZString& key, ZString& out) const;
  // The key's value; a missing key is appended first with an empty value.
  ZString& operator[](const ZString& key);
  // Copies the pair at index; false for an index outside the map.
  bool getAt(int index, ZString& key, ZString& value) const;
  // The key at index; for an index outside the map one shared empty text.
  const ZString& getKeyAt(int index) const;
  // The value at index; for an index outside the map defaultValue.
  ZString& getValueAt(int index);
  // Removes the pair and returns 1; a negative index gives 0, an index >= count itself.
  int removeAt(int index);
  // Removes the key's pair; -1 when it is missing.
  int remove(const ZString& key);
  void clear() { entries.clear(); }

  // key, keySeparator, value for each pair, pairSeparator between pairs.
  ZString toText(const ZString& keySeparator, const ZString& pairSeparator) const;
  // The template with every prefix + key + suffix replaced by the key's value, pair by pair.
  ZString expand(const ZString& templateText, const ZString& prefix, const ZString& suffix) const;
  // Sets the pairs of "key<keySeparator>value<pairSeparator>..." (emptying the map first with
  // clear) and returns their number; -1 for a piece without a key separator (the pairs before it
  // stay set) or for empty separators. An empty last piece (text ending in a pair separator, or
  // an empty text) makes no pair.
  int parseText(const ZString& text, const ZString& pairSeparator, const ZString& keySeparator, bool clear);

  // Size of the pair array in bytes of the 32-bit program (8 per pair): see ZMapEntries.
  unsigned getArraySize() const { return entries.getArraySize(); }

  ZString defaultValue;  // handed out for a missing key

 private:
  ZMapEntries<ZString> entries;
};
