// Builds a plan from a query line with the interpreter's own reading rules
// (its splitters and the predicate parser), for the SQL tests until the
// engine's parser is on this branch. Spans are not recorded.
#ifndef RELALG_TESTS_SQL_PLAN_FROM_TEXT_H
#define RELALG_TESTS_SQL_PLAN_FROM_TEXT_H

#include <string>

#include "database.h"
#include "engine/catalog.h"
#include "engine/plan.h"

// The catalog's tables as the plan's table nodes point at them. db must
// hold its rows in each table's `rows` (loaded without deferring).
table_map stored_tables(const database& db);

// The plan of a query line over those tables.
plan build_plan(const std::string& query, const table_map& tables);

#endif
