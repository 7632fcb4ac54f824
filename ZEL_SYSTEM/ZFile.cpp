#include "ZEL_SYSTEM/ZFile.h"

#include <cstdio>
#include <string>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_OS/OsMessageBox.h"
#include "ZEL_SYSTEM/ZFileSystem.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZError.h"

namespace {

const char* const openCaption = "Fehler ZFile::open(..)";
const char* const readCaption = "Fehler ZFile::read(..)";

// The system's text for the error that the last failing call left behind.
ZString lastErrorText() { return ZSystem::getErrorText(zos::lastError()); }

void showFileError(const ZString& text, const char* caption) {
  zos::messageBox(zos::activeWindow(), text, caption, zos::messageBoxIconError);
}

ZString openFailureText(const ZString& name) {
  return ZString("Fehler beim \xF6" "ffnen der Datei '") + name + "'\r\n" + lastErrorText();
}

}  // namespace

ZFile::ZFile() = default;

ZFile::~ZFile() { close(); }

int ZFile::open(const ZString& name, const ZString& mode, int quiet) {
  close();
  errorText = "";
  int result = 1;
  ZString openMode(mode);

  if (name.isEmpty()) {
    result = 0;
    errorText = "Fehler beim \xF6" "ffnen der Datei, es wurde kein Dateiname \xFC" "bergeben.";
    if (!quiet) showFileError(errorText, openCaption);
  }
  if (openMode.find("t") < 0 && openMode.find("b") < 0) openMode += "b";

  if (result == 1) {
    stream = std::fopen(name, openMode);
    if (stream != nullptr && zos::streamIsDirectory(stream)) {
      // A directory read as a file would read as empty: refused, as on Windows.
      std::fclose(stream);
      stream = nullptr;
    } else if (stream == nullptr) {
      zos::captureLastError();
    }
    if (stream == nullptr) {
      result = 0;
      errorText = openFailureText(name);
      if (!quiet) showFileError(errorText, openCaption);
    } else {
      fileName = ZFileSystem::getFullPathName(name);
    }
  }
  return result;
}

ZString ZFile::showOpenFailure(const ZString& name) {
  ZString text = openFailureText(name);
  showFileError(text, openCaption);
  return text;
}

int ZFile::create(const ZString& name, int quiet) { return open(name, "w+b", quiet); }

int ZFile::reopenEmpty() {
  ZString path(fileName);
  close();
  return open(path, "w+", 0);
}

void ZFile::close() {
  if (stream != nullptr) {
    std::fclose(stream);
    stream = nullptr;
  }
  fileName = "";
}

void ZFile::showReadError() {
  errorText = "Fehler beim lesen der Datei.\r\nDie Datei wurde noch nicht ge\xF6" "ffnet.";
  showFileError(errorText, readCaption);
}

int ZFile::read(void* buffer, int count) {
  if (stream == nullptr) {
    showReadError();
    return 0;
  }
  if (count <= 0) return 0;
  std::clearerr(stream);  // a failure reported before must not fail this read
  std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(count), stream);
  if (std::ferror(stream)) {
    zos::captureLastError();
    errorText = lastErrorText();
    return 0;
  }
  return static_cast<int>(got);
}

ZString ZFile::readText(int count) {
  ZString text;
  if (stream == nullptr) return text;
  if (count == -1) count = getSize();
  if (count <= 0) return text;
  text.appendRepeated(" ", count);
  read(text.getWritableBuffer(), count);
  return text;
}

int ZFile::write(const void* buffer, int count) {
  errorText = "";
  if (stream == nullptr || count < 0) return 0;
  if (count == 0) return 1;
  std::clearerr(stream);
  std::size_t written = std::fwrite(buffer, 1, static_cast<std::size_t>(count), stream);
  if (std::ferror(stream) || written < static_cast<std::size_t>(count)) {
    zos::captureLastError();
    errorText = ZString("Fehler beim Schreiben: ") + lastErrorText();
    return 0;
  }
  return 1;
}

int ZFile::writeText(const ZString& text) { return write(text.getBuffer(), text.getLength()); }

