// What grading knows about an exercise's databases before it compares any
// query: each database's typed data, and the constraints every database
// compared on must keep (those inferred, with the teacher's changes).
#ifndef RELALG_GRADE_EXERCISE_FACTS_H
#define RELALG_GRADE_EXERCISE_FACTS_H

#include <memory>
#include <string>
#include <vector>

#include "grade/build_ground.h"
#include "grade/constraints.h"
#include "grade/inputs.h"
#include "grade/instance.h"
#include "grade/options.h"

namespace grade {

struct exercise_facts {
  // Each database's typed data, in the exercise's order; `typed` is false
  // when one of them cannot be read back, and nothing is built then.
  std::vector<typed_source> dbs;
  bool typed = false;
  bool extended = false;  // the queries may use the extended operations
  // Over the first database's schema.
  std::vector<constraint> constraints;
  std::vector<constraint> inferred;  // before the changes
  // What building databases draws from; set when typed. It points into
  // dbs, so the facts move but are never copied.
  std::unique_ptr<const build_ground> ground;

  // The constraints as they apply to database d, over its own schema: its
  // tables matched by name and columns, those about a table it lacks left
  // out.
  std::vector<constraint> constraints_of(std::size_t d) const;
};

// Reads the databases and infers their constraints, then applies the
// changes in order: "drop all" drops every constraint so far, "drop C" the
// constraint C, "add C" adds C. A change naming a table the exercise lacks
// is left for other exercises; `taken[i]` is set when change i applied.
// Throws input_error when an added constraint does not hold on one of the
// exercise's databases, or the constraint dropped is not there.
exercise_facts study_exercise(const exercise& ex, const std::vector<constraint_change>& changes,
                              std::vector<bool>& taken, const engine_options& eo);

// Throws input_error for the first change no exercise took.
void check_changes_taken(const std::vector<constraint_change>& changes, const std::vector<bool>& taken);

// The listing of --explain-constraints for one exercise: a comment line
// naming it, then one constraint per line as a manifest takes it, with
// those the teacher added or dropped marked.
std::string explain_constraints(const exercise& ex, const exercise_facts& f);

}  // namespace grade

#endif
