#include "tests/support/ScratchDirectory.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

ScratchDirectory::ScratchDirectory() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << "kalmo-test-" << stamp << "-" << counter++;
    root = std::filesystem::temp_directory_path() / name.str();
    if (std::filesystem::create_directory(root)) break;
  }
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

std::string ScratchDirectory::operator/(const std::string& name) const {
  return (root / std::filesystem::path(name).make_preferred()).string();
}

std::string ScratchDirectory::write(const std::string& name, const std::string& content) const {
  std::filesystem::path file = root / std::filesystem::path(name).make_preferred();
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << content;
  return file.string();
}

std::string ScratchDirectory::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
