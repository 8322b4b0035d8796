// Identifying files with stat(2).
#include "engine/same_file.h"

#include <sys/stat.h>

#include "engine/show_text.h"

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

std::string output_clash(const std::vector<named_path>& inputs, const std::vector<named_path>& outputs) {
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    const auto out = identify_file(outputs[o].path);
    if (!out) continue;
    const auto clash = [&](const named_path& other) {
      return outputs[o].role + " " + show_text(outputs[o].path) + " names the same file as " + other.role + " " +
             show_text(other.path) + "; write it to another file";
    };
    for (const named_path& in : inputs) {
      const auto id = identify_file(in.path);
      if (id && *id == *out) return clash(in);
    }
    for (std::size_t e = 0; e < o; ++e) {
      const auto id = identify_file(outputs[e].path);
      if (id && *id == *out) return clash(outputs[e]);
    }
  }
  return {};
}
