// The command-line program: reads its options and two paths, and runs the
// pipeline (engine/pipeline.h) from the input file to the output file.
#include "main.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/io.h"
#include "engine/same_file.h"
#include "engine/show_text.h"
#include "engine/loader.h"
#include "engine/pipeline.h"
#include "equivalent/command.h"
#include "equivalent/options.h"
#include "grade/grade.h"
#include "notation/run.h"
#include "sql/run.h"

#ifndef RELALG_VERSION
#define RELALG_VERSION "unknown"
#endif

// Sanitizer builds check for leaks, so they tear everything down.
#if defined(__SANITIZE_ADDRESS__)
#define RELALG_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELALG_ASAN 1
#endif
#endif

namespace {

constexpr const char* kUsage =
    "usage: relalg [OPTION]... INPUT OUTPUT\n"
    "       relalg --sql[=DIALECT] [--sql-query-only] [--sql-form=FORM] INPUT [OUTPUT]\n"
    "       relalg --notation=FORM INPUT [OUTPUT]\n"
    "       relalg --grade REFERENCE [--db FILE]... [--search N] [--build N] [--seed N]\n"
    "              [--rows-only] [--any-column-order] [--json] [--gradescope FILE]\n"
    "              [--prairielearn FILE] [--coderunner] [--max-rows N] [--jobs N]\n"
    "              [--time-limit SECONDS] [--memory-limit MB] [--add-constraint C]...\n"
    "              [--drop-constraint C]... [--explain-constraints] [--extended]\n"
    "              SUBMISSION...\n"
    "       relalg --equivalent A [B] [--rows-only] [--extended] [--search N] [--seed N]\n"
    "              [--json] [--max-rows N]";

constexpr const char* kHelp =
    "usage: relalg [OPTION]... INPUT OUTPUT\n"
    "       relalg --sql[=DIALECT] [--sql-query-only] [--sql-form=FORM] INPUT [OUTPUT]\n"
    "       relalg --notation=FORM INPUT [OUTPUT]\n"
    "       relalg --grade REFERENCE [--db FILE]... [--search N] [--build N] [--seed N]\n"
    "              [--rows-only] [--any-column-order] [--json] [--gradescope FILE]\n"
    "              [--prairielearn FILE] [--coderunner] [--max-rows N] [--jobs N]\n"
    "              [--time-limit SECONDS] [--memory-limit MB] [--add-constraint C]...\n"
    "              [--drop-constraint C]... [--explain-constraints] [--extended]\n"
    "              SUBMISSION...\n"
    "       relalg --equivalent A [B] [--rows-only] [--extended] [--search N] [--seed N]\n"
    "              [--json] [--max-rows N]\n"
    "\n"
    "Evaluates the relational-algebra query on the first line of INPUT over\n"
    "the tables that follow it, and writes the echo of INPUT and the result\n"
    "table to OUTPUT. Either path may be '-' for standard input or output.\n"
    "\n"
    "options:\n"
    "  --max-rows N, --max-rows=N\n"
    "                refuse a product whose result would exceed N rows\n"
    "                (and never more than fit in half of the machine's memory)\n"
    "  --warn        warn on standard error about what the language absorbs\n"
    "                silently (misspelt columns, lost operands, unknown\n"
    "                keywords, ...); the output file does not change\n"
    "  --warn=error  fail at the first warning: exit 1, no result table\n"
    "  --explain     after evaluation, write the plan to standard error: one\n"
    "                line per node with its columns, row count and time\n"
    "  --explain=json  the same as one JSON document\n"
    "  --explain=FILE  write it to FILE instead (JSON when FILE ends in .json)\n"
    "  --trace, --trace=N\n"
    "                explain, with the first N rows (default 10) of each\n"
    "                intermediate table under its node\n"
    "  --diagnostics=json\n"
    "                write every message on standard error as one JSON object\n"
    "                per line (severity, message, file, line, column, length,\n"
    "                suggestion) instead of text\n"
    "  --extended    also read join(E1,E2,P), njoin(E1,E2), intersect(E1,E2)\n"
    "                and divide(E1,E2), each defined by the six operations\n"
    "                (also with --sql, --notation and --grade)\n"
    ;

// After the SQL options (sql/options.h).
constexpr const char* kHelpTail =
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n"
    "  --            end of options (a path may then begin with '-')\n"
    "\n"
    "exit status: 0 the result was written, 1 the run failed (message on\n"
    "standard error), 2 wrong usage.\n"
    "\n"
    "With --grade, compares the query on the first line of each SUBMISSION\n"
    "('-' for standard input) with the reference query of REFERENCE on its\n"
    "tables, and reports each as correct, wrong (with a smallest database that\n"
    "shows the difference) or error. A correct answer is 'correct (proved)'\n"
    "when the prover shows it equal to the reference on every database with\n"
    "these tables, else 'correct (tested)'. REFERENCE may be a folder of exercises\n"
    "NAME.txt, with databases NAME.db1.txt... and a manifest of points; each\n"
    "SUBMISSION is then a folder of NAME.txt answers.\n"
    "\n"
    "grading options:\n"
    "  --grade REFERENCE   the reference file, or a folder of exercises\n"
    "  --db FILE           also compare on the tables of FILE (its first line is\n"
    "                      ignored); may be repeated\n"
    "  --search N          also compare on N random parts of each database\n"
    "  --build N           compare on at most N databases built from the queries\n"
    "                      and the reference's data (default 2000; fewer for\n"
    "                      queries over 4000 bytes together); 0 for none\n"
    "  --seed N            the seed of the random parts and built databases\n"
    "                      (default 1)\n"
    "  --rows-only         compare the row lines only, not the header\n"
    "  --any-column-order  compare the rows whatever the order of the columns\n"
    "                      (matched by name, else as any order that makes the\n"
    "                      rows the same); not the header\n"
    "  --json              write JSON Lines, one object per submission\n"
    "  --gradescope FILE   also write FILE as Gradescope's results.json\n"
    "  --prairielearn FILE also write FILE as PrairieLearn's results.json\n"
    "  --coderunner        print CodeRunner's grader object (one JSON line) instead\n"
    "                      of the report; one SUBMISSION\n"
    "  --max-rows N        as above, for every query evaluated\n"
    "  --extended          as above, for the reference and every submission\n"
    "  --jobs N            grade N submissions at once, each in a worker process\n"
    "                      (default: one per core, at most 4; 4 per core at most)\n"
    "  --time-limit SECONDS  for all the work of one submission (default 10); a\n"
    "                      submission over it is in error\n"
    "  --memory-limit MB   the memory of one submission's worker (default: the\n"
    "                      machine's memory divided among the jobs, at most 2048)\n"
    "  --explain-constraints  list the keys, references, value sets and orders\n"
    "                      inferred from the databases, which every database\n"
    "                      compared keeps, and grade nothing\n"
    "  --add-constraint C, --drop-constraint C\n"
    "                      change them (C as listed; drop also takes 'all')\n"
    "\n"
    "grading exit status: 0 every submission correct, 3 some wrong or in error,\n"
    "1 grading could not run (message on standard error), 2 wrong usage.\n";

// A path in a message: invisible characters as \xHH.
std::string describe(const std::string& path) { return path == "-" ? "standard input" : quoted_path(path); }

// Messages without a place on standard error, in the form --diagnostics
// asks for.
struct messenger {
  bool json = false;

