// The join rewrite. A selection over a product (or a product of products,
// through renames of products, at any depth in the query) whose condition
// is a conjunction holding an equality between columns of two different
// operands is replaced by a join node, evaluated by hashing on those
// columns; a projection right above it is folded in. Everything else is
// left as read.
#ifndef RELALG_ENGINE_REWRITE_H
#define RELALG_ENGINE_REWRITE_H

#include <vector>

#include "engine/plan.h"
#include "engine/schema.h"

// Rewrites p in place: each join node is appended, and the node above the
// selection (or the root) points at it instead; the selection and its
// products stay in the plan, unreferenced, for the join to name. schemas
// (from plan_schemas on p as read) gains the join nodes' schemas. Only
// selections whose schema is whole (no failure below) are rewritten, so
// failures are met exactly as without the rewrite.
void rewrite_joins(plan& p, std::vector<node_schema>& schemas);

// Whether p holds a selection over a product (or a rename of one): the
// only plans the rewrite can change, and so the only ones it needs the
// schemas of.
bool may_join(const plan& p);

#endif
