#include "ZEL_UTIL/ZStringList.h"

#include <cstdlib>
#include <cstring>

#include "ZEL_UTIL/ZError.h"

namespace {

constexpr unsigned slotSize = 4;         // bytes per slot in the growth rules
constexpr unsigned firstArraySize = 40;  // room for 10 items
constexpr unsigned refitSlack = 404;     // a refit leaves room for 101 further items
constexpr unsigned keepSlack = 600;

std::size_t blockBytes(unsigned arraySize) { return arraySize / slotSize * sizeof(ZString*); }

bool isBlank(int ch) { return static_cast<unsigned char>(ch) <= 0x20; }

}  // namespace

ZStringList::ZStringList() {
  size = firstArraySize;
  items = static_cast<ZString**>(std::calloc(1, blockBytes(size)));
}

ZStringList::ZStringList(const ZStringList& other) : ZStringList() { *this = other; }

ZStringList& ZStringList::operator=(const ZStringList& other) {
  if (&other == this) return *this;
  clear();
  ignoreCase = other.ignoreCase;
  for (int i = 0; i < other.count; ++i) insertAt(count, *other.items[i]);
  return *this;
}

ZStringList::~ZStringList() {
  clear();
  std::free(items);
  items = nullptr;
}

void ZStringList::fitArray(int newCount) {
  unsigned needed = slotSize * static_cast<unsigned>(newCount);
  if (needed + slotSize <= size && size <= needed + keepSlack) return;
  unsigned newSize = needed + refitSlack;
  void* block = std::realloc(items, blockBytes(newSize));
  if (block == nullptr) return;  // the old array still holds every item
  items = static_cast<ZString**>(block);
  size = newSize;
}

void ZStringList::showIndexError(const char* operation, int index) const {
  ZString message;
  message.format("Fehler in der Liste: %s.%s(..)\r\nEs wurde ein Element au\xDF" "erhalb des Bereiches "
                 "angefordert.\r\nAngefordert wurde: %d\r\nm\xF6" "glich ist: 0...%d",
                 getClassName(), operation, index, count - 1);
  zelError.showError(message, 0, "Fehler !", ZError::iconError);
}

