// The command line of the equivalence check: relalg --equivalent A [B]
// [--rows-only] [--extended] [--search N] [--seed N] [--json] [--max-rows N].
#ifndef RELALG_EQUIVALENT_OPTIONS_H
#define RELALG_EQUIVALENT_OPTIONS_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace equivalent {

struct check_options {
  // Two input files, each with its query on line 1 (the database is A's);
  // or one, B empty, whose lines 1 and 2 are the queries.
  std::string first;
  std::string second;
  bool rows_only = false;
  bool extended = false;  // the queries may use join, njoin, intersect and divide
  std::size_t search = 200;  // random parts tested when nothing is proved
  std::uint64_t seed = 1;
  bool json = false;
  std::optional<std::size_t> max_rows;
};

struct parsed_command {
  enum kind { check, help, version, usage_error } what = check;
  check_options options;
  std::string error;  // without "relalg: "
};

// args: the arguments after the program's name.
parsed_command parse_command(const std::vector<std::string>& args);

// The --help section of the check.
extern const char* const help_text;

}  // namespace equivalent

#endif
