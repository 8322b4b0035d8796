// Constraints as a teacher reads and writes them: one per line, in the form
// --explain-constraints lists them and --add-constraint, --drop-constraint
// and the manifest's "add" and "drop" lines take them:
//
//   key sailors(sid)
//   key reserves(sid, day)
//   reference reserves(sid) -> sailors(sid)
//   reference product(model) where type = 'pc' -> pc(model)
//   reference pc(model) -> product(model) where type = 'pc'
//   values printer(color) = 'false', 'true'
//   order sailors
//
// Values are written as in a row line (texts with their apostrophes).
#ifndef RELALG_GRADE_CONSTRAINT_TEXT_H
#define RELALG_GRADE_CONSTRAINT_TEXT_H

#include <optional>
#include <string>
#include <string_view>

#include "grade/constraints.h"
#include "grade/instance.h"

namespace grade {

std::string describe(const schema& sch, const constraint& c);

// Whether the text has the form of a constraint (or is "all", which drop
// takes), before any table is known; else the reason, for a usage message.
bool constraint_form(std::string_view text, std::string& why);

// The constraint a text states over a schema. Nothing when it names a
// table or column the schema lacks (`why` says which), or is malformed.
std::optional<constraint> parse_constraint(std::string_view text, const schema& sch, std::string& why);

}  // namespace grade

#endif
