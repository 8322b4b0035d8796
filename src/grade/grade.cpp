// The grading command from start to end: the command line, the files, the
// outputs checked against the inputs, each submission graded in a worker
// (schedule.h), the reports written as verdicts are decided, and the exit
// status. SIGINT and SIGTERM stop the run at a verdict's boundary.
#include "grade/grade.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "engine/show_text.h"
#include "grade/exercise_facts.h"
#include "grade/grader.h"
#include "grade/inputs.h"
#include "grade/options.h"
#include "grade/outputs.h"
#include "grade/platforms.h"
#include "grade/report.h"
#include "grade/result_file.h"
#include "grade/schedule.h"
#include "grade/stop_signals.h"

namespace {

constexpr int exit_all_correct = 0;
constexpr int exit_cannot_grade = 1;
constexpr int exit_wrong_usage = 2;
constexpr int exit_not_all_correct = 3;

int cannot_grade(const grade::grade_options& o, const std::string& message) {
  std::cerr << message << "\n";
  std::string failed;
  if (o.gradescope && !grade::write_result_file(*o.gradescope, grade::gradescope_failure(message), failed)) {
    std::cerr << failed << "\n";
  }
  if (o.prairielearn &&
      !grade::write_result_file(*o.prairielearn, grade::prairielearn_failure(message), failed)) {
    std::cerr << failed << "\n";
  }
  if (o.coderunner) std::cout << grade::coderunner_failure(message) << std::flush;
  return exit_cannot_grade;
}

int grade_run(const grade::grade_options& o, const command_texts& texts) {
  using namespace grade;
  engine_options eo = default_engine_options();
  if (o.max_rows) eo.max_rows = *o.max_rows;
  eo.extended = o.extended;
  // A product is refused when it would fill half of a worker's memory, as
  // a plain run refuses one that would fill half of the machine's.
  eo.memory_budget = std::min(eo.memory_budget, (o.memory_limit << 20) / 2);
  const worker_limits limits{o.time_limit, o.memory_limit};

  stop_signals stop;
  grading_inputs in;
  try {
    in = load_inputs(o);
  } catch (const input_error& x) {
    if (const std::string clash = output_clash(o, nullptr); !clash.empty()) {
      std::cerr << "relalg: " << clash << "\n" << texts.usage << "\n";
      return exit_wrong_usage;
    }
    return cannot_grade(o, x.what());
  }
  if (const std::string clash = output_clash(o, &in); !clash.empty()) {
    std::cerr << "relalg: " << clash << "\n" << texts.usage << "\n";
    return exit_wrong_usage;
  }
  // What each exercise's databases keep, with the teacher's changes.
  std::vector<exercise_facts> facts;
  try {
    std::vector<bool> taken;
    for (const exercise& ex : in.exercises) facts.push_back(study_exercise(ex, in.constraint_changes, taken, eo));
    check_changes_taken(in.constraint_changes, taken);
  } catch (const input_error& x) {
    return cannot_grade(o, x.what());
  }
  if (o.explain_constraints) {
    for (std::size_t e = 0; e < in.exercises.size(); ++e) std::cout << explain_constraints(in.exercises[e], facts[e]);
    std::cout.flush();
    return std::cout ? exit_all_correct : exit_cannot_grade;
  }

  const report_layout layout{in.folders, o.submissions.size()};
  std::vector<outcome> outcomes;
  std::vector<graded_item> items;
  bool written = true;
  const auto decided = [&](const graded_item& it) {
    // CodeRunner reads one object, written once grading is done.
    if (o.coderunner) return;
    if (o.json) {
      std::cout << json_line(it);
    } else {
      write_text_item(std::cout, it, layout);
    }
    std::cout.flush();
    written = written && static_cast<bool>(std::cout);
  };
  run_result run;
  try {
    run = grade_all(in, facts, o, eo, limits, stop, outcomes, items, decided);
  } catch (const input_error& x) {
    return cannot_grade(o, x.what());
  }
  if (o.coderunner) {
    std::cout << (run.signal != 0 ? coderunner_failure("grading was stopped before it was done")
                                  : coderunner_result(items));
  } else if (!o.json) {
    write_text_summary(std::cout, items, layout);
  }
  std::cout.flush();
  int status = exit_all_correct;
  for (const graded_item& it : items) {
    if (it.out->what != verdict::correct) status = exit_not_all_correct;
    // The prover is never to be trusted over a database: a proof that a
    // database refutes is a fault of relalg, said where it cannot be missed.
    if (it.out->proof_refuted) {
      std::cerr << "relalg: internal error: the prover called the query in " << quoted_path(it.sub->path)
                << " equal to the reference, but a database shows they differ; it is graded wrong. Please "
                   "report this fault of relalg's prover with the two queries.\n";
    }
  }
  std::string note;
  if (run.signal != 0) {
    note = "grading was stopped by signal " + std::to_string(run.signal) + " (" + strsignal(run.signal) +
           ") after " + std::to_string(items.size()) + " of " + std::to_string(run.total) +
           (run.total == 1 ? " submission was" : " submissions were") + " graded";
    status = exit_cannot_grade;
  }
  if (o.gradescope) {
    std::string message;
    if (!write_result_file(*o.gradescope, gradescope_results(items, layout, note), message)) {
      std::cerr << message << "\n";
      status = exit_cannot_grade;
    }
  }
  if (o.prairielearn) {
    // A stopped run did not grade everything: PrairieLearn is told it could not.
    const std::string results = note.empty() ? prairielearn_results(items, layout) : prairielearn_failure(note);
    std::string message;
    if (!write_result_file(*o.prairielearn, results, message)) {
      std::cerr << message << "\n";
      status = exit_cannot_grade;
    }
  }
  if (!written || !std::cout) {
    std::cerr << "relalg: cannot write standard output: " << std::strerror(errno != 0 ? errno : EIO) << "\n";
    status = exit_cannot_grade;
  }
  if (!note.empty()) std::cerr << "relalg: " << note << "; their verdicts are in the outputs\n";
  return status;
}

}  // namespace

bool wants_grading(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") return false;
    if (a == "--grade" || a.rfind("--grade=", 0) == 0) return true;
  }
  return false;
}

int grade_main(int argc, char** argv, const command_texts& texts) {
  using namespace grade;
  try {
    const parsed_command pc = parse_command(std::vector<std::string>(argv + 1, argv + argc));
    switch (pc.what) {
      case parsed_command::help:
        std::cout << texts.help;
        return std::cout.flush() ? exit_all_correct : exit_cannot_grade;
      case parsed_command::version:
        std::cout << texts.version << "\n";
        return std::cout.flush() ? exit_all_correct : exit_cannot_grade;
      case parsed_command::usage_error:
        std::cerr << "relalg: " << pc.error << "\n" << texts.usage << "\n";
        return exit_wrong_usage;
      case parsed_command::grade:
        break;
    }
    return grade_run(pc.options, texts);
  } catch (const std::bad_alloc&) {
    std::cerr << "relalg: out of memory: grading needs more memory than it can have\n";
    return exit_cannot_grade;
  }
}