int ZFile::seek(int position, int origin) {
  if (stream == nullptr) return 0;
  int whence = SEEK_SET;
  if (origin == 1) whence = SEEK_CUR;
  if (origin == 2) {
    whence = SEEK_END;
    if (position > 0) position = -position;  // 100 and -100 both mean 100 bytes before the end
  }
  if (std::fseek(stream, position, whence) != 0) {
    zos::captureLastError();
    errorText = lastErrorText();
    return 0;
  }
  return 1;
}

int ZFile::tell() {
  errorText = "";
  if (stream == nullptr) return 0;
  long position = std::ftell(stream);
  if (position == -1) {
    zos::captureLastError();
    errorText = lastErrorText();
    return 0;
  }
  return static_cast<int>(position);
}

int ZFile::getSize() {
  if (stream == nullptr) {
    zelError.showError(
        "Fehler, ZFile::getSize()\r\nDiese Funktion kann nur auf auf eine ge\xF6" "ffnete Datei "
        "angewendet werden.",
        0, "Fehler !", zos::messageBoxIconError);
    return 0;
  }
  // A stream without a position (a pipe, a terminal) has no size: -1, with errorText telling why.
  int position = tell();
  if (!errorText.isEmpty()) return -1;
  seek(0, 2);
  int size = tell();
  ZString failure = errorText;
  seek(position, 0);
  if (failure.isEmpty()) return size;
  errorText = failure;
  return -1;
}

int ZFile::truncate(int position) {
  if (stream == nullptr) return 0;
  int result = seek(position, 0);
  if (!zos::truncateStream(stream, position)) {
    errorText = lastErrorText();
    return 0;
  }
  return result;
}

ZString ZFile::getName() const { return ZFileSystem::getFileName(fileName); }

int ZFile::createTempFile(const ZString& prefix, const ZString& directory, int quiet) {
  ZString folder = directory.isEmpty() ? ZFileSystem::getTempPath() : directory;
  std::string name;
  if (!zos::tempFileName(folder, prefix, 0, name)) {
    errorText = lastErrorText();
    return 0;
  }
  ZString path(name.c_str());
  path.trim();
  if (create(path, quiet)) return 1;
  std::remove(name.c_str());
  return 0;
}

ZString ZFile::readFile(const ZString& name, ZString* errorTextOut) {
  ZFile file;
  ZString text;
  if (file.open(name, "rb", errorTextOut == nullptr ? 1 : 0)) {
    const int size = file.getSize();
    if (size >= 0) text = file.readText(size);
    if (size < 0 && errorTextOut != nullptr) *errorTextOut = file.errorText;
    file.close();
  } else if (errorTextOut != nullptr) {
    *errorTextOut = file.errorText;
  }
  return text;
}

namespace {

// A stream buffers what it is given: a full disk shows only when the buffer goes out. The bytes
// count as written once they have left the stream.
int flushWritten(ZFile& file) {
  if (std::fflush(file.getStream()) == 0) return 1;
  zos::captureLastError();
  file.errorText = ZString("Fehler beim Schreiben: ") + lastErrorText();
  return 0;
}

}  // namespace

int ZFile::writeFile(const ZString& name, const ZString& text, ZString* errorTextOut) {
  ZFile file;
  int result = file.open(name, "w+b", errorTextOut == nullptr ? 1 : 0);
  if (result) result = file.writeText(text) && flushWritten(file);
  if (!result && errorTextOut != nullptr) *errorTextOut = file.errorText;
  file.close();
  return result;
}

int ZFile::readFile(const ZString& name, ZMem& block, ZString* errorTextOut) {
  ZFile file;
  int result = file.open(name, "rb", errorTextOut != nullptr ? 1 : 0);
  if (result) {
    int size = file.getSize();
    if (size < 0) {
      result = 0;
    } else {
      block.setSize(size);
      if (size > 0 && file.read(block.getData(), size) < size) result = 0;
    }
  }
  if (!result && errorTextOut != nullptr) *errorTextOut = file.errorText;
  file.close();
  return result;
}

int ZFile::writeFile(const ZString& name, const ZMem& block, ZString* errorTextOut) {
  ZFile file;
  int result = file.create(name, errorTextOut != nullptr ? 1 : 0);
  if (result) result = file.write(block.getData(), block.getSize()) && flushWritten(file);
  if (!result && errorTextOut != nullptr) *errorTextOut = file.errorText;
  file.close();
  return result;
}

void ZFile::flushAll() { std::fflush(nullptr); }
