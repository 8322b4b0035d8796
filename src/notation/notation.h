// The query as a formula in the notation of textbooks: sigma, pi and rho
// with their subscripts, and the binary operators between their operands.
// The formula is written from the plan the parser reads, before any
// rewrite for evaluation, so it shows the query as the user wrote it; its
// names and constants are the ones the reading rules give (blanks
// removed), and a condition keyword that is none of the nine, which is
// always true, is written as "true".
#ifndef RELALG_NOTATION_NOTATION_H
#define RELALG_NOTATION_NOTATION_H

#include <optional>
#include <string>
#include <string_view>

#include "engine/plan.h"

namespace relalg_notation {

// unicode: one line of plain text, such as
//   π name (σ year = 3 (students))
// latex: the same as a LaTeX math formula (without the $ ... $), such as
//   \pi_{\text{name}}(\sigma_{\text{year} = 3}(\text{students}))
// whose every name and string constant stands in \text{...} with the
// characters TeX treats specially escaped.
enum class notation_form { unicode, latex };

// The form a --notation=NAME option names ("unicode", "latex"), or nothing.
std::optional<notation_form> notation_named(std::string_view name);

// The formula of the plan's root, without a line feed. The plan must have
// a result: no failing node and no selection whose condition fails
// (plan_schemas says so of its root), and no join node. The plan is walked
// with an explicit stack, so any depth of nesting is written.
std::string write_formula(const plan& p, notation_form form);

}  // namespace relalg_notation

#endif