  void say(const std::string& message) const {
    const diagnostic d = unplaced(severity::error, message);
    std::cerr << (json ? diagnostic_json("", "", d) : format_diagnostic("", "", d));
  }
  int usage_error(const std::string& message) const {
    say(message);
    if (!json) std::cerr << kUsage << "\n";
    return exit_usage;
  }
};

// The output file: the echo is copied from the input file by the kernel
// where it can be.
class file_sink : public output_sink {
 public:
  file_sink(fd_writer& out, int input_fd) : out_(out), input_fd_(input_fd) {}
  ~file_sink() override {
    if (input_fd_ >= 0) ::close(input_fd_);
  }
  void write(std::string_view bytes) override { out_.write(bytes); }
  void echo(std::string_view input) override {
    if (input_fd_ < 0 || !out_.copy_from(input_fd_, input.size())) out_.write(input);
  }
  bool ok() const override { return out_.ok(); }

 private:
  fd_writer& out_;
  int input_fd_;
};

// The files an output must not name: the input, and for the plan file
// also OUTPUT. The input is read whole before OUTPUT is opened, so a plain
// run's OUTPUT may name it, as documented; the SQL script, the formula and
// the plan file may not. `instead` names what --sql or --notation writes in
// place of the result ("the SQL output"), or is empty.
std::vector<named_path> command_inputs(const std::string& in_path, const std::string& out_path,
                                       const std::string& instead) {
  std::vector<named_path> files{{"the input", in_path}};
  if (instead.empty()) files.push_back({"the output", out_path});
  return files;
}

std::vector<named_path> command_outputs(const std::string& out_path, const std::string& explain_path,
                                        const std::string& instead) {
  if (!instead.empty()) return {{instead, out_path}};
  if (!explain_path.empty()) return {{"the explain file", explain_path}};
  return {};
}

}  // namespace

