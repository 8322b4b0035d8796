// Grading's outputs checked against its inputs before anything is written:
// a result file that names the same file as a reference, a database, the
// manifest or a submission (however the path is spelt, through links
// too) would destroy it, and is refused as a wrong command line.
#ifndef RELALG_GRADE_OUTPUTS_H
#define RELALG_GRADE_OUTPUTS_H

#include <string>

#include "grade/inputs.h"
#include "grade/options.h"

namespace grade {

// The message (without "relalg: ") when an output names an input, else
// empty. With `in` null (the inputs could not all be read), the paths of
// the command line are checked.
std::string output_clash(const grade_options& o, const grading_inputs* in);

}  // namespace grade

#endif
