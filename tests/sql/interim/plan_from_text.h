// Builds a plan from a query line with the interpreter's own reading rules
// (its splitters and the predicate parser), for the SQL tests until the
// engine's parser is on this branch. Spans are not recorded.
#ifndef RELALG_TESTS_SQL_PLAN_FROM_TEXT_H
#define RELALG_TESTS_SQL_PLAN_FROM_TEXT_H

#include <deque>
#include <string>

#include "database.h"
#include "engine/plan.h"

struct interim_plan {
  plan p;
  std::deque<stored_table> tables;  // the catalog entries table nodes point at
};

// db must hold its rows in each table's `rows` (loaded without deferring).
void build_plan(const std::string& query, database& db, interim_plan& out);

#endif
