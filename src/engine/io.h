// Input and output files: reading a whole input into storage that the
// reads fill (not zeroed first), and unbuffered writes to a file
// descriptor, with a kernel copy of the echo where the two files allow it.
#ifndef RELALG_ENGINE_IO_H
#define RELALG_ENGINE_IO_H

#include <cstddef>
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

// Reads a whole file (or standard input for "-"). Returns false with errno
// set when it cannot be opened or read. When `keep` is given and the input
// is a regular file, its descriptor is left open there (else -1).
bool read_all(const std::string& path, input_text& out, int* keep = nullptr);

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
