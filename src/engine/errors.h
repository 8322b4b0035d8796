// The failures evaluation reports about the query: a message, and where in
// the query it stands: the plan node it concerns and the span of text to
// point at. The operators that refuse do not know where they were called
// from; the evaluator places their errors on the way out.
#ifndef RELALG_ENGINE_ERRORS_H
#define RELALG_ENGINE_ERRORS_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/plan.h"

class evaluation_error : public std::runtime_error {
 public:
  explicit evaluation_error(const std::string& message) : std::runtime_error(message) {}
  evaluation_error(const std::string& message, int32_t node, source_span span, std::string suggestion = {})
      : std::runtime_error(message), node_(node), span_(span), placed_(true), suggestion_(std::move(suggestion)) {}

  bool placed() const { return placed_; }
  int32_t node() const { return node_; }
  source_span span() const { return span_; }
  // The name a "did you mean" in the message proposes, or empty.
  const std::string& suggestion() const { return suggestion_; }
  // Places the error, unless it already has a place.
  void place(int32_t node, source_span span) {
    if (placed_) return;
    node_ = node;
    span_ = span;
    placed_ = true;
  }

 private:
  int32_t node_ = -1;
  source_span span_;
  bool placed_ = false;
  std::string suggestion_;
};

#endif
