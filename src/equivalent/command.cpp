// The equivalence check's command: the files read, the check run, the
// verdict written as text or as one JSON object.
#include "equivalent/command.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/json.h"
#include "equivalent/check.h"
#include "equivalent/options.h"
#include "grade/feedback.h"
#include "grade/inputs.h"

namespace {

constexpr int exit_proved = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_differs = 3;
constexpr int exit_undecided = 4;

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A printed result with its final line feed, or the failure message.
std::string shown(const grade::evaluation& e) { return e.ok() ? e.printed() : e.error() + "\n"; }

std::string where_seen(const equivalent::check_result& r, const equivalent::check_options& o,
                       const std::string& file) {
  if (r.seen_on == 0) return "found by the prover: " + r.reason;
  std::string w = "the results differ on ";
  if (r.seen_on > 1) w += "random part " + std::to_string(r.seen_on - 1) + " of ";
  w += "the database in '" + file + "'";
  if (r.seen_on > 1) w += " (--search " + std::to_string(o.search) + ", seed " + std::to_string(o.seed) + ")";
  return w;
}

std::string text_report(const equivalent::check_result& r, const equivalent::check_options& o,
                        const std::string& file) {
  using v = equivalent::check_result::verdict;
  const char* what = o.rows_only ? "rows" : "result";
  if (r.what == v::proved) {
    return std::string("proved: the two queries give the same ") + what +
           " on every database with these tables\n";
  }
  if (r.what == v::undecided) {
    return "undecided: " + r.reason + "\nequal on " + plural(r.tested, "database", "databases") +
           " tested: the database in '" + file + "' and " + plural(r.tested - 1, "random part", "random parts") +
           " of it (seed " + std::to_string(o.seed) + ")\n";
  }
  const grade::counterexample& cx = *r.cx;
  std::string m = "differs: " + where_seen(r, o, file) + "\n";
  if (cx.row_count == 0) {
    m += "The difference shows even with no rows at all, on the tables' headers alone";
  } else {
    m += "A smallest database that shows the difference has " + plural(cx.row_count, "row", "rows") +
         (cx.row_count == 1 ? "; without it" : "; without any one of them") + " the two results agree";
  }
  m += cx.minimal ? ".\n" : " (the search stopped after " + std::to_string(cx.tests) +
                                " evaluations; a smaller one may exist).\n";
  m += std::string(o.extended ? grade::kExtendedInputMarker : grade::kInputMarker) + "\n" + cx.input;
  m += "--- the first query's result on it ---\n" + shown(cx.submission);
  m += "--- the second query's result on it ---\n" + shown(cx.reference);
  m += std::string(grade::kEndMarker) + "\n";
  return m;
}

std::string json_report(const equivalent::check_result& r, const equivalent::check_options& o,
                        const std::string& file) {
  using v = equivalent::check_result::verdict;
  const auto str = [](const std::string& s) { return json_string(s); };
  const bool differs = r.what == v::differs;
  std::string j = "{\"verdict\": ";
  j += r.what == v::proved ? "\"proved\"" : differs ? "\"differs\"" : "\"undecided\"";
  j += ", \"reason\": " + (r.what == v::proved ? std::string("null") : str(differs ? where_seen(r, o, file) : r.reason));
  j += ", \"proof\": " + (r.what == v::proved ? r.certificate : std::string("null"));
  j += ", \"found_by\": " + std::string(!differs ? "null" : r.seen_on == 0 ? "\"prover\"" : "\"testing\"");
  j += ", \"sample\": " + (differs && r.seen_on > 1 ? std::to_string(r.seen_on - 1) : std::string("null"));
  const grade::counterexample* cx = differs ? &*r.cx : nullptr;
  j += ", \"counterexample\": " + (cx ? str(cx->input) : std::string("null"));
  j += ", \"counterexample_rows\": " + (cx ? std::to_string(cx->row_count) : std::string("null"));
  j += ", \"counterexample_minimal\": " + (cx ? std::string(cx->minimal ? "true" : "false") : std::string("null"));
  j += ", \"first_result\": " + (cx ? str(shown(cx->submission)) : std::string("null"));
  j += ", \"second_result\": " + (cx ? str(shown(cx->reference)) : std::string("null"));
  j += ", \"databases_tested\": " + std::to_string(r.tested);
  j += ", \"preorders\": " + std::to_string(r.preorders) + "}\n";
  return j;
}

}  // namespace

bool wants_equivalence(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") return false;
    if (a == "--equivalent" || a.rfind("--equivalent=", 0) == 0) return true;
  }
  return false;
}

int equivalence_main(int argc, char** argv, const command_texts& texts) {
  using namespace equivalent;
  const parsed_command pc = parse_command(std::vector<std::string>(argv + 1, argv + argc));
  switch (pc.what) {
    case parsed_command::help:
      std::cout << texts.help;
      return std::cout.flush() ? exit_proved : exit_failed;
    case parsed_command::version:
      std::cout << texts.version << "\n";
      return std::cout.flush() ? exit_proved : exit_failed;
    case parsed_command::usage_error:
      std::cerr << "relalg: " << pc.error << "\n" << texts.usage << "\n";
      return exit_usage;
    case parsed_command::check:
      break;
  }
  const check_options& o = pc.options;
  const auto name = [](const std::string& path) { return path == "-" ? std::string("<stdin>") : path; };
  query_pair q;
  std::string text, message;
  if (!grade::read_file(o.first, text, message)) {
    std::cerr << "relalg: " << message << "\n";
    return exit_failed;
  }
  q.first = first_line(text);
  q.first_file = q.database_file = name(o.first);
  if (!o.second.empty()) {
    std::string other;
    if (!grade::read_file(o.second, other, message)) {
      std::cerr << "relalg: " << message << "\n";
      return exit_failed;
    }
    q.second = first_line(other);
    q.second_file = name(o.second);
    q.database = text;
  } else {
    const std::size_t end = text.find('\n');
    if (end == std::string::npos) {
      std::cerr << "relalg: '" << q.first_file
                << "' has one line; with one file, its lines 1 and 2 are the two queries\n";
      return exit_failed;
    }
    const std::size_t end2 = text.find('\n', end + 1);
    q.second = text.substr(end + 1, end2 == std::string::npos ? std::string::npos : end2 - end - 1);
    q.second_file = q.first_file;
    q.second_line = 2;
    // The database: the first line, then every line after the second.
    q.database = q.first + "\n" + (end2 == std::string::npos ? std::string() : text.substr(end2 + 1));
  }
  check_settings s;
  s.rows_only = o.rows_only;
  s.search = o.search;
  s.seed = o.seed;
  s.engine = grade::default_engine_options();
  s.engine.extended = o.extended;
  if (o.max_rows) s.engine.max_rows = *o.max_rows;
  const check_result r = check_equivalence(q, s);
  if (r.what == check_result::verdict::failed) {
    std::cerr << r.failure << "\n";
    return exit_failed;
  }
  std::cout << (o.json ? json_report(r, o, q.database_file) : text_report(r, o, q.database_file));
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "relalg: cannot write standard output: " << std::strerror(errno != 0 ? errno : EIO) << "\n";
    return exit_failed;
  }
  switch (r.what) {
    case check_result::verdict::proved: return exit_proved;
    case check_result::verdict::differs: return exit_differs;
    default: return exit_undecided;
  }
}
