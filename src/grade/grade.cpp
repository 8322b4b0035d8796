// The grading command from start to end: the command line, the files, each
// exercise graded, the reports written, and the exit status.
#include "grade/grade.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "grade/feedback.h"
#include "grade/grader.h"
#include "grade/inputs.h"
#include "grade/options.h"
#include "grade/report.h"

namespace {

constexpr int exit_all_correct = 0;
constexpr int exit_cannot_grade = 1;
constexpr int exit_wrong_usage = 2;
constexpr int exit_not_all_correct = 3;

bool write_file(const std::string& path, const std::string& text, std::string& message) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (f) f.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (f) f.close();
  if (f) return true;
  message = "relalg: cannot write '" + path + "': " + std::strerror(errno != 0 ? errno : EIO);
  return false;
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
  const grade_options& o = pc.options;
  engine_options eo = default_engine_options();
  if (o.max_rows) eo.max_rows = *o.max_rows;

  grading_inputs in;
  std::vector<std::vector<outcome>> outcomes;
  try {
    in = load_inputs(o);
    for (std::size_t e = 0; e < in.exercises.size(); ++e) {
      outcomes.push_back(grade_exercise(in.exercises[e], in.submissions[e], o, eo));
    }
  } catch (const input_error& x) {
    std::cerr << x.what() << "\n";
    std::string message;
    if (o.gradescope && !write_file(*o.gradescope, gradescope_failure(x.what()), message)) {
      std::cerr << message << "\n";
    }
    return exit_cannot_grade;
  }

  // Submission by submission; in folder mode each one's exercises in turn.
  std::vector<graded_item> items;
  bool all_correct = true;
  for (std::size_t k = 0; k < o.submissions.size(); ++k) {
    for (std::size_t e = 0; e < in.exercises.size(); ++e) {
      graded_item it;
      it.ex = &in.exercises[e];
      it.sub = &in.submissions[e][k];
      it.out = &outcomes[e][k];
      it.folder = in.folders ? o.submissions[k] : std::string();
      it.message = feedback(*it.out, *it.sub, o);
      it.max_score = in.folders ? it.ex->points : 1;
      it.score = it.out->what == verdict::correct ? it.max_score : 0;
      all_correct = all_correct && it.out->what == verdict::correct;
      items.push_back(std::move(it));
    }
  }
  const report_layout layout{in.folders, o.submissions.size()};
  if (o.json) {
    write_json_lines(std::cout, items);
  } else {
    write_text(std::cout, items, layout);
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "relalg: cannot write standard output: " << std::strerror(errno != 0 ? errno : EIO)
              << "\n";
    return exit_cannot_grade;
  }
  if (o.gradescope) {
    std::string message;
    if (!write_file(*o.gradescope, gradescope_results(items, layout), message)) {
      std::cerr << message << "\n";
      return exit_cannot_grade;
    }
  }
  return all_correct ? exit_all_correct : exit_not_all_correct;
}
