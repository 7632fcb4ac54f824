// ZHexFile: Intel HEX text to a memory image and back. The image is a ZMem whose byte at offset a
// is the byte at address a; its size is one more than the highest address the file fills. Data,
// end-of-file, extended segment and extended linear address records are understood; start
// address records and unknown types are passed over.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZMem;

class ZHexFile {
 public:
  // Addresses from here on are refused: no 8- or 16-bit target has that much flash, and a file
  // that names them would otherwise grow the image to gigabytes.
  static constexpr unsigned maxImageSize = 16u * 1024u * 1024u;
  // The longest line a record can take without its line end: ':' and 260 bytes (count, address,
  // type, 255 data bytes, checksum) as pairs of digits. A longer line fails the load as soon as
  // it is seen, so that a file without line ends (a device, a FIFO, a broken download) is never
  // gathered up in memory.
  static constexpr int longestLine = 1 + 2 * 260;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZHexFile"; }
  virtual ~ZHexFile() = default;

  // Reads the file and parses it into image. False if the file cannot be read or does not parse.
  // The file is read in pieces, so a device or a FIFO is read as far as its first bad line.
  bool load(const ZString& fileName, ZMem& image);

  // Fills image from the text of a HEX file. Every record must be well formed: ':' and then only
  // hexadecimal digits, as many as its byte count asks for, and a matching checksum; no line may
  // be longer than longestLine and its line end ("\n" or "\r\n"), blanks included. Bytes that
  // no record sets keep the value they had. On success the image ends at the highest address
  // filled; on failure it keeps what was filled up to the bad record.
  bool parse(const ZString& text, ZMem& image);

  // Writes the whole image as records of 16 bytes, with an extended linear address record in
  // front of every 64 KiB segment after the first, and the end-of-file record.
  bool save(const ZString& fileName, const ZMem& image);

  // The number of data records that the last parse took.
  int getDataRecordCount() const { return dataRecordCount; }

 private:
  class Parser;

  int dataRecordCount = 0;
};