int ZStringList::compareAt(int index, const ZString& text) {
  int result = getAt(index).compare(text, ignoreCase != 0);
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int ZStringList::compareItems(int a, int b) {
  if (getAt(a) < getAt(b)) return -1;
  if (getAt(b) < getAt(a)) return 1;
  return 0;
}

ZString& ZStringList::getAt(int index) {
  if (index >= 0 && index < count) return *items[index];
  showIndexError("getAt", index);
  if (count == 0) {
    spare = "";
    return spare;
  }
  return *items[index < 0 ? 0 : count - 1];
}

bool ZStringList::setAt(int index, const ZString& text) {
  if (index < 0 || index >= count) {
    showIndexError("getAt", index);
    return false;
  }
  *items[index] = text;
  return true;
}

int ZStringList::insertAt(int index) {
  if (index < 0 || index > count) {
    showIndexError("insertAt", index);
    return -1;
  }
  fitArray(count + 1);
  if (blockBytes(size) < (static_cast<std::size_t>(count) + 1) * sizeof(ZString*)) return -1;  // no memory
  std::memmove(items + index + 1, items + index, static_cast<std::size_t>(count - index) * sizeof(ZString*));
  items[index] = new ZString;
  ++count;
  return index;
}

int ZStringList::insertAt(int index, const ZString& text) {
  int result = insertAt(index);
  if (result < 0) return result;
  setAt(result, text);
  return result;
}

int ZStringList::addEmpty() { return insertAt(count); }

int ZStringList::add(const ZString& text, bool unique) {
  if (unique) {
    int found = find(text, 0);
    if (found >= 0) return found;
  }
  return insertAt(count, text);
}

int ZStringList::find(const ZString& text, int start) {
  for (int i = start < 0 ? 0 : start; i < count; ++i)
    if (compareAt(i, text) == 0) return i;
  return -1;
}

void ZStringList::removeAt(int index) {
  if (index < 0 || index >= count) {
    showIndexError("removeAt", index);
    return;
  }
  delete items[index];
  std::memmove(items + index, items + index + 1, static_cast<std::size_t>(count - index - 1) * sizeof(ZString*));
  --count;
  fitArray(count);
}

void ZStringList::clear() {
  // From the back: the array is fitted through the same counts as from the front, without moving.
  while (count > 0) removeAt(count - 1);
}

int ZStringList::removeEqual(const ZString& text) {
  int removed = 0;
  for (int i = count - 1; i >= 0; --i) {
    if (compareAt(i, text) == 0) {
      removeAt(i);
      ++removed;
    }
  }
  return removed;
}

void ZStringList::swap(int a, int b) {
  if (a < 0 || a >= count || b < 0 || b >= count) return;
  ZString copy(*items[a]);
  setAt(a, *items[b]);
  setAt(b, copy);
}

void ZStringList::sort(int direction) {
  if (count <= 1 || direction == 0) return;
  quickSort(0, count - 1, direction > 0 ? 1 : -1);
}

void ZStringList::quickSort(int low, int high, int direction) {
  ZString pivot(*items[(low + high) / 2]);
  int i = low;
  int j = high;
  while (i <= j) {
    while (compareAt(i, pivot) == -direction) ++i;
    while (compareAt(j, pivot) == direction) --j;
    if (i <= j) {
      swap(i, j);
      ++i;
      --j;
    }
  }
  if (low < j) quickSort(low, j, direction);
  if (i < high) quickSort(i, high, direction);
}

ZString ZStringList::join(const ZString& separator) const {
  ZString result;
  for (int i = 0; i < count; ++i) {
    if (i > 0) result += separator;
    result += *items[i];
  }
  return result;
}

int ZStringList::split(const ZString& text, const ZString& separator) {
  clear();
  int made = 0;
  int start = 0;
  int pos;
  // An empty separator occurs nowhere; it would otherwise be found at the same place for ever.
  while (!separator.isEmpty() && (pos = text.find(separator, start)) >= 0) {
    add(text.mid(start, pos - start));
    ++made;
    start = pos + separator.getLength();
  }
  add(text.mid(start));
  return made + 1;
}

int ZStringList::splitQuoted(const ZString& text) {
  clear();
  ZString work(text);
  work.trim();
  work += ' ';
  bool inQuotes = false;
  int tokenStart = 0;
  for (int i = 0; i < work.getLength(); ++i) {
    int ch = work.getAt(i);
    if (isBlank(ch) && !inQuotes) {
      ZString token = work.mid(tokenStart, i - tokenStart);
      token.trim();
      if (token.startsWith("\"") && token.endsWith("\"")) {
        token = token.mid(1, token.getLength() - 2);
        token.trim();
      }
      add(token, false);
      tokenStart = i;  // the blank opens the next token; its trim drops it again
    } else if (ch == '"') {
      inQuotes = !inQuotes;
    }
  }
  return count;
}

int ZStringList::splitNested(const ZString& text, char separator, const ZString& bracketPairs, bool quoteEscape) {
  clear();
  ZString expected;  // the closing characters still to come, innermost last
  int made = 0;
  int tokenStart = 0;
  int length = text.getLength();
  for (int i = 0; i < length; ++i) {
    char ch = static_cast<char>(text.getAt(i));
    if (ch == separator && expected.isEmpty()) {
      add(text.mid(tokenStart, i - tokenStart));
      ++made;
      tokenStart = i + 1;
    } else if (quoteEscape && ch == '\'') {
      ++i;  // the escaped character is not looked at
    } else if (!expected.isEmpty() && ch == static_cast<char>(expected.getAt(expected.getLength() - 1))) {
      expected.remove(expected.getLength() - 1);
    } else {
      for (int k = 0; k + 1 < bracketPairs.getLength(); k += 2) {
        if (ch == static_cast<char>(bracketPairs.getAt(k))) {
          expected += static_cast<char>(bracketPairs.getAt(k + 1));
          break;
        }
      }
    }
  }
  if (tokenStart < length) {
    add(text.mid(tokenStart));
    ++made;
  }
  return made;
}

int ZStringList::splitTokens(const ZString& text, const ZString& separator, bool unique) {
  int before = count;
  ZString rest(text);
  while (!rest.isEmpty()) add(rest.nextToken(separator), unique);
  return count - before;
}
