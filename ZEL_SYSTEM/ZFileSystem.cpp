#include "ZEL_SYSTEM/ZFileSystem.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_OS/OsMessageBox.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsProcess.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZError.h"
#include "ZEL_UTIL/ZPath.h"

namespace {

ZString fromStd(const std::string& text) {
  return ZString(text.c_str(), static_cast<int>(text.size()));
}

struct PathParts {
  std::string drive, directory, title, extension;
};

PathParts split(const ZString& path) {
  PathParts parts;
  zos::splitPath(path, parts.drive, parts.directory, parts.title, parts.extension);
  return parts;
}

// Shows a failure in the error log's box.
void showFailure(const ZString& text, int number) {
  zelError.showError(text, number, "Fehler !", ZError::iconError);
}

// A failure of run or shellExecute: into the empty error text, or into a box.
void reportStartFailure(const ZString& what, ZString* errorText) {
  ZString systemText = ZSystem::getErrorText(zos::lastError());
  if (errorText) {
    if (errorText->isEmpty()) *errorText = systemText;
    return;
  }
  showFailure(ZString("Fehler bei ZFileSystem:run(..)\r\n") + systemText + "\r\n" + what, 0);
}

}  // namespace

ZString ZFileSystem::getDirectory(const ZString& path) {
  PathParts parts = split(path);
  ZString directory = fromStd(parts.drive + parts.directory);
  int length = directory.getLength();
  if (length > 0 && ZPath::isSeparator(directory.getAt(length - 1))) directory = directory.left(length - 1);
  return directory;
}

ZString ZFileSystem::getFileTitle(const ZString& path) { return fromStd(split(path).title); }

ZString ZFileSystem::getFileName(const ZString& path) {
  PathParts parts = split(path);
  return fromStd(parts.title + parts.extension);
}

ZString ZFileSystem::getExtension(const ZString& path) {
  ZString extension = fromStd(split(path).extension);
  if (extension.getLength() > 0 && extension.getAt(0) == '.') extension = extension.mid(1);
  extension.trim();
  extension.makeLower();
  return extension;
}

ZString ZFileSystem::getFullPathName(const ZString& path) {
  std::string full;
  if (!zos::fullPathName(path, full)) return ZString();
  ZString result = fromStd(full);
  result.trim();
  return result;
}

ZString ZFileSystem::getCurrentDirectory() {
  std::string directory;
  zos::currentDirectory(directory);
  ZString result = fromStd(directory);
  result.trim();
  return result;
}

ZString ZFileSystem::getTempPath() {
  std::string directory;
  zos::tempPath(directory);
  ZString result = fromStd(directory);
  result.trim();
  return result;
}

ZString ZFileSystem::getTempFileName(const ZString& prefix, unsigned unique) {
  std::string name;
  if (!zos::tempFileName(getTempPath(), prefix, unique, name)) return ZString();
  return fromStd(name);
}

int ZFileSystem::createDirectory(const ZString& givenPath, int quiet) {
  // A trailing separator names the same directory; kept, it would make the second attempt
  // below fail on the directory just made.
  ZString path = givenPath;
  while (path.getLength() > 1 && ZPath::isSeparator(path.getAt(path.getLength() - 1)) &&
         path.getAt(path.getLength() - 2) != ':')
    path = path.left(path.getLength() - 1);

  bool created = zos::createDirectory(path);
  int error = created ? 0 : zos::lastError();
  if (!created && zos::isPathNotFound(error)) {
    // The parent is missing: make it first. A path without a parent ends the climb.
    ZString parent = path.left(ZPath::lastSeparator(path) < 0 ? 0 : ZPath::lastSeparator(path));
    if (!parent.isEmpty() && parent != path && createDirectory(parent, 1)) {
      created = zos::createDirectory(path);
      error = created ? 0 : zos::lastError();
    }
    zos::setLastError(error);
  }
  if (!created && !quiet) {
    ZString text("Fehler beim Anlegen des Verzeichnisses:\r\n");
    text += givenPath;
    text += "\r\n";
    text += ZSystem::getErrorText(error);
    zos::messageBox(zos::activeWindow(), text, "Fehler", ZError::iconError);
    zos::setLastError(error);
  }
  return created ? 1 : 0;
}

int ZFileSystem::deleteFile(const ZString& path, int quiet) {
  if (zos::deleteFile(path)) return 1;
  if (!quiet) showFailure(ZString("Fehler beim L\xF6" "schen der Datei:\r\n") + path, zos::lastError());
  return 0;
}

