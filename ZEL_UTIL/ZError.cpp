#include "ZEL_UTIL/ZError.h"

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsMessageBox.h"

void ZError::addError(const ZString& text, int number) {
  ZString entry(text);
  if (number != 0) {
    entry += "\r\nFehlernummer: ";
    entry += number;
    entry += "\r\n";
    entry += getErrorText(number);
  }
  entry.trim();
  entry.replace("\r\n", "\r\n\t");
  entry.insert(0, "\r\n");
  if (log.find(entry) < 0) log += entry;
}

void ZError::showError(const ZString& text, int number, const ZString& caption, unsigned style) const {
  ZString message(text);
  if (number != 0) {
    message += "\r\n Fehlernummer: ";
    message += number;
    message += "\r\n";
    message += getErrorText(number);
  }
  zos::messageBox(zos::activeWindow(), message, caption, style);
}

ZString ZError::getErrorText(int number) {
  std::string text = zos::errorText(number);
  return ZString(text.c_str(), static_cast<int>(text.size()));
}

void ZError::showLog() const {
  if (log == "") return;
  ZString message("Folgende Fehler sind w\xE4" "hrend der Abarbeitung des Programmes protokolliert worden:\r\n");
  message += log;
  showError(message, 0, "Fehler !", iconError);
}
