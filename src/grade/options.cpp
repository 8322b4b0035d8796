// Parsing grading's command line. Options may stand anywhere among the
// submissions, as in the driver; each option with a value takes it as the
// next argument or after "=", and "--" ends the options.
#include "grade/options.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

#include "grade/constraint_text.h"

namespace grade {

namespace {

template <class N>
bool whole_number(const std::string& v, N& out) {
  if (v.empty()) return false;
  const auto res = std::from_chars(v.data(), v.data() + v.size(), out);
  return res.ec == std::errc() && res.ptr == v.data() + v.size();
}

// A positive number of seconds: digits, optionally a point and more digits.
bool seconds(const std::string& v, double& out) {
  std::size_t i = 0;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
  if (i == 0 || i > 9) return false;
  if (i < v.size()) {
    if (v[i] != '.' || i + 1 == v.size()) return false;
    for (std::size_t k = i + 1; k < v.size(); ++k) {
      if (v[k] < '0' || v[k] > '9') return false;
    }
  }
  out = std::strtod(v.c_str(), nullptr);
  return out > 0;
}

std::size_t cores() { return std::max<std::size_t>(std::thread::hardware_concurrency(), 1); }

}  // namespace

match_rules rules_of(const grade_options& o) { return match_rules{o.rows_only, o.any_column_order}; }

std::size_t build_budget(const grade_options& o, std::size_t query_bytes) {
  if (query_bytes <= kBuildQueryBytes) return o.build;
  return static_cast<std::size_t>(static_cast<double>(o.build) * kBuildQueryBytes / static_cast<double>(query_bytes));
}

std::size_t default_jobs() { return std::clamp<std::size_t>(cores(), 1, 4); }

std::size_t most_jobs() { return cores() * 4; }

std::size_t default_memory_limit(std::size_t jobs) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGESIZE);
  std::size_t mb = 2048;
  if (pages > 0 && page > 0) {
    const auto bytes = static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(page);
    mb = static_cast<std::size_t>(bytes >> 20) / std::max<std::size_t>(jobs, 1);
  }
  return std::clamp<std::size_t>(mb, 1, 2048);
}

parsed_command parse_command(const std::vector<std::string>& args) {
  parsed_command pc;
  grade_options& o = pc.options;
  o.jobs = default_jobs();
  bool have_reference = false;
  bool options_done = false;
  const auto fail = [&pc](std::string message) {
    pc.what = parsed_command::usage_error;
    pc.error = std::move(message);
    return pc;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a == "-" || a.empty() || a[0] != '-') {
      o.submissions.push_back(a);
      continue;
    }
    if (a == "--") {
      options_done = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      pc.what = parsed_command::help;
      return pc;
    }
    if (a == "--version") {
      pc.what = parsed_command::version;
      return pc;
    }
    if (a == "--any-column-order") {
      o.any_column_order = true;
      continue;
    }
    if (a == "--rows-only") {
      o.rows_only = true;
      continue;
    }
    if (a == "--json") {
      o.json = true;
      continue;
    }
    if (a == "--coderunner") {
      o.coderunner = true;
      continue;
    }
    if (a == "--explain-constraints") {
      o.explain_constraints = true;
      continue;
    }
    if (a == "--extended") {
      o.extended = true;
      continue;
    }
    // Options with a value.
    static const char* const valued[] = {"--grade",          "--db",           "--search",         "--seed",
                                         "--gradescope",     "--prairielearn", "--max-rows",       "--jobs",
                                         "--time-limit",     "--memory-limit", "--build",          "--add-constraint",
                                         "--drop-constraint"};
    std::string name;
    std::string value;
    for (const char* v : valued) {
      const std::string n = v;
      if (a == n) {
        if (i + 1 >= args.size()) {
          return fail(n + (n == "--grade"   ? " needs the reference file or folder"
                           : n == "--db"    ? " needs a file"
                           : n == "--gradescope" || n == "--prairielearn" ? " needs a file to write"
                           : n.find("-constraint") != std::string::npos ? " needs a constraint, such as 'key T(c)'"
                                                 : " needs a number"));
        }
        name = n;
        value = args[++i];
      } else if (a.rfind(n + "=", 0) == 0) {
        name = n;
        value = a.substr(n.size() + 1);
      }
    }
    if (name.empty()) return fail("unknown option '" + a + "'");
    if (name == "--grade") {
      if (have_reference) return fail("--grade is given twice");
      have_reference = true;
      o.reference = value;
    } else if (name == "--db") {
      o.databases.push_back(value);
    } else if (name == "--gradescope") {
      o.gradescope = value;
    } else if (name == "--time-limit") {
      if (!seconds(value, o.time_limit)) {
        return fail("--time-limit needs a number of seconds greater than 0, such as 10 or 2.5, not '" + value + "'");
      }
    } else if (name == "--prairielearn") {
      o.prairielearn = value;
    } else if (name == "--add-constraint" || name == "--drop-constraint") {
      const bool add = name == "--add-constraint";
      std::string why;
      if ((add && value == "all") || !constraint_form(value, why)) {
        return fail(name + ": " + (why.empty() ? "'all' can only be dropped" : why));
      }
      o.constraint_changes.push_back({add, value, name});
    } else if (name == "--seed") {
      if (!whole_number(value, o.seed)) return fail("--seed needs a whole number, not '" + value + "'");
    } else {
      std::size_t n = 0;
      if (!whole_number(value, n)) return fail(name + " needs a whole number, not '" + value + "'");
      if (name == "--search") {
        o.search = n;
      } else if (name == "--build") {
        o.build = n;
      } else if (name == "--jobs") {
        if (n == 0) return fail("--jobs needs at least 1, not '0'");
        if (n > most_jobs()) {
          return fail("--jobs takes at most " + std::to_string(most_jobs()) + " (4 per core), not '" + value + "'");
        }
        o.jobs = n;
      } else if (name == "--memory-limit") {
        if (n < 16) return fail("--memory-limit needs at least 16 (megabytes), not '" + value + "'");
        o.memory_limit = std::min<std::size_t>(n, std::size_t{1} << 30);
      } else {
        o.max_rows = n;
      }
    }
  }
  if (!have_reference) return fail("--grade needs the reference file or folder");
  if (o.memory_limit == 0) o.memory_limit = default_memory_limit(o.jobs);
  if (o.submissions.empty() && !o.explain_constraints) return fail("expected at least one submission");
  // CodeRunner grades one student's answer, and reads standard output whole.
  if (o.coderunner && o.submissions.size() != 1) {
    return fail("--coderunner grades one submission, not " + std::to_string(o.submissions.size()));
  }
  if (o.coderunner && o.json) return fail("--coderunner and --json cannot be combined");
  return pc;
}

}  // namespace grade
