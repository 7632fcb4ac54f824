// ZFileSystem: paths, directories, copies, program starts, shortcuts and file versions.
// No state: every operation is static. Paths may separate their parts with "\" or "/"; paths
// built here use the platform's separator.
//
// Failures are reported by the result; quiet 0 (or no error text pointer) also shows them in a
// message box, quiet 1 keeps silent, and a given error text pointer receives the text instead.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZFileSystem {
 public:
  ZFileSystem() = default;
  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZFileSystem"; }
  virtual ~ZFileSystem() = default;

  // Parts of a path: drive and directory without one trailing separator; the name without
  // directory and extension; name and extension; the extension trimmed, in lower case and
  // without its ".".
  static ZString getDirectory(const ZString& path);
  static ZString getFileTitle(const ZString& path);
  static ZString getFileName(const ZString& path);
  static ZString getExtension(const ZString& path);

  // The path's absolute form, trimmed; empty on failure.
  static ZString getFullPathName(const ZString& path);
  static ZString getCurrentDirectory();
  // The directory for temporary files, ending with the separator.
  static ZString getTempPath();
  // A temporary file name in getTempPath from the prefix and the number; with 0 the system picks
  // the number and creates the empty file. Empty on failure.
  static ZString getTempFileName(const ZString& prefix, unsigned unique);

  // Creates the directory with all its missing parents.
  static int createDirectory(const ZString& path, int quiet);
  static int deleteFile(const ZString& path, int quiet);
  static int copyFile(const ZString& source, const ZString& destination, int overwrite, int quiet);

  // Starts program with parameters in the directory (empty: the current one) and waits for its
  // end, at most timeout seconds, while the thread's window messages are dispatched. 1 when it
  // ended in time (whatever its exit code); 0 when it could not start or outlived the time-out,
  // in which case it goes on running.
  static int run(const ZString& program, const ZString& parameters, const ZString& directory,
                 unsigned short showMode, ZString* errorText, int timeout);

  // Opens a file, program or address as the desktop does.
  static int shellExecute(const ZString& file, const ZString& parameters, const ZString& directory,
                          unsigned short showMode, ZString* errorText);

  // Writes a shortcut (Windows: a shell link; POSIX: a desktop launcher file) to the target.
  static int createShortcut(const ZString& linkPath, const ZString& target,
                            const ZString& description, const ZString& directory,
                            const ZString& iconPath, int iconIndex);

  // The file version of an executable as "a.b.c.d"; empty when it has none.
  static ZString getVersion(const ZString& path, ZString* errorText);
};
