// The language's words.
#include "engine/vocabulary.h"

#include <utility>

#include "t_object.h"

namespace {

constexpr std::array<std::pair<std::string_view, plan_op>, 6> kOperations{{
    {"union", plan_op::union_},
    {"minus", plan_op::minus},
    {"product", plan_op::product},
    {"project", plan_op::project},
    {"rename", plan_op::rename},
    {"select", plan_op::select},
}};

constexpr std::array<std::pair<std::string_view, extended_op>, 4> kExtended{{
    {"join", extended_op::join},
    {"njoin", extended_op::njoin},
    {"intersect", extended_op::intersect},
    {"divide", extended_op::divide},
}};

constexpr std::array<std::pair<std::string_view, cond_op>, 9> kKeywords{{
    {"NOT", cond_op::not_},
    {"AND", cond_op::and_},
    {"OR", cond_op::or_},
    {"EQ", cond_op::eq},
    {"NEQ", cond_op::neq},
    {"LT", cond_op::lt},
    {"LTE", cond_op::lte},
    {"GT", cond_op::gt},
    {"GTE", cond_op::gte},
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

extended_op extended_named(std::string_view name) {
  for (const auto& [n, op] : kExtended) {
    if (n == name) return op;
  }
  return extended_op::none;
}

std::string_view extended_name(extended_op op) {
  for (const auto& [n, o] : kExtended) {
    if (o == op) return n;
  }
  return {};
}

cond_op keyword_op(std::string_view keyword) {
  for (const auto& [k, op] : kKeywords) {
    if (k == keyword) return op;
  }
  return cond_op::other;
}

std::string_view keyword_name(cond_op op) {
  for (const auto& [k, o] : kKeywords) {
    if (o == op) return k;
  }
  return {};
}

const std::vector<std::string>& keyword_names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& [k, op] : kKeywords) out.emplace_back(k);
    return out;
  }();
  return names;
}

bool is_int_text(std::string_view s) {
  if (text_to_int(s) != 0) return true;
  for (const char c : s) {
    if (c != '0') return false;
  }
  return true;
}
