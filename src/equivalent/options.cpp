// Parsing the equivalence check's command line, as the other commands do:
// options anywhere among the paths, a value after a blank or "=", "--"
// ending the options.
#include "equivalent/options.h"

#include <charconv>

namespace equivalent {

const char* const help_text =
    "\n"
    "With --equivalent, decides whether two queries give the same result on\n"
    "every database with the tables of A: the query on line 1 of A and the\n"
    "one on line 1 of B, or, with A alone, the queries on lines 1 and 2 of A\n"
    "(its tables follow them). Prints 'proved', 'differs' with a smallest\n"
    "database that shows it, or 'undecided' with the reason and the number of\n"
    "databases (A's and random parts of it) on which the two agreed.\n"
    "\n"
    "equivalence options:\n"
    "  --equivalent A [B]  the queries and their database\n"
    "  --rows-only         compare the row lines only, not the header\n"
    "  --extended          the queries may use join, njoin, intersect and divide\n"
    "  --search N          random parts of A's database tested when nothing is\n"
    "                      proved (default 200)\n"
    "  --seed N            the seed of those random parts (default 1)\n"
    "  --json              write one JSON object, with the proof's certificate\n"
    "  --max-rows N        as above, for every query evaluated\n"
    "\n"
    "equivalence exit status: 0 proved, 3 differs, 4 undecided, 1 a file cannot\n"
    "be read or a query fails on A's database, 2 wrong usage.\n";

namespace {

template <class N>
bool whole_number(const std::string& v, N& out) {
  if (v.empty()) return false;
  const auto res = std::from_chars(v.data(), v.data() + v.size(), out);
  return res.ec == std::errc() && res.ptr == v.data() + v.size();
}

}  // namespace

parsed_command parse_command(const std::vector<std::string>& args) {
  parsed_command pc;
  check_options& o = pc.options;
  std::vector<std::string> paths;
  bool options_done = false;
  bool asked = false;
  const auto fail = [&pc](std::string message) {
    pc.what = parsed_command::usage_error;
    pc.error = std::move(message);
    return pc;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a == "-" || a.empty() || a[0] != '-') {
      paths.push_back(a);
      continue;
    }
    if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      pc.what = parsed_command::help;
      return pc;
    } else if (a == "--version") {
      pc.what = parsed_command::version;
      return pc;
    } else if (a == "--rows-only") {
      o.rows_only = true;
    } else if (a == "--extended") {
      o.extended = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--equivalent") {
      if (asked) return fail("--equivalent is given twice");
      asked = true;
    } else if (a.rfind("--equivalent=", 0) == 0) {
      if (asked) return fail("--equivalent is given twice");
      asked = true;
      paths.push_back(a.substr(13));
    } else {
      std::string name;
      std::string value;
      for (const std::string n : {"--search", "--seed", "--max-rows"}) {
        if (a == n) {
          if (i + 1 >= args.size()) return fail(n + " needs a number");
          name = n;
          value = args[++i];
        } else if (a.rfind(n + "=", 0) == 0) {
          name = n;
          value = a.substr(n.size() + 1);
        }
      }
      if (name.empty()) return fail("unknown option '" + a + "'");
      bool ok = true;
      if (name == "--seed") {
        ok = whole_number(value, o.seed);
      } else {
        std::size_t n = 0;
        ok = whole_number(value, n);
        if (name == "--search") o.search = n;
        else o.max_rows = n;
      }
      if (!ok) return fail(name + " needs a whole number, not '" + value + "'");
    }
  }
  if (paths.empty() || paths.size() > 2) {
    return fail("--equivalent needs one input file with two query lines, or two input files; got " +
                std::to_string(paths.size()));
  }
  o.first = paths[0];
  if (paths.size() == 2) o.second = paths[1];
  return pc;
}

}  // namespace equivalent
