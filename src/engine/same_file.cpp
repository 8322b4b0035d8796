// Identifying files with stat(2).
#include "engine/same_file.h"

#include <sys/stat.h>

std::optional<file_identity> identify_file(const std::string& path) {
  if (path.empty() || path == "-") return std::nullopt;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    return file_identity{static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino), {}};
  }
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || ::stat(folder.c_str(), &st) != 0) return std::nullopt;
  return file_identity{static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino), name};
}

bool same_file(const std::string& a, const std::string& b) {
  const auto x = identify_file(a);
  const auto y = identify_file(b);
  return x && y && *x == *y;
}
