// Failures into diagnostics.
#include "engine/failure.h"

#include <new>
#include <stdexcept>

#include "engine/errors.h"

std::string failure_message(const std::exception_ptr& e, failure_stage stage) {
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return stage == failure_stage::loading ? "out of memory: the tables of this input do not fit"
                                           : "out of memory: the tables and results of this query do not fit";
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "unexpected failure";
  }
}

diagnostic failure_diagnostic(const std::exception_ptr& e, failure_stage stage) {
  try {
    std::rethrow_exception(e);
  } catch (const evaluation_error& x) {
    if (x.placed()) {
      diagnostic d;
      d.level = severity::error;
      d.line = 1;
      d.span = x.span();
      d.message = x.what();
      d.suggestion = x.suggestion();
      return d;
    }
  } catch (...) {
  }
  return unplaced(severity::error, failure_message(e, stage));
}
