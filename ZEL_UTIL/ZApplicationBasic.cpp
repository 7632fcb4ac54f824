#include "ZEL_UTIL/ZApplicationBasic.h"

#include <string>

#include "ZEL_OS/OsCommandLine.h"

ZApplicationBasic::ZApplicationBasic() {
  std::string line = zos::commandLine();
  params.splitQuoted(ZString(line.c_str(), static_cast<int>(line.size())));
  programPath = params.getAt(0);
}
