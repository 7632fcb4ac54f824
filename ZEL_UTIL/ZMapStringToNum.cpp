#include "ZEL_UTIL/ZMapStringToNum.h"

namespace {

// What getKeyAt hands out for an index outside the map: made at first use, gone at program exit.
const ZString& sharedEmptyKey() {
  static const ZString empty;
  return empty;
}

}  // namespace

ZMapStringToNum::ZMapStringToNum(const ZMapStringToNum& other) : defaultValue(other.defaultValue) {
  for (int i = 0; i < other.getCount(); ++i) entries.add(*other.entries.at(i).key, *other.entries.at(i).value);
}

ZMapStringToNum& ZMapStringToNum::operator=(const ZMapStringToNum& other) {
  if (this == &other) return *this;
  clear();
  defaultValue = other.defaultValue;
  for (int i = 0; i < other.getCount(); ++i) entries.add(*other.entries.at(i).key, *other.entries.at(i).value);
  return *this;
}

int ZMapStringToNum::find(const ZString& key) const { return entries.find(key); }

int ZMapStringToNum::set(const ZString& key, int value) {
  int index = entries.find(key);
  if (index >= 0) {
    *entries.at(index).value = value;
    return 0;
  }
  entries.add(key, value);
  return 1;
}

int& ZMapStringToNum::get(const ZString& key, bool insert) {
  int index = entries.find(key);
  if (index >= 0) return *entries.at(index).value;
  if (!insert) return defaultValue;
  return *entries.at(entries.add(key, defaultValue)).value;
}

bool ZMapStringToNum::lookup(const ZString& key, int& out) const {
  int index = entries.find(key);
  if (index < 0) return false;
  out = *entries.at(index).value;
  return true;
}

int& ZMapStringToNum::operator[](const ZString& key) {
  int index = entries.find(key);
  if (index < 0) index = entries.add(key, 0);
  return *entries.at(index).value;
}

bool ZMapStringToNum::getAt(int index, ZString& key, int& value) const {
  if (index < 0 || index >= getCount()) return false;
  key = *entries.at(index).key;
  value = *entries.at(index).value;
  return true;
}

const ZString& ZMapStringToNum::getKeyAt(int index) const {
  if (index < 0 || index >= getCount()) return sharedEmptyKey();
  return *entries.at(index).key;
}

int& ZMapStringToNum::getValueAt(int index) {
  if (index < 0 || index >= getCount()) return defaultValue;
  return *entries.at(index).value;
}

int ZMapStringToNum::removeAt(int index) {
  if (index < 0) return 0;
  if (index >= getCount()) return index;
  entries.removeAt(index);
  return 1;
}

int ZMapStringToNum::remove(const ZString& key) {
  int index = entries.find(key);
  if (index < 0) return -1;
  return removeAt(index);
}

ZString ZMapStringToNum::toText(const ZString& keySeparator, const ZString& pairSeparator) const {
  ZString text;
  for (int i = 0; i < getCount(); ++i) {
    if (i > 0) text += pairSeparator;
    text += *entries.at(i).key;
    text += keySeparator;
    text += ZString::fromInt(*entries.at(i).value, true, 10, 0);
  }
  return text;
}
