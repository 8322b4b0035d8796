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

bool read_all(const std::string& path, input_text& out, int* keep, const read_policy& policy,
              file_facts* facts) {
  if (keep != nullptr) *keep = -1;
  int fd = STDIN_FILENO;
  if (path != "-") {
    const int flags = O_RDONLY | O_CLOEXEC | (policy.regular_only ? O_NOFOLLOW | O_NONBLOCK | O_NOCTTY : 0);
    fd = ::open(path.c_str(), flags);
    if (fd < 0) return false;
  }
  const auto fail = [fd](int err) {
    if (fd != STDIN_FILENO) ::close(fd);
    errno = err;
    return false;
  };
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    if (facts != nullptr && fd != STDIN_FILENO) {
      facts->mode = st.st_mode;
      facts->size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    }
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (policy.regular_only && fd != STDIN_FILENO && !S_ISREG(st.st_mode)) return fail(ENODEV);
    // One byte more than the file, so the read that meets its end needs no
    // further growth.
    if (S_ISREG(st.st_mode) && st.st_size > 0 && policy.first_line_cap == SIZE_MAX) {
      out.reserve_more(static_cast<std::size_t>(st.st_size) + 1);
    }
  } else if (policy.regular_only && fd != STDIN_FILENO) {
    return fail(errno);
  }
  // A regular file never blocks; its reads wait for the disk as usual.
  if (policy.regular_only && fd != STDIN_FILENO) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::size_t line_end = SIZE_MAX;  // where the first line feed is, once read
  for (;;) {
    std::size_t want = SIZE_MAX;
    if (policy.first_line_cap != SIZE_MAX) {
      const std::size_t stop = line_end == SIZE_MAX ? policy.first_line_cap + 1 : line_end + 1 + policy.look_past;
      if (out.view().size() >= stop) break;
      want = stop - out.view().size();
    }
    if (out.room() == 0) out.reserve_more(1 << 16);
    const ssize_t n = ::read(fd, out.tail(), std::min(out.room(), want));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    const std::size_t from = out.view().size();
    out.added(static_cast<std::size_t>(n));
    if (line_end == SIZE_MAX && policy.first_line_cap != SIZE_MAX) {
      const std::size_t nl = out.view().find('\n', from);
      if (nl != std::string_view::npos) line_end = nl;
    }
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
