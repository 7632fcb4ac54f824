#include "ZEL_UTIL/ZMapStringToString.h"

namespace {

// What getKeyAt hands out for an index outside the map: made at first use, gone at program exit.
const ZString& sharedEmptyKey() {
  static const ZString empty;
  return empty;
}

}  // namespace

ZMapStringToString::ZMapStringToString(const ZMapStringToString& other) : defaultValue(other.defaultValue) {
  for (int i = 0; i < other.getCount(); ++i) entries.add(*other.entries.at(i).key, *other.entries.at(i).value);
}

ZMapStringToString& ZMapStringToString::operator=(const ZMapStringToString& other) {
  if (this == &other) return *this;
  clear();
  defaultValue = other.defaultValue;
  for (int i = 0; i < other.getCount(); ++i) entries.add(*other.entries.at(i).key, *other.entries.at(i).value);
  return *this;
}

int ZMapStringToString::find(const ZString& key) const { return entries.find(key); }

int ZMapStringToString::set(const ZString& key, const ZString& value) {
  int index = entries.find(key);
  if (index >= 0) {
    *entries.at(index).value = value;
    return 0;
  }
  entries.add(key, value);
  return 1;
}

ZString& ZMapStringToString::get(const ZString& key, bool insert) {
  int index = entries.find(key);
  if (index >= 0) return *entries.at(index).value;
  if (!insert) return defaultValue;
  return *entries.at(entries.add(key, defaultValue)).value;
}

bool ZMapStringToString::lookup(const ZString& key, ZString& out) const {
  int index = entries.find(key);
  if (index < 0) return false;
  out = *entries.at(index).value;
  return true;
}

ZString& ZMapStringToString::operator[](const ZString& key) {
  int index = entries.find(key);
  if (index < 0) index = entries.add(key, ZString());
  return *entries.at(index).value;
}

bool ZMapStringToString::getAt(int index, ZString& key, ZString& value) const {
  if (index < 0 || index >= getCount()) return false;
  key = *entries.at(index).key;
  value = *entries.at(index).value;
  return true;
}

const ZString& ZMapStringToString::getKeyAt(int index) const {
  if (index < 0 || index >= getCount()) return sharedEmptyKey();
  return *entries.at(index).key;
}

ZString& ZMapStringToString::getValueAt(int index) {
  if (index < 0 || index >= getCount()) return defaultValue;
  return *entries.at(index).value;
}

int ZMapStringToString::removeAt(int index) {
  if (index < 0) return 0;
  if (index >= getCount()) return index;
  entries.removeAt(index);
  return 1;
}

int ZMapStringToString::remove(const ZString& key) {
  int index = entries.find(key);
  if (index < 0) return -1;
  return removeAt(index);
}

ZString ZMapStringToString::toText(const ZString& keySeparator, const ZString& pairSeparator) const {
  ZString text;
  for (int i = 0; i < getCount(); ++i) {
    if (i > 0) text += pairSeparator;
    text += *entries.at(i).key;
    text += keySeparator;
    text += *entries.at(i).value;
  }
  return text;
}

ZString ZMapStringToString::expand(const ZString& templateText, const ZString& prefix, const ZString& suffix) const {
  ZString text(templateText);
  for (int i = 0; i < getCount(); ++i) text.replace(prefix + *entries.at(i).key + suffix, *entries.at(i).value);
  return text;
}

int ZMapStringToString::parseText(const ZString& text, const ZString& pairSeparator, const ZString& keySeparator,
                                  bool clearFirst) {
  if (clearFirst) clear();
  if (pairSeparator.isEmpty() || keySeparator.isEmpty()) return -1;
  int position = 0;
  int pairs = 0;
  int pairEnd;
  do {
    pairEnd = text.find(pairSeparator, position);
    int keyEnd = text.find(keySeparator, position);
    if (pairEnd >= 0 && (keyEnd < 0 || pairEnd < keyEnd)) return -1;  // a piece without a key
    if (keyEnd < 0) {
      // The last piece, with no separator left: nothing when it is empty, else a piece without a key.
      return position >= text.getLength() ? pairs : -1;
    }
    int valueStart = keyEnd + keySeparator.getLength();
    ZString value = pairEnd < 0 ? text.mid(valueStart) : text.mid(valueStart, pairEnd - valueStart);
    set(text.mid(position, keyEnd - position), value);
    ++pairs;
    position = pairEnd + pairSeparator.getLength();
  } while (pairEnd >= 0);
  return pairs;
}
