// Whether two paths name one file, so that no output is opened over an
// input or over another output. An existing file is known by its device
// and inode (so links and other spellings of the path are seen through); a
// path to a file not yet made, by its folder's device and inode and its
// last name.
#ifndef RELALG_ENGINE_SAME_FILE_H
#define RELALG_ENGINE_SAME_FILE_H

#include <optional>
#include <string>
#include <vector>

struct file_identity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  std::string name;  // the last name, for a file not yet made

  bool operator==(const file_identity& o) const {
    return device == o.device && inode == o.inode && name == o.name;
  }
};

// The identity of the file a path names, or nothing when neither the file
// nor its folder can be looked at. "-" names no file.
std::optional<file_identity> identify_file(const std::string& path);

// Whether both paths name one file that can be identified.
bool same_file(const std::string& a, const std::string& b);

// A file named by its role and path: {"the input", "in.txt"}.
struct named_path {
  std::string role;
  std::string path;
};

// The first output that names the same file as an input or as an earlier
// output, as a message ("the explain file 'a.txt' names the same file as
// the input 'b.txt'; write it to another file"), or empty when none does.
std::string output_clash(const std::vector<named_path>& inputs, const std::vector<named_path>& outputs);

#endif
