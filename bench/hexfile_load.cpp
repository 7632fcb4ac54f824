// Loads one Intel HEX file into an image and says how large it came out: the whole process is
// what the burn benchmark times, start-up and exit included, as a user meets it.
//   hexfile_load FILE
#include <cstdio>

#include "ZEL_SYSTEM/ZHexFile.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZString.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hexfile_load FILE\n");
    return 2;
  }
  ZHexFile hexFile;
  ZMem image;
  if (!hexFile.load(ZString(argv[1]), image)) {
    std::fprintf(stderr, "%s: not loaded\n", argv[1]);
    return 1;
  }
  std::printf("%d bytes from %d data records\n", image.getSize(), hexFile.getDataRecordCount());
  return 0;
}
