// Random small databases: one to four rows in each table a query names,
// each a row of the teacher's, some of its cells redrawn from the column's
// pool (the queries' constants and their neighbours, the teacher's values
// of the column and of the columns compared with it). Small tables over few
// values make joins meet and boundaries show; the repair then adds the rows
// references ask for.
#include "grade/built.h"

namespace grade {

namespace {

constexpr std::size_t kMostRows = 4;
constexpr unsigned kRedrawPercent = 35;  // chance that a cell is redrawn

}  // namespace

void build_random(build_context& ctx, std::size_t count, std::vector<built_database>& out) {
  const schema& sch = ctx.sch();
  const instance& base = ctx.base();
  for (std::size_t k = 0; k < count; ++k) {
    instance db = ctx.empty();
    for (std::size_t t = 0; t < sch.tables.size(); ++t) {
      if (!ctx.used(t)) continue;
      const std::vector<row_values>& teacher = base.tables[t].rows;
      const std::size_t rows = 1 + ctx.rng().below(kMostRows);
      for (std::size_t r = 0; r < rows; ++r) {
        row_values row;
        std::string line;
        if (!teacher.empty()) {
          const std::size_t i = ctx.rng().below(teacher.size());
          row = teacher[i];
          line = i < base.tables[t].lines.size() ? base.tables[t].lines[i] : std::string();
        } else {
          row.resize(sch.tables[t].columns.size());
        }
        for (std::size_t c = 0; c < row.size(); ++c) {
          const std::vector<value>& pool = ctx.pool(t, c);
          const bool empty_row = teacher.empty();
          if (pool.empty() || (!empty_row && !ctx.rng().chance(kRedrawPercent))) continue;
          const value& v = pool[ctx.rng().below(pool.size())];
          if (row[c] != v) {
            row[c] = v;
            line.clear();
          }
        }
        if (teacher.empty() && line.empty()) {
          for (std::size_t c = 0; c < row.size(); ++c) {
            if (ctx.pool(t, c).empty()) row[c] = sch.tables[t].columns[c].is_int ? value::of_int(0) : value::of_text("'a'");
          }
        }
        build_context::add_row(db, t, std::move(row), std::move(line));
      }
    }
    out.push_back({built_kind::random, "a small database drawn at random", std::move(db)});
  }
}

}  // namespace grade
