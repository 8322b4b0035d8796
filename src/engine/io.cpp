// The system calls behind input and output.
#include "engine/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

void input_text::reserve_more(std::size_t more) {
  if (cap_ - size_ >= more) return;
  const std::size_t cap = std::max(size_ + more, cap_ * 2);
  auto bigger = std::make_unique_for_overwrite<char[]>(cap);
  if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
  data_ = std::move(bigger);
  cap_ = cap;
}

// Reads a whole file (or standard input for "-"). Returns false with errno
// set when it cannot be opened or read. When `keep` is given and the input
// is a regular file, its descriptor is left open there (else -1).
bool read_all(const std::string& path, input_text& out, int* keep) {
  if (keep != nullptr) *keep = -1;
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      if (fd != STDIN_FILENO) ::close(fd);
      errno = EISDIR;
      return false;
    }
    // One byte more than the file, so the read that meets its end needs no
    // further growth.
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
      out.reserve_more(static_cast<std::size_t>(st.st_size) + 1);
    }
  }
  for (;;) {
    if (out.room() == 0) out.reserve_more(1 << 16);
    const ssize_t n = ::read(fd, out.tail(), out.room());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      if (fd != STDIN_FILENO) ::close(fd);
      errno = err;
      return false;
    }
    out.added(static_cast<std::size_t>(n));
  }
  if (keep != nullptr && fd != STDIN_FILENO && S_ISREG(st.st_mode)) {
    *keep = fd;
  } else if (fd != STDIN_FILENO) {
    ::close(fd);
  }
  return true;
}

void fd_writer::write(std::string_view s) {
  while (!s.empty() && err_ == 0) {
    const ssize_t n = ::write(fd_, s.data(), s.size());
    if (n < 0) {
      if (errno != EINTR) err_ = errno;
      continue;
    }
    s.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool fd_writer::copy_from(int from, std::size_t size) {
#ifdef __linux__
  loff_t in_off = 0;
  std::size_t done = 0;
  while (done < size && err_ == 0) {
    const ssize_t n = ::copy_file_range(from, &in_off, fd_, nullptr, size - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (done == 0) {
      return false;  // not supported here, or nothing to copy: write instead
    } else {
      err_ = n < 0 ? errno : EIO;
    }
  }
  return true;
#else
  (void)from;
  (void)size;
  return false;
#endif
}

bool fd_writer::close() {
  if (fd_ > STDERR_FILENO && ::close(fd_) != 0 && err_ == 0) err_ = errno;
  fd_ = -1;
  return ok();
}
