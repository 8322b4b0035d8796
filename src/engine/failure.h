// A failure as a message value: what evaluation, loading or writing SQL
// threw, turned into the diagnostic the user sees. A failure with a place
// in the query line (evaluation_error, errors.h) points at it; any other
// is unplaced. Running out of memory is said in words, not by the
// library's exception text.
#ifndef RELALG_ENGINE_FAILURE_H
#define RELALG_ENGINE_FAILURE_H

#include <exception>
#include <string>

#include "engine/diagnostic.h"

// What was running when memory ran out, for the words of the message.
enum class failure_stage : uint8_t { evaluation, loading };

// The message of a failure, without a place: its text, or what running out
// of memory means at that stage.
std::string failure_message(const std::exception_ptr& e, failure_stage stage = failure_stage::evaluation);

// The failure as a diagnostic: placed on line 1 (the query line) when it
// has a place there, else unplaced.
diagnostic failure_diagnostic(const std::exception_ptr& e, failure_stage stage = failure_stage::evaluation);

#endif
