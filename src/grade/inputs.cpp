// Reading grading's files. A reference folder is listed once: NAME.txt is an
// exercise, NAME.dbK.txt (K a number) is its K-th extra database, the
// manifest gives points and visibility, and every other file is ignored.
// Exercises are graded in byte order of their names.
#include "grade/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "engine/io.h"
#include "engine/show_text.h"
#include "grade/submission_file.h"

#include "grade/constraint_text.h"

namespace grade {

namespace fs = std::filesystem;

namespace {

std::string describe(const std::string& path) {
  return path == "-" ? "standard input" : quoted_path(path);
}

bool is_folder(const std::string& path) {
  struct stat st {};
  return path != "-" && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string join(const std::string& folder, const std::string& file) {
  return !folder.empty() && folder.back() == '/' ? folder + file : folder + "/" + file;
}

// "relalg: FILE:LINE:COL: error: MESSAGE", the line, and a caret under COL.
[[noreturn]] void fail_at(const std::string& path, std::size_t line_no, std::size_t col,
                          const std::string& message, const std::string& line) {
  std::string caret;
  for (std::size_t i = 0; i + 1 < col && i < line.size(); ++i) caret += line[i] == '\t' ? '\t' : ' ';
  throw input_error("relalg: " + path + ":" + std::to_string(line_no) + ":" + std::to_string(col) +
                    ": error: " + message + "\n" + line + "\n" + caret + "^");
}

bool points_text(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  if (i == 0) return false;
  if (i == s.size()) return true;
  if (s[i] != '.' || i + 1 == s.size()) return false;
  for (++i; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

// The list of hidden=: "all", or dbK names separated by commas.
bool hidden_list(const std::string& list, manifest_entry& e) {
  if (list == "all") {
    e.hidden_all = true;
    return true;
  }
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = std::min(list.find(',', from), list.size());
    const std::string item = list.substr(from, comma - from);
    if (item.size() < 3 || item.compare(0, 2, "db") != 0 || item[2] == '0' ||
        item.find_first_not_of("0123456789", 2) != std::string::npos || item.size() > 12) {
      return false;
    }
    e.hidden.push_back(std::strtoul(item.c_str() + 2, nullptr, 10));
    if (comma == list.size()) return true;
    from = comma + 1;
  }
}

// A file of a reference folder: an exercise, or the K-th database of one.
struct folder_entry {
  std::string exercise;
  unsigned long db = 0;  // 0: the exercise's reference
};

bool classify(const std::string& file, folder_entry& out) {
  if (file.size() <= 4 || file.compare(file.size() - 4, 4, ".txt") != 0 || file[0] == '.') return false;
  const std::string stem = file.substr(0, file.size() - 4);
  const std::size_t dot = stem.rfind(".db");
  if (dot != std::string::npos && dot > 0 && dot + 3 < stem.size() &&
      stem.find_first_not_of("0123456789", dot + 3) == std::string::npos && stem[dot + 3] != '0') {
    out.exercise = stem.substr(0, dot);
    out.db = std::strtoul(stem.c_str() + dot + 3, nullptr, 10);
    return true;
  }
  out.exercise = stem;
  out.db = 0;
  return true;
}

class reader {
 public:
  // The text of a file that grading cannot do without.
  std::string must_read(const std::string& path) {
    std::string text;
    std::string message;
    if (!read(path, text, message)) throw input_error("relalg: " + message);
    return text;
  }
  // Standard input is read once, however often "-" is named.
  bool read(const std::string& path, std::string& text, std::string& message) {
    if (path == "-") {
      if (!stdin_read_) {
        stdin_ok_ = read_file(path, stdin_text_, stdin_message_);
        stdin_read_ = true;
      }
      text = stdin_text_;
      message = stdin_message_;
      return stdin_ok_;
    }
    return read_file(path, text, message);
  }
  // A submission; standard input is read once.
  submission_text submission(const std::string& path) {
    if (path != "-") return read_submission_file(path);
    if (!stdin_submission_) stdin_submission_ = read_submission_file(path);
    return *stdin_submission_;
  }

 private:
  std::optional<submission_text> stdin_submission_;
  bool stdin_read_ = false;
  bool stdin_ok_ = false;
  std::string stdin_text_, stdin_message_;
};

submission_input read_submission(reader& in, const std::string& path) {
  submission_input s;
  s.path = path;
  const submission_text t = in.submission(path);
  s.readable = t.ok;
  s.problem = t.problem;
  s.query = t.query;
  s.ignored_lines = t.ignored_lines;
  s.second_line = t.second_line;
  s.dropped_bom = t.dropped_bom;
  s.dropped_cr = t.dropped_cr;
  return s;
}

}  // namespace

bool read_file(const std::string& path, std::string& out, std::string& message) {
  input_text text;
  if (read_all(path, text)) {
    out.assign(text.view());
    return true;
  }
  out.clear();
  message = "cannot read " + describe(path) + ": " + std::strerror(errno);
  return false;
}

std::vector<manifest_entry> parse_manifest(const std::string& text, const std::string& path,
                                           std::vector<constraint_change>* changes) {
  std::vector<manifest_entry> out;
  std::map<std::string, std::size_t> seen;
  std::size_t line_no = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Fields are runs of bytes other than blanks and tabs; '#' starts a comment.
    std::vector<std::pair<std::string, std::size_t>> fields;  // text, column
    for (std::size_t i = 0; i < line.size();) {
      if (line[i] == ' ' || line[i] == '\t') {
        ++i;
        continue;
      }
      if (line[i] == '#') break;
      const std::size_t from = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#') ++i;
      fields.emplace_back(line.substr(from, i - from), from + 1);
    }
    if (fields.empty()) continue;
    static const char* const kinds[] = {"key", "reference", "values", "order", "all"};
    if ((fields[0].first == "add" || fields[0].first == "drop") && fields.size() >= 2 &&
        std::find(std::begin(kinds), std::end(kinds), fields[1].first) != std::end(kinds)) {
      // The rest of the line, to a '#' outside a quoted value.
      const std::size_t from = fields[1].second - 1;
      std::size_t to = from;
      for (bool quoted = false; to < line.size() && (quoted || line[to] != '#'); ++to) {
        if (line[to] == '\'') quoted = !quoted;
      }
      std::string c = line.substr(from, to - from);
      while (!c.empty() && (c.back() == ' ' || c.back() == '\t')) c.pop_back();
      const bool add = fields[0].first == "add";
      std::string why;
      if ((add && c == "all") || !constraint_form(c, why)) {
        fail_at(path, line_no, from + 1, why.empty() ? "'all' can only be dropped" : why, line);
      }
      if (changes != nullptr) changes->push_back({add, c, path + ":" + std::to_string(line_no)});
      continue;
    }
    manifest_entry e;
    e.name = fields[0].first;
    if (fields.size() < 2) {
      fail_at(path, line_no, line.size() + 1, "expected the points after the exercise name", line);
    }
    if (!points_text(fields[1].first)) {
      fail_at(path, line_no, fields[1].second,
              "points must be a number such as 2 or 0.5, not '" + fields[1].first + "'", line);
    }
    e.points = std::strtod(fields[1].first.c_str(), nullptr);
    e.line = line_no;
    bool have_visibility = false;
    bool have_hidden = false;
    for (std::size_t f = 2; f < fields.size(); ++f) {
      const std::string& v = fields[f].first;
      if (v.rfind("hidden=", 0) == 0) {
        if (have_hidden) fail_at(path, line_no, fields[f].second, "the hidden databases are given twice", line);
        have_hidden = true;
        if (!hidden_list(v.substr(7), e)) {
          fail_at(path, line_no, fields[f].second,
                  "hidden= takes the extra databases to hide, such as hidden=db1 or hidden=db1,db2, or "
                  "hidden=all, not '" + v + "'",
                  line);
        }
      } else if (!have_visibility && (v == "visible" || v == "hidden" || v == "after_due_date" || v == "after_published")) {
        have_visibility = true;
        e.visibility = v;
      } else if (!have_visibility) {
        fail_at(path, line_no, fields[f].second,
                "visibility must be visible, hidden, after_due_date or after_published, not '" + v + "'",
                line);
      } else {
        fail_at(path, line_no, fields[f].second, "unexpected text after the visibility", line);
      }
    }
    if (seen.count(e.name) != 0) {
      fail_at(path, line_no, fields[0].second,
              "exercise '" + e.name + "' is listed twice (first on line " +
                  std::to_string(seen[e.name]) + ")",
              line);
    }
    seen[e.name] = line_no;
    out.push_back(std::move(e));
  }
  return out;
}

grading_inputs load_inputs(const grade_options& o) {
  grading_inputs g;
  reader in;
  std::vector<database_input> extra;
  for (const std::string& db : o.databases) extra.push_back({db, read_source(in.must_read(db))});

  if (!is_folder(o.reference)) {
    exercise ex;
    ex.reference_path = o.reference;
    source ref = read_source(in.must_read(o.reference));
    ex.reference_query = ref.query;
    ex.databases.push_back({o.reference, std::move(ref)});
    for (const database_input& d : extra) ex.databases.push_back(d);
    g.exercises.push_back(std::move(ex));
    auto& subs = g.submissions.emplace_back();
    for (const std::string& p : o.submissions) subs.push_back(read_submission(in, p));
    g.constraint_changes = o.constraint_changes;
    return g;
  }

  g.folders = true;
  std::map<std::string, std::map<unsigned long, std::string>> found;  // exercise -> db -> file
  std::error_code ec;
  fs::directory_iterator it(o.reference, ec);
  if (ec) throw input_error("relalg: cannot read '" + o.reference + "': " + ec.message());
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) throw input_error("relalg: cannot read '" + o.reference + "': " + ec.message());
    const std::string file = it->path().filename().string();
    folder_entry e;
    if (!classify(file, e) || !it->is_regular_file(ec)) continue;
    found[e.exercise][e.db] = file;
  }
  std::map<std::string, manifest_entry> manifest;
  const std::string manifest_path = join(o.reference, kManifestName);
  if (fs::exists(manifest_path, ec)) {
    for (manifest_entry& m : parse_manifest(in.must_read(manifest_path), manifest_path, &g.constraint_changes)) {
      manifest[m.name] = m;
    }
  }
  for (const auto& [name, files] : found) {
    if (files.count(0) == 0) {
      throw input_error("relalg: '" + join(o.reference, files.begin()->second) +
                        "' is a database of exercise '" + name + "', but there is no '" +
                        join(o.reference, name + ".txt") + "'");
    }
  }
  for (const auto& [name, m] : manifest) {
    if (found.count(name) == 0) {
      throw input_error("relalg: " + manifest_path + " lists exercise '" + name + "', but there is no '" +
                        join(o.reference, name + ".txt") + "'");
    }
  }
  if (found.empty()) throw input_error("relalg: no exercises (NAME.txt files) in '" + o.reference + "'");

