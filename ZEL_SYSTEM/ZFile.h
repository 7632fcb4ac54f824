// ZFile: one file through a runtime-library stream. Opens, reads, writes, positions and closes it
// and keeps the text of the last failure; static helpers read or write a whole file in one call.
// Files are binary unless the open mode asks for text ("t"), so no line ends are translated.
#pragma once
#include <cstdio>

#include "ZEL_UTIL/ZString.h"

class ZMem;

class ZFile {
 public:
  ZFile();
  ZFile(const ZFile&) = delete;
  ZFile& operator=(const ZFile&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZFile"; }
  virtual ~ZFile();

  // Opens name with a runtime open mode ("rb", "w+b", ...); "b" is added to a mode without "t" and
  // "b". A file open before is closed first. Unless quiet, a failure is also shown in a box.
  int open(const ZString& name, const ZString& mode, int quiet = 0);
  // Creates or empties name for reading and writing.
  int create(const ZString& name, int quiet = 0);
  // Empties the open file: closes it and opens the same path again for writing.
  int reopenEmpty();
  void close();
  int isOpen() const { return stream != nullptr ? 1 : 0; }

  // Reads up to count bytes at the current position: the number read, 0 on failure.
  int read(void* buffer, int count);
  // Exactly count characters from the current position (-1: the file's size); a tail that could
  // not be read stays blank. Empty while no file is open.
  ZString readText(int count = -1);
  // Writes count bytes at the current position; 1 only if all of them were written.
  int write(const void* buffer, int count);
  int writeText(const ZString& text);

  // origin 0: from the start, 1: from the current position, 2: back from the end (either sign).
  int seek(int position, int origin);
  int tell();
  // The size in bytes; the position stays where it was.
  int getSize();
  // Moves to position and cuts the file there.
  int truncate(int position);

  ZString getFileName() const { return fileName; }
  // The file name and extension of the open file, without drive and directory.
  ZString getName() const;

  // Creates a new, empty file with a unique name made from prefix in directory (the system's
  // directory for temporary files when empty) and opens it for reading and writing; quiet 1
  // shows no box when it cannot be opened. A file made but not opened is removed again.
  int createTempFile(const ZString& prefix, const ZString& directory, int quiet = 0);

  // Whole-file helpers. The text forms open quietly without an error text pointer; the block
  // forms open quietly with one. On failure the pointer receives the file's errorText.
  static ZString readFile(const ZString& name, ZString* errorTextOut = nullptr);
  static int writeFile(const ZString& name, const ZString& text, ZString* errorTextOut = nullptr);
  static int readFile(const ZString& name, ZMem& block, ZString* errorTextOut = nullptr);
  static int writeFile(const ZString& name, const ZMem& block, ZString* errorTextOut = nullptr);

  // Flushes every runtime stream of the process.
  static void flushAll();
  // For a file that a caller writes by another way than open (a new file that then takes its
  // place): shows the box that open shows when name cannot be opened, with the system's text of
  // the last failing call, and returns its text.
  static ZString showOpenFailure(const ZString& name);

  // The underlying stream, null while closed (for the OS helpers that work on the system's file).
  std::FILE* getStream() const { return stream; }

  ZString errorText;

 private:
  void showReadError();

  std::FILE* stream = nullptr;
  ZString fileName;
};
