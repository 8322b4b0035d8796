// The positional translation of a parsed query (--sql-form=positional):
// one SQL SELECT statement whose rows, in the order it returns them, are
// the query's result rows in relalg's order, one WITH subquery per
// operation with cells in columns c1, c2, ... The readable translation,
// the default, is readable.h. The statement reads the loaded tables as the script
// (script.h) creates them, under the names name_tables gives.
#ifndef RELALG_SQL_TRANSLATE_H
#define RELALG_SQL_TRANSLATE_H

#include <string>

#include "engine/plan.h"
#include "sql/dialect.h"
#include "sql/names.h"
#include "sql/refusal.h"

namespace relalg_sql {

// The statement for the plan's root: a comment line "-- result: HEADER"
// (bytes below 32 and 127 shown as \xHH) and the SELECT, ended by ";" and
// a line feed. Throws refusal.
std::string translate_query(const plan& p, const catalog_names& names, dialect d);

}  // namespace relalg_sql

#endif
