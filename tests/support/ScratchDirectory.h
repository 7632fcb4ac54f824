// A fresh directory below the system's temporary directory for one test, removed with all its
// content when the test ends.
#pragma once
#include <filesystem>
#include <string>

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return root; }
  // The path of a name inside the directory, as text with the platform's separators.
  std::string operator/(const std::string& name) const;
  // Writes a file (creating its parent directories) and returns its path.
  std::string write(const std::string& name, const std::string& content) const;
  static std::string read(const std::string& path);

 private:
  std::filesystem::path root;
};
