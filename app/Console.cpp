#include "app/Console.h"

#include <utility>

#include "ZEL_OS/OsConsole.h"

namespace {

std::function<void(const std::string&)>& outputHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}
std::function<int()>& keyHook() {
  static std::function<int()> hook;
  return hook;
}
std::function<void()>& clearHook() {
  static std::function<void()> hook;
  return hook;
}

// Unicode code points of the Windows-1252 bytes 0x80 to 0x9F. The byte 0x81 has no character
// there; the usage text uses it for the u-umlaut of the console's OEM code page, so it is shown
// as that letter.
const unsigned short upperControlRange[32] = {
    0x20AC, 0x00FC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, unsigned codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

bool showAsUtf8() {
  static const bool utf8 = zos::stdoutIsTerminal() && zos::localeUsesUtf8();
  return utf8;
}

}  // namespace

std::string Console::toUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (unsigned char byte : text) {
    if (byte >= 0x80 && byte < 0xA0) {
      appendUtf8(out, upperControlRange[byte - 0x80]);
    } else {
      appendUtf8(out, byte);
    }
  }
  return out;
}

std::string Console::toUtf8Keeping(const std::string& text, const std::string& asIs) {
  if (asIs.empty()) return toUtf8(text);
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = text.find(asIs); at != std::string::npos; at = text.find(asIs, from)) {
    out += toUtf8(text.substr(from, at - from));
    out += asIs;
    from = at + asIs.size();
  }
  return out + toUtf8(text.substr(from));
}

void Console::write(const ZString& text) { write(text, ZString()); }

void Console::write(const ZString& text, const ZString& asIs) {
  std::string bytes(text.getBuffer(), static_cast<size_t>(text.getLength()));
  if (outputHook()) {
    outputHook()(bytes);
    return;
  }
  if (showAsUtf8()) bytes = toUtf8Keeping(bytes, std::string(asIs.getBuffer(), static_cast<size_t>(asIs.getLength())));
  zos::writeStdout(bytes.data(), bytes.size());
}

int Console::readKey() {
  if (keyHook()) return keyHook()();
  return zos::readKey();
}

void Console::clearScreen() {
  if (clearHook()) {
    clearHook()();
    return;
  }
  zos::clearScreen();
}

void Console::setOutputHook(std::function<void(const std::string&)> hook) { outputHook() = std::move(hook); }
void Console::setKeyHook(std::function<int()> hook) { keyHook() = std::move(hook); }
void Console::setClearHook(std::function<void()> hook) { clearHook() = std::move(hook); }
