// The outcome of one graded query as bytes, so that a worker process can
// send it back to the grader over a pipe. Every field that the reports and
// the feedback read is carried; a field added to outcome (or to comparison
// or counterexample) must be added to encode and decode, and the round-trip
// test in tests/unit/grade_isolation_test.cpp compares the reports of an
// outcome before and after.
#ifndef RELALG_GRADE_WIRE_H
#define RELALG_GRADE_WIRE_H

#include <string>
#include <string_view>

#include "grade/grader.h"

namespace grade {

std::string encode(const outcome& out);

// False, with `out` unspecified, for bytes that encode did not make
// (cut short, too long, or out of range).
bool decode(std::string_view bytes, outcome& out);

}  // namespace grade

#endif
