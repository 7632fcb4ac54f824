// The two configuration files of the application basics: "<title>.cfg" in the user's and in the
// computer's application data folder, where title is the program file's name without extension.
#include "ZEL_OS/OsMessageBox.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_SYSTEM/ZFileSystem.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZApplicationBasic.h"
#include "ZEL_UTIL/ZError.h"

namespace {

const int userFolderId = 0x1A;      // the user's application data
const int computerFolderId = 0x23;  // the application data of all users

const char* const titleMissingHint =
    "Eventuell haben Sie diese Funktion vor der Verarbeitung der \xDC" "bergabeparameter "
    "(z.B. in einem Konstruktor) aufgerufen.";

int openConfigFile(ZFileIni& file, const ZString& programPath, int folderId,
                   const char* titleMissingText) {
  if (file.isOpen()) return 1;
  ZString title = ZFileSystem::getFileTitle(programPath);
  if (title.isEmpty()) {
    zelError.showError(ZString(titleMissingText) + titleMissingHint, 0, "Fehler !",
                     zos::messageBoxIconError);
    return 0;
  }
  ZString folder = ZSystem::getSpecialFolderPath(folderId, 0);
  ZString path = folder + ZString(zos::pathSeparator()) + title + ".cfg";
  return file.open(path, 1, 0);
}

}  // namespace

int ZApplicationBasic::openUserConfigFile() {
  return openConfigFile(userConfig, programPath, userFolderId,
                        "Fehler in ZApplication::openUserConfigFile(..): Der Dateiname der "
                        "Anwendung konnte nicht ermittelt werden.\r\n");
}

int ZApplicationBasic::openComputerConfigFile() {
  return openConfigFile(computerConfig, programPath, computerFolderId,
                        "Fehler in ZApplication::openComputerConfigFile(..): Der Dateiname der "
                        "Anwendung konnte nicht ermittelt werden.\r\n");
}
