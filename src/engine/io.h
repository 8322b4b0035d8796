// Input and output files: reading a whole input into storage that the
// reads fill (not zeroed first), and unbuffered writes to a file
// descriptor, with a kernel copy of the echo where the two files allow it.
#ifndef RELALG_ENGINE_IO_H
#define RELALG_ENGINE_IO_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A whole input's bytes, in storage that is not zeroed before the reads
// fill it.
class input_text {
 public:
  std::string_view view() const { return {data_.get(), size_}; }

  // Makes room for `more` bytes after the ones read so far.
  void reserve_more(std::size_t more);
  char* tail() { return data_.get() + size_; }
  std::size_t room() const { return cap_ - size_; }
  void added(std::size_t n) { size_ += n; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t cap_ = 0;
};

// How a file is read: whole, or (for a file nobody vouches for, such as a
// student's submission) guarded and bounded.
struct read_policy {
  // Open without following a symbolic link and without blocking, and read
  // only a regular file: a link fails with ELOOP, anything else that is
  // not a regular file (a FIFO, a device, a folder) with ENODEV.
  bool regular_only = false;
  // Stop once the first line feed has been read and `look_past` bytes after
  // it, or after `first_line_cap` bytes without one.
  std::size_t first_line_cap = SIZE_MAX;
  std::size_t look_past = 0;
};

// What reading a file found besides its bytes.
struct file_facts {
  mode_t mode = 0;        // its type, once it was opened (0 for standard input)
  uint64_t size = 0;      // its size, for a regular file
};

// Reads a file (or standard input for "-") as the policy says. Returns
// false with errno set when it cannot be opened or read (EISDIR for a
// folder). When `keep` is given and the input is a regular file, its
// descriptor is left open there (else -1); `facts`, when given, receives
// what was found.
bool read_all(const std::string& path, input_text& out, int* keep = nullptr, const read_policy& policy = {},
              file_facts* facts = nullptr);

// Unbuffered writes to a file descriptor; callers hand it large chunks.
class fd_writer {
 public:
  explicit fd_writer(int fd) : fd_(fd) {}
  bool ok() const { return err_ == 0; }
  int error() const { return err_; }
  void write(std::string_view s);
  // Copies `size` bytes from the start of file `from` in the kernel, without
  // passing them through this process. Returns false, having written
  // nothing, when the kernel cannot copy between these two files.
  bool copy_from(int from, std::size_t size);
  bool close();

 private:
  int fd_;
  int err_ = 0;
};

#endif
