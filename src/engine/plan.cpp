// The six operation names.
#include "engine/plan.h"

#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<std::string_view, plan_op>, 6> kOperations{{
    {"union", plan_op::union_},
    {"minus", plan_op::minus},
    {"product", plan_op::product},
    {"project", plan_op::project},
    {"rename", plan_op::rename},
    {"select", plan_op::select},
}};
}  // namespace

plan_op operation_named(std::string_view name) {
  for (const auto& [n, op] : kOperations) {
    if (n == name) return op;
  }
  return plan_op::fail;
}

std::string_view operation_name(plan_op op) {
  for (const auto& [n, o] : kOperations) {
    if (o == op) return n;
  }
  return {};
}
