#include "ZEL_UTIL/ZLanguage.h"

#include <cstdint>
#include <cstring>

#include "ZEL_OS/OsHeap.h"
#include "ZEL_UTIL/ZAssert.h"

namespace {

const char* const source = "ZEL_UTIL/ZLanguage";
const char marker[] = "\xB3\xB3";
constexpr int markerLength = 2;
constexpr int indexEntrySize = 8;  // key offset, text offset: 32 bits each

bool startsWithMarker(const char* text) {
  return static_cast<unsigned char>(text[0]) == 0xB3 && static_cast<unsigned char>(text[1]) == 0xB3;
}

// The first marker in text[from, end), or null.
const char* findMarker(const char* text, const char* end) {
  for (const char* p = text; p + 1 < end; ++p)
    if (startsWithMarker(p)) return p;
  return nullptr;
}

}  // namespace

// The marker is built from single characters, which no table translates: as a text of its own it
// would be taken for a marked text without a closing marker and come back empty.
ZLanguage::ZLanguage() : languageCode("de"), separator(marker[0]) {
  separator.append(ZString(marker[1]));
  previousTable = ZString::languageTable;
  ZString::languageTable = this;
}

ZLanguage::~ZLanguage() {
  clear();
  if (ZString::languageTable == this) ZString::languageTable = previousTable;
}

void ZLanguage::clear() {
  if (heap == nullptr) return;
  zos::heapFree(heap, keyArea);
  zos::heapFree(heap, indexArea);
  zos::heapFree(heap, textArea);
  keyArea = indexArea = textArea = nullptr;
  keyAreaSize = indexAreaSize = textAreaSize = 0;
  loadErrors = "";
  languageCode = "de";
  missingTexts = "";
}

void ZLanguage::grow(char area, int newSize) {
  char** block = area == 'k' ? &keyArea : area == 'p' ? &indexArea : &textArea;
  int* size = area == 'k' ? &keyAreaSize : area == 'p' ? &indexAreaSize : &textAreaSize;
  if (heap == nullptr) {
    zos::Handle hHeap = zos::processHeap();
    ZEL_ASSERT_AT(hHeap, source, 193);
    heap = hHeap;
  }
  void* pBuffer;
  if (*block == nullptr) {
    pBuffer = zos::heapAllocate(heap, static_cast<std::size_t>(newSize));
    ZEL_ASSERT_AT(pBuffer, source, 217);
  } else {
    pBuffer = zos::heapReallocate(heap, *block, static_cast<std::size_t>(*size), static_cast<std::size_t>(newSize));
    ZEL_ASSERT_AT(pBuffer, source, 224);
  }
  *block = static_cast<char*>(pBuffer);
  *size = newSize;
}

int ZLanguage::load(ZString& text) {
  int savedActive = active;
  active = 0;  // the string work below must not translate, whichever table strings use now
  ZLanguage* registered = ZString::languageTable;
  ZString::languageTable = nullptr;
  int entryNumber = 0;
  int keyPos = keyAreaSize;
  int indexPos = indexAreaSize;
  int textPos = textAreaSize;
  while (!text.isEmpty()) {
    ++entryNumber;
    text.trimLeft();
    // Blanks after the last entry are no entry of their own.
    if (text.isEmpty()) break;
    if (text.getAt(0) == ';' || text.getAt(0) == '#') {
      text.nextToken("\n");
      continue;
    }
    ZString entry = text.nextToken(separator);
    int equals = entry.findChar('=');
    ZString key = equals < 0 ? entry : entry.left(equals);
    ZString value = equals < 0 ? ZString() : entry.mid(equals + 1);
    if (key.isEmpty()) {
      loadErrors.appendFormat("ZLanguage::load(..) Eintrag Nr. %d hat einen leeren Schl\xFC" "ssel.\r\n",
                              entryNumber);
      continue;
    }
    if (indexAreaSize < indexPos + indexEntrySize) grow('p', indexPos + indexEntrySize + 1000);
    std::int32_t offsets[2] = {keyPos, textPos};
    std::memcpy(indexArea + indexPos, offsets, sizeof offsets);
    indexPos += indexEntrySize;

    key.append(separator);
    if (keyAreaSize < keyPos + key.getLength() + 10) {
      int needed = keyPos + key.getLength() + 10;
      grow('k', keyPos + 1000 > needed ? keyPos + 1000 : needed);
    }
    std::memcpy(keyArea + keyPos, key.getBuffer(), static_cast<std::size_t>(key.getLength()));
    keyPos += key.getLength();

    if (textAreaSize < textPos + value.getLength() + 10) {
      int needed = textPos + value.getLength() + 10;
      grow('t', textPos + 1000 > needed ? textPos + 1000 : needed);
    }
    std::memcpy(textArea + textPos, value.getBuffer(), static_cast<std::size_t>(value.getLength()) + 1);
    textPos += value.getLength() + 1;
  }
  text = "";
  grow('k', keyPos + 1);
  keyArea[keyPos] = '\0';
  grow('t', textPos);
  grow('p', indexPos);
  ZString::languageTable = registered;
  active = savedActive;
  return 1;
}

const char* ZLanguage::translate(const char* text, int* length) {
  if (active == 0 || text == nullptr || text[0] == '\0') return text;
  int given = length != nullptr ? *length : -1;
  if (given >= 0 && given < markerLength) return text;
  if (!startsWithMarker(text)) return text;

  const char* end = given >= 0 ? text + given : text + std::strlen(text);
  const char* key = text + markerLength;
  const char* closing = findMarker(key, end);
  if (closing == nullptr) {
    if (given >= 0) *length = given - markerLength;
    return key;
  }
  int keyLength = static_cast<int>(closing - key);
  const char* defaultText = closing + markerLength;

  if (keyArea != nullptr) {
    for (int entry = 0; entry + indexEntrySize <= indexAreaSize; entry += indexEntrySize) {
      std::int32_t offsets[2];
      std::memcpy(offsets, indexArea + entry, sizeof offsets);
      // A stored key that merely begins with the requested one matches as well.
      if (offsets[0] + keyLength <= keyAreaSize && std::memcmp(keyArea + offsets[0], key, static_cast<std::size_t>(keyLength)) == 0) {
        const char* found = textArea + offsets[1];
        if (length != nullptr) *length = static_cast<int>(std::strlen(found));
        return found;
      }
    }
  }

  // Unknown key: the default text is used, and the marked text is noted as missing.
  ZLanguage* registered = ZString::languageTable;
  ZString::languageTable = nullptr;
  missingTexts.append(ZString(key, static_cast<int>(end - key)));
  missingTexts.append(ZString("\r\n"));
  ZString::languageTable = registered;
  if (length != nullptr) {
    if (given >= 0)
      *length = given - static_cast<int>(defaultText - text);
    else
      *length = static_cast<int>(std::strlen(defaultText));
  }
  return defaultText;
}
