// ZMapStringToNum: a small map from text to a 32-bit number. Pairs stay in insertion order; keys
// are found by linear, case-sensitive comparison.
#pragma once

#include "ZEL_UTIL/ZMapEntries.h"
#include "ZEL_UTIL/ZString.h"

class ZMapStringToNum {
 public:
  ZMapStringToNum() = default;
  ZMapStringToNum(const ZMapStringToNum& other);
  ZMapStringToNum& operator=(const ZMapStringToNum& other);

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZMapStringToNum"; }
  virtual ~ZMapStringToNum() = default;

  int getCount() const { return entries.getCount(); }
  int find(const ZString& key) const;
  // Replaces the value of an existing key (result 0) or appends the pair (result 1).
  int set(const ZString& key, int value);
  // The key's value; a missing key gives defaultValue, or with insert a new pair holding it.
  int& get(const ZString& key, bool insert = false);
  bool lookup(const ZString& key, int& out) const;
  // The key's value; a missing key is appended first with the value 0, for the caller to assign.
  int& operator[](const ZString& key);
  bool getAt(int index, ZString& key, int& value) const;
  const ZString& getKeyAt(int index) const;
  int& getValueAt(int index);
  int removeAt(int index);
  int remove(const ZString& key);
  void clear() { entries.clear(); }

  // key, keySeparator, value for each pair, pairSeparator between pairs; values with thousands
  // dots (1500 is written 1.500).
  ZString toText(const ZString& keySeparator, const ZString& pairSeparator) const;

  unsigned getArraySize() const { return entries.getArraySize(); }

  int defaultValue = 0;  // handed out for a missing key

 private:
  ZMapEntries<int> entries;
};
