// The words of the query language, in one table that the parser, the
// warnings, the facades and the SQL writer all read: the six operation
// names, the nine condition keywords, and what an operand text must look
// like to be an integer literal.
#ifndef RELALG_ENGINE_VOCABULARY_H
#define RELALG_ENGINE_VOCABULARY_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The six operations, a table reference, a text that has no result, and a
// join: what the join rewrite (rewrite.h) makes of a selection over products.
enum class plan_op : uint8_t { table, union_, minus, product, project, rename, select, fail, join };

// The six operations in the order messages list them.
inline constexpr std::array<plan_op, 6> kOperationOrder{plan_op::union_,  plan_op::minus,  plan_op::product,
                                                        plan_op::project, plan_op::rename, plan_op::select};

// The operation an exact name denotes, or plan_op::fail for any other text.
plan_op operation_named(std::string_view name);
// The name of an operation (empty for table, fail and join).
std::string_view operation_name(plan_op op);

// The operations read only when asked for (parse_options::extended), each
// defined by the six (extended.h): join(E1,E2,P), njoin(E1,E2),
// intersect(E1,E2) and divide(E1,E2). `none` marks what the six read.
enum class extended_op : uint8_t { none, join, njoin, intersect, divide };

// The four in the order messages list them.
inline constexpr std::array<extended_op, 4> kExtendedOrder{extended_op::join, extended_op::njoin,
                                                           extended_op::intersect, extended_op::divide};

// The extended operation an exact name denotes, or extended_op::none.
extended_op extended_named(std::string_view name);
// Its name (empty for none).
std::string_view extended_name(extended_op op);

// Condition nodes: the nine keywords, an unknown keyword (always true), and
// a text without "(" where a predicate must stand.
enum class cond_op : uint8_t { not_, and_, or_, eq, neq, lt, lte, gt, gte, other, fail };

// The node an exact keyword makes (case matters): cond_op::other for any
// text that is none of the nine.
cond_op keyword_op(std::string_view keyword);
// The keyword of a node (empty for other and fail).
std::string_view keyword_name(cond_op op);
// The nine keywords, in the order evaluation tests them.
const std::vector<std::string>& keyword_names();

// An operand text is an integer literal when atoi gives non-zero or every
// byte is "0" (the empty text included).
bool is_int_text(std::string_view s);

#endif
