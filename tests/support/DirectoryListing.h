// The names in a directory, sorted and separated by blanks: what a test expects to be left there.
#pragma once
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

inline std::string directoryListing(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}
