#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> serial{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << "kalmo-test-" << stamp << "-" << serial++;
    fs::path candidate = fs::temp_directory_path() / name.str();
    if (fs::create_directory(candidate)) {
      root = candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root, ignored);
}

std::string ScratchDir::file(const std::string& name) const { return (fs::path(root) / name).string(); }

std::string ScratchDir::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ScratchDir::write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool ScratchDir::exists(const std::string& path) { return fs::exists(path); }

std::string ScratchDir::listing() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}