int ZFileSystem::copyFile(const ZString& source, const ZString& destination, int overwrite,
                          int quiet) {
  if (zos::copyFile(source, destination, overwrite == 0)) return 1;
  if (!quiet) {
    ZString text("Fehler beim Kopieren der Datei:\r\n");
    text += source;
    text += "\r\nnach\r\n";
    text += destination;
    showFailure(text, zos::lastError());
  }
  return 0;
}

int ZFileSystem::run(const ZString& program, const ZString& parameters, const ZString& directory,
                     unsigned short showMode, ZString* errorText, int timeout) {
  ZString workingDirectory = directory.isEmpty() ? getCurrentDirectory() : directory;
  std::uint32_t start = zos::tickCount();
  // In milliseconds, at most the longest wait the 32-bit tick count can measure (about 49 days).
  const std::uint64_t requested = timeout > 0 ? static_cast<std::uint64_t>(timeout) * 1000u : 0u;
  const std::uint32_t allowed = static_cast<std::uint32_t>(std::min<std::uint64_t>(requested, 0xFFFFFFFFu));
  if (errorText) *errorText = "";
  ZString commandLine = program + " " + parameters;

  int result = 0;
  zos::Handle process = zos::processStart(commandLine, workingDirectory, showMode);
  if (process) {
    result = 1;
    // Blocks on the program's end, a window message or the clock: messages are dispatched as
    // they come, and the wait ends with the program or the time-out.
    for (;;) {
      unsigned exitCode = zos::processStillActive;
      if (!zos::processExitCode(process, exitCode)) {
        result = 0;
        break;
      }
      if (exitCode != zos::processStillActive) break;
      std::uint32_t elapsed = zos::tickCount() - start;
      if (elapsed >= allowed) {
        result = 0;
        if (errorText) *errorText = ZString("TimeOut-Fehler bei der Ausf\xFChrung von \r\n") + commandLine;
        break;
      }
      zos::WaitResult woke = zos::waitForMessageOrObject(process, allowed - elapsed);
      if (woke == zos::WaitMessageWaiting) {
        zos::pumpOneMessage();
      } else if (woke == zos::WaitFailed) {
        result = 0;
        break;
      } else if (woke == zos::WaitSignalled) {
        // The program has ended: its exit code is read above. A program that ends with the
        // code that means "still active" is taken as ended here.
        break;
      }
    }
    int error = zos::lastError();
    zos::processClose(process);
    zos::setLastError(error);
  }
  if (!result) reportStartFailure(commandLine, errorText);
  return result;
}

int ZFileSystem::shellExecute(const ZString& file, const ZString& parameters,
                              const ZString& directory, unsigned short showMode,
                              ZString* errorText) {
  if (errorText) *errorText = "";
  if (zos::shellOpen(file, parameters, directory, showMode) > 32) return 1;
  reportStartFailure(file + " " + parameters, errorText);
  return 0;
}

int ZFileSystem::createShortcut(const ZString& linkPath, const ZString& target,
                                const ZString& description, const ZString& directory,
                                const ZString& iconPath, int iconIndex) {
  return zos::shellCreateLink(linkPath, target, description, directory, iconPath, iconIndex) ? 1 : 0;
}

ZString ZFileSystem::getVersion(const ZString& path, ZString* errorText) {
  if (path.isEmpty()) return ZString();
  const char* failedStep = nullptr;
  unsigned high = 0, low = 0;
  unsigned size = zos::fileVersionInfoSize(path);
  ZMem info(static_cast<int>(size));
  if (size == 0)
    failedStep = "[[MEMBBER]]: Fehler bei GetFileVersionInfoSize\r\n";
  else if (!zos::fileVersionInfo(path, info.getData(), size))
    failedStep = "[[MEMBBER]]: Fehler bei GetFileVersionInfo\r\n";
  else if (!zos::fileVersionQuery(info.getData(), high, low))
    failedStep = "[[MEMBBER]]: Fehler bei VerQueryValue\r\n";
  if (failedStep) {
    ZString text = ZString(failedStep) + ZSystem::getErrorText(zos::lastError());
    if (errorText)
      *errorText = text;
    else
      showFailure(text, 0);
    return ZString();
  }
  ZString version;
  version.format("%d.%d.%d.%d", static_cast<int>(high >> 16), static_cast<int>(high & 0xFFFF),
                 static_cast<int>(low >> 16), static_cast<int>(low & 0xFFFF));
  return version;
}
