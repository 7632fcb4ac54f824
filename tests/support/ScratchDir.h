// A fresh directory below the system's temporary directory for one test, removed with everything
// in it when the object goes. Paths are given with the platform's own separators.
#pragma once
#include <string>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return root; }
  // The path of name inside the directory.
  std::string file(const std::string& name) const;

  // Whole-file access for checking what the code under test wrote.
  static std::string read(const std::string& path);
  static void write(const std::string& path, const std::string& bytes);
  static bool exists(const std::string& path);
  // The names of the entries in the directory, sorted.
  std::string listing() const;

 private:
  std::string root;
};
