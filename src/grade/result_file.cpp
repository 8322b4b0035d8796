// A temporary file beside the target (mkstemp), written, fsync'ed, given
// the target's mode, and renamed over the target.
#include "grade/result_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/show_text.h"

namespace grade {

bool write_result_file(const std::string& path, std::string_view text, std::string& message) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int err = 0;
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    err = errno;
  } else {
    struct stat st {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0 && err == 0) {
      const ssize_t w = ::write(fd, p, left);
      if (w < 0) {
        if (errno != EINTR) err = errno;
        continue;
      }
      p += w;
      left -= static_cast<std::size_t>(w);
    }
    if (err == 0 && ::fchmod(fd, mode) != 0) err = errno;
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(name.data(), path.c_str()) != 0) err = errno;
    if (err != 0) ::unlink(name.data());
  }
  if (err == 0) return true;
  message = "relalg: cannot write " + quoted_path(path) + ": " + std::strerror(err);
  return false;
}

}  // namespace grade