  for (const auto& [name, files] : found) {
    exercise ex;
    ex.name = name;
    ex.reference_path = join(o.reference, files.at(0));
    source ref = read_source(in.must_read(ex.reference_path));
    ex.reference_query = ref.query;
    ex.databases.push_back({ex.reference_path, std::move(ref)});
    const auto m = manifest.find(name);
    for (const auto& [k, file] : files) {
      if (k == 0) continue;
      const std::string p = join(o.reference, file);
      const bool hidden = m != manifest.end() && (m->second.hidden_all || std::count(m->second.hidden.begin(), m->second.hidden.end(), k) > 0);
      ex.databases.push_back({p, read_source(in.must_read(p)), hidden});
    }
    if (m != manifest.end()) {
      for (const unsigned long k : m->second.hidden) {
        if (files.count(k) == 0) {
          throw input_error("relalg: " + manifest_path + ":" + std::to_string(m->second.line) + ": exercise '" + name +
                            "' hides db" + std::to_string(k) + ", but there is no '" +
                            join(o.reference, name + ".db" + std::to_string(k) + ".txt") + "'");
        }
      }
    }
    for (const database_input& d : extra) ex.databases.push_back(d);
    if (m != manifest.end()) {
      ex.points = m->second.points;
      ex.visibility = m->second.visibility;
    }
    auto& subs = g.submissions.emplace_back();
    for (const std::string& folder : o.submissions) {
      const std::string p = join(folder, name + ".txt");
      submission_input s;
      s.path = p;
      if (!is_folder(folder)) {
        s.missing = true;
        s.problem = describe(folder) + " is not a folder, so it holds no " + name + ".txt.";
      } else if (!something_at(p)) {
        s.missing = true;
        s.problem = "there is no file " + name + ".txt in '" + folder + "'.";
      } else {
        s = read_submission(in, p);
      }
      subs.push_back(std::move(s));
    }
    g.exercises.push_back(std::move(ex));
  }
  g.constraint_changes.insert(g.constraint_changes.end(), o.constraint_changes.begin(), o.constraint_changes.end());
  return g;
}

}  // namespace grade