int relalg_main(int argc, char** argv) {
  const std::string help = std::string(kHelp) + relalg_sql::sql_help + relalg_notation::notation_help +
                           kHelpTail + equivalent::help_text;
  if (wants_grading(argc, argv)) return grade_main(argc, argv, {kUsage, help, "relalg " RELALG_VERSION});
  if (wants_equivalence(argc, argv)) return equivalence_main(argc, argv, {kUsage, help, "relalg " RELALG_VERSION});
  std::vector<std::string> operands;
  run_options options;
  relalg_sql::sql_options sql;
  relalg_notation::notation_options notation;
  std::string explain_path;  // empty: standard error
  options.limits.memory_budget = default_memory_budget();
  // The form of messages holds for every message, those about the command
  // line included, wherever the option stands.
  messenger m;
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    if (std::string_view(argv[i]) == "--diagnostics=json") m.json = true;
  }
  if (m.json) options.diagnostics = message_form::json;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (options_done || a == "-" || a.empty() || a[0] != '-') {
      operands.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--diagnostics=json" || a == "--diagnostics=text") {
      // Read above.
    } else if (a == "--help" || a == "-h") {
      std::cout << help;
      return std::cout.flush() ? exit_ok : exit_failed;
    } else if (a == "--version") {
      std::cout << "relalg " << RELALG_VERSION << "\n";
      return std::cout.flush() ? exit_ok : exit_failed;
    } else if (a == "--max-rows" || a.rfind("--max-rows=", 0) == 0) {
      std::string v;
      if (a == "--max-rows") {
        if (i + 1 >= argc) return m.usage_error("--max-rows needs a number");
        v = argv[++i];
      } else {
        v = a.substr(11);
      }
      std::size_t n = 0;
      const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
      if (res.ec != std::errc() || res.ptr != v.data() + v.size() || v.empty()) {
        return m.usage_error("--max-rows needs a whole number, not '" + v + "'");
      }
      options.limits.row_limit = n;
    } else if (a == "--extended") {
      options.extended = true;
    } else if (a == "--warn") {
      options.warn = run_options::warnings::on;
    } else if (a == "--warn=error") {
      options.warn = run_options::warnings::fail;
    } else if (a == "--explain" || a == "--explain=json") {
      options.explain = a == "--explain" ? run_options::explain_form::text : run_options::explain_form::json;
      explain_path.clear();
    } else if (a.rfind("--explain=", 0) == 0) {
      explain_path = a.substr(10);
      const bool json = explain_path.size() > 5 && explain_path.compare(explain_path.size() - 5, 5, ".json") == 0;
      options.explain = json ? run_options::explain_form::json : run_options::explain_form::text;
    } else if (a == "--trace" || a.rfind("--trace=", 0) == 0) {
      long n = 10;
      if (a != "--trace") {
        const std::string v = a.substr(8);
        const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
        if (res.ec != std::errc() || res.ptr != v.data() + v.size() || v.empty() || n < 0) {
          return m.usage_error("--trace needs a whole number of rows, not '" + v + "'");
        }
      }
      options.trace_rows = n;
      if (options.explain == run_options::explain_form::none) options.explain = run_options::explain_form::text;
    } else if (std::string sql_error; relalg_sql::read_sql_option(a, sql, sql_error)) {
      if (!sql_error.empty()) return m.usage_error(sql_error);
    } else if (std::string error; relalg_notation::read_notation_option(a, notation, error)) {
      if (!error.empty()) return m.usage_error(error);
    } else {
      return m.usage_error("unknown option '" + a + "'");
    }
  }
  if (sql.on && notation.on) return m.usage_error("--sql and --notation cannot be combined");
  // The SQL script or the formula goes to standard output unless a path is given.
  if ((sql.on || notation.on) && operands.size() == 1) operands.emplace_back("-");
  if (operands.size() != 2) {
    return m.usage_error("expected an input and an output path, got " + std::to_string(operands.size()));
  }
  const std::string& in_path = operands[0];
  const std::string& out_path = operands[1];
  const std::string instead = sql.on ? "the SQL output" : notation.on ? "the formula output" : "";
  if (const std::string clash = output_clash(command_inputs(in_path, out_path, instead),
                                             command_outputs(out_path, explain_path, instead));
      !clash.empty()) {
    return m.usage_error(clash);
  }
  options.input_name = in_path == "-" ? "<stdin>" : visible_text(in_path);

  input_text text;
  int input_fd = -1;
  const bool read_ok = read_all(in_path, text, &input_fd);
  const int read_err = errno;

  const int out_fd = out_path == "-" ? STDOUT_FILENO
                                     : ::open(out_path.c_str(),
                                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (out_fd < 0) {
    m.say("cannot open " + quoted_path(out_path) + " for writing: " + std::strerror(errno));
    if (input_fd >= 0) ::close(input_fd);
    return exit_failed;
  }
  fd_writer out(out_fd);
  const auto write_failed = [&]() {
    m.say("cannot write " + (out_path == "-" ? std::string("standard output") : quoted_path(out_path)) + ": " +
          std::strerror(out.error()));
    out.close();
    return exit_failed;
  };

  if (sql.on || notation.on) {
    // The script or the formula instead of the echo and the result.
    if (input_fd >= 0) ::close(input_fd);
    if (!read_ok) {
      out.close();
      m.say("cannot read " + describe(in_path) + ": " + std::strerror(read_err));
      return exit_failed;
    }
    file_sink sink(out, -1);
    std::vector<diagnostic> messages;
    const int status = sql.on ? relalg_sql::run_sql(text.view(), sql, sink, messages, options.extended)
                              : relalg_notation::run_notation(text.view(), notation.form, sink, messages,
                                                              options.extended);
    for (const diagnostic& d : messages) {
      std::cerr << render_diagnostic(options.diagnostics, options.input_name, text.view(), d);
    }
    if (!out.ok()) return write_failed();
    if (!out.close()) return write_failed();
    return status;
  }

  if (!read_ok) {
    // An unreadable input reads as an empty one: the output holds the
    // echo of the empty query.
    out.write(echo_suffix(""));
    out.close();
    m.say("cannot read " + describe(in_path) + ": " + std::strerror(read_err));
    return exit_failed;
  }

  int explain_fd = -1;
  if (!explain_path.empty()) {
    explain_fd = ::open(explain_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
    if (explain_fd < 0) {
      m.say("cannot open " + quoted_path(explain_path) + " for writing: " + std::strerror(errno));
      out.close();
      if (input_fd >= 0) ::close(input_fd);
      return exit_failed;
    }
  }

#ifndef RELALG_ASAN
  options.exit_after = true;
#endif
  run_report report;
  int status = exit_failed;
  {
    file_sink sink(out, input_fd);
    status = run_program(text.view(), options, sink, report);
  }
  if (!out.ok()) return write_failed();
  std::cerr << report.messages;
  if (explain_fd >= 0) {
    fd_writer explain(explain_fd);
    explain.write(report.explain);
    if (!explain.close()) {
      m.say("cannot write " + quoted_path(explain_path) + ": " + std::strerror(explain.error()));
      status = exit_failed;
    }
  } else {
    std::cerr << report.explain;
  }
  std::cerr.flush();
  // A plan asked for on standard error that cannot be written there fails
  // the run, as a plan file that cannot be written does.
  if (!std::cerr && options.explain != run_options::explain_form::none && explain_fd < 0) status = exit_failed;
  if (status != exit_ok) {
    out.close();
    return status;
  }
  if (!out.close()) return write_failed();
#ifndef RELALG_ASAN
  std::_Exit(exit_ok);
#endif
  return exit_ok;
}

int main(int argc, char** argv) { return relalg_main(argc, argv); }
