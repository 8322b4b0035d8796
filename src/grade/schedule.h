// A whole grading run once the files are read: every exercise prepared (its
// reference first run in a worker under the limits, so that a reference
// that exceeds them stops grading with a clear message), then each distinct
// query of each exercise graded in a worker process of its own (isolation.h)
// and every submission's item handed on in the report's order as soon as
// it and all before it are decided.
#ifndef RELALG_GRADE_SCHEDULE_H
#define RELALG_GRADE_SCHEDULE_H

#include <cstddef>
#include <functional>
#include <vector>

#include "grade/engine_adapter.h"
#include "grade/exercise_facts.h"
#include "grade/grader.h"
#include "grade/inputs.h"
#include "grade/isolation.h"
#include "grade/options.h"
#include "grade/report.h"
#include "grade/stop_signals.h"

namespace grade {

struct run_result {
  int signal = 0;          // the stop signal that ended the run early, or 0
  std::size_t total = 0;   // items to grade
};

// Fills `items` (in the report's order; an item left out was not decided
// before a stop) and `outcomes`, which the items point into, calling
// decided(item) for each in that order as it is decided. facts[e] is what
// grading knows of exercise e (study_exercise). Throws input_error when a
// reference fails or exceeds a limit.
run_result grade_all(const grading_inputs& in, const std::vector<exercise_facts>& facts, const grade_options& o,
                     const engine_options& eo,
                     const worker_limits& limits, stop_signals& stop, std::vector<outcome>& outcomes,
                     std::vector<graded_item>& items, const std::function<void(const graded_item&)>& decided);

}  // namespace grade

#endif
