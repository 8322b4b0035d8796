// Plan to SQL in the positional form. Every plan node becomes one named subquery of a WITH clause
// (so that nesting costs no depth in the SQL), holding its rows in cell
// columns c1, c2, ... (cells.h) and, for rows that keep an input order (a
// bare table, and selections and renamings of one), that order in column
// k: the row's position in its table. Union, minus, product and
// projection yield distinct rows that the final ORDER BY sorts by relalg's
// order of cells. Where a union has mixed integers and strings in a
// column, rows can be equal without being the same (the integer 0 and the
// empty string): of such rows the one relalg keeps, the first in the
// order of its operands' rows, is picked by ROW_NUMBER. The final SELECT
// names its columns as relalg's result does.
#include "sql/translate.h"

#include <algorithm>
#include <map>
#include <optional>

#include "engine/show_text.h"
#include "sql/cells.h"
#include "sql/checks.h"
#include "sql/condition.h"

namespace relalg_sql {

namespace {

// A node's result as the translation knows it before any row is read.
struct rel {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<kind> kinds;   // the kind of every column's cells
  bool keyed = false;        // rows in the order of column k; else distinct, sorted by cells
  std::string from;          // the subquery holding the rows, once it is written
  // A product not written yet: its select list, the join it reads, and
  // each column's expression over the join. A selection over it goes into
  // the same statement, so that engines filter the pairs as they make them.
  struct join_parts {
    std::string list;
    std::string from;
    std::vector<cell_sql> columns;
  };
  std::optional<join_parts> join;
  std::size_t depth = 1;  // the nesting of operations that yields it
};

std::string cells(const rel& r, const std::string& qual) { return cell_list(r.kinds, qual); }

// The ORDER BY terms of r's rows in relalg's order: the row position, or
// the cells.
std::vector<std::string> row_order(const rel& r, const std::string& qual, dialect d) {
  if (r.keyed) return {qual + "k"};
  std::vector<std::string> terms;
  for (std::size_t i = 0; i < r.kinds.size(); ++i) {
    for (std::string& t : sort_terms(cell_at(r.kinds[i], i, qual), d)) terms.push_back(std::move(t));
  }
  return terms;
}

class query_writer {
 public:
  query_writer(const plan& p, const catalog_names& names, dialect d)
      : p_(p), names_(names), d_(d), prefix_(subquery_prefix(names, d)),
        materialize_(plan_depth(p) > merge_depth(d)) {}

  std::string run() {
    rel root = walk(p_.root);
    src(root);

    std::string out = "-- result: " + comment_text(header_line(root.name, root.colnames, root.coltypes)) + "\n";
    if (!with_.empty()) out += "WITH\n" + with_ + "\n";
    out += "SELECT ";
    if (root.colnames.empty()) {
      out += "''";
    } else {
      for (std::size_t i = 0; i < root.colnames.size(); ++i) {
        if (i > 0) out += ", ";
        out += printed(cell_at(root.kinds[i], i, "r."), d_);
        // A name the dialect cannot hold leaves the column under its
        // position's name.
        if (name_problem(d_, root.colnames[i]).empty()) out += " AS " + quote_name(root.colnames[i]);
      }
    }
    out += "\nFROM " + root.from + " AS r";
    out += order_by(root);
    out += ";\n";
    return out;
  }

 private:
  const plan& p_;
  const catalog_names& names_;
  dialect d_;
  std::string prefix_;
  bool materialize_;  // see merge_depth
  std::string with_;
  int next_ = 0;

  // Subqueries are named PREFIX0, PREFIX1, ...: "n", or "n_", "n__" ...
  // when a table's SQL name has that form, which the subquery would hide.
  static std::string subquery_prefix(const catalog_names& names, dialect d) {
    for (std::string prefix = "n";; prefix += "_") {
      bool clash = false;
      for (const auto& [name, sql] : names) {
        const std::string f = folded_name(d, sql.table);
        if (f.size() > prefix.size() && f.compare(0, prefix.size(), prefix) == 0 &&
            f.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
          clash = true;
          break;
        }
      }
      if (!clash) return prefix;
    }
  }

  std::string order_by(const rel& r) const {
    // Qualified, so that no output column's name is taken instead.
    if (!r.keyed && r.colnames.empty()) return "";
    return "\nORDER BY " + joined(row_order(r, "r.", d_));
  }

  // The subquery holding r's rows, written now if it is not yet.
  const std::string& src(rel& r) {
    if (r.from.empty() && r.join) {
      r.from = add("SELECT DISTINCT " + r.join->list + " FROM " + r.join->from);
      r.join.reset();
    }
    return r.from;
  }

  // Adds a subquery to the WITH clause and returns its name.
  std::string add(const std::string& body) {
    std::string name = prefix_ + std::to_string(next_++);
    if (!with_.empty()) with_ += ",\n";
    with_ += "  " + name + (materialize_ ? " AS MATERIALIZED (" : " AS (") + body + ")";
    return name;
  }

  // Evaluation order: operands first, left before right, each depth first;
  // so the first failure met is the one evaluation would raise. Walked with
  // an explicit stack, as queries may be nested very deep.
  rel walk(int32_t root) {
    std::map<int32_t, rel> done;
    std::map<int32_t, std::size_t> depths;  // of the operands taken
    std::vector<std::pair<int32_t, bool>> todo{{root, false}};
    while (!todo.empty()) {
      const auto [i, expanded] = todo.back();
      todo.pop_back();
      const plan_node& n = p_.node(i);
      if (!expanded) {
        todo.emplace_back(i, true);
        if (n.right >= 0) todo.emplace_back(n.right, false);
        if (n.left >= 0) todo.emplace_back(n.left, false);
        continue;
      }
      const auto depth_of = [&](int32_t child) -> std::size_t {
        if (child < 0) return 0;
        const auto it = depths.find(child);
        return it == depths.end() ? 0 : it->second;
      };
      const auto take = [&](int32_t child) {
        auto it = done.find(child);
        rel r = std::move(it->second);
        depths[child] = r.depth;
        done.erase(it);
        return r;
      };
      const auto check_width = [&] {
        rel& r = done[i];
        r.depth = 1 + std::max(depth_of(n.left), depth_of(n.right));
        depths.erase(n.left);
        depths.erase(n.right);
        check_size(n, r.depth, r.colnames.size(), d_, r.name);
      };
      switch (n.op) {
        case plan_op::table: done[i] = table(n); break;
        case plan_op::union_: {
          rel a = take(n.left);
          done[i] = union_(n, std::move(a), take(n.right));
          break;
        }
        case plan_op::minus: {
          rel a = take(n.left);
          done[i] = minus(std::move(a), take(n.right));
          break;
        }
        case plan_op::product: {
          rel a = take(n.left);
          done[i] = product(n, std::move(a), take(n.right));
          break;
        }
        case plan_op::project: done[i] = project(n, take(n.left)); break;
        case plan_op::rename: done[i] = rename(n, take(n.left)); break;
        case plan_op::select: done[i] = select(n, take(n.left)); break;
        case plan_op::fail:
          throw refusal(p_.message_of(n), n.span);
        case plan_op::join:
          // The translation reads the plan as the parser writes it, before
          // the rewrite for evaluation makes joins of selections over
          // products (it writes those itself, see select).
          throw refusal("join: the plan was rewritten for evaluation; SQL is written from the plan as read",
                        n.span);
      }
      check_width();
    }
    return std::move(done.at(root));
  }

  rel table(const plan_node& n) {
    const stored_table& t = p_.table_of(n);
    const auto it = names_.find(t.name);
    if (it == names_.end()) throw refusal("no SQL name was chosen for table " + show_text(t.name), n.span);
    const table_names& sql = it->second;
    rel r;
    r.name = t.name;
    r.colnames = t.colnames;
    r.coltypes = t.coltypes;
    for (const std::string& type : t.coltypes) r.kinds.push_back(type == "int" ? kind::integer : kind::text);
    r.keyed = true;
    std::string body = "SELECT " + quote_name(sql.position) + " AS k";
    if (t.colnames.empty()) body += ", 0 AS z";
    for (std::size_t c = 0; c < t.colnames.size(); ++c) {
      body += ", " + quote_name(sql.columns[c]) + " AS " + cell_column(c);
    }
    body += " FROM " + quote_name(sql.table);
    r.from = add(body);
    return r;
  }

  // Cell columns of a result built from `r`'s rows under the same layout.
  static rel reshaped(const rel& r) {
    rel out;
    out.colnames = r.colnames;
    out.coltypes = r.coltypes;
    out.kinds = r.kinds;
    return out;
  }

  rel union_(const plan_node& n, rel a, rel b) {
    check_union(n, a.colnames.size(), b.colnames.size());
    rel out = reshaped(a);
    out.name = a.name;
    for (std::size_t c = 0; c < a.kinds.size(); ++c) {
      if (a.kinds[c] != b.kinds[c]) out.kinds[c] = kind::mixed;
    }
    const std::string& fa = src(a);
    const std::string& fb = src(b);
    if (!any_mixed(out.kinds)) {
      out.from = add("SELECT " + cells(a, "") + " FROM " + fa + " UNION SELECT " + cells(b, "") + " FROM " + fb);
      return out;
    }
    // The first operand's rows come first, each operand's in its order.
    const auto branch = [&](const rel& r, const char* part, const std::string& from) {
      std::string list;
      for (std::size_t c = 0; c < r.kinds.size(); ++c) {
        list += ", " + cell_as(cell_at(r.kinds[c], c, ""), out.kinds[c], c, d_);
      }
      return std::string("SELECT ") + part + " AS part, " + (r.keyed ? "k" : "0") + " AS o" + list +
             " FROM " + from;
    };
    out.from = add(first_of_equal(out.kinds, branch(a, "0", fa) + " UNION ALL " + branch(b, "1", fb),
                                  {"u.part", "u.o"}, d_));
    return out;
  }

  rel minus(rel a, rel b) {
    rel out = reshaped(a);
    src(a);
    src(b);
    if (a.colnames.size() != b.colnames.size()) {
      // Rows of different widths are never equal: nothing is taken away.
      out.from = add("SELECT DISTINCT " + cells(a, "") + " FROM " + a.from);
      return out;
    }
    if (a.kinds == b.kinds && !any_mixed(a.kinds)) {
      out.from = add("SELECT " + cells(a, "") + " FROM " + a.from + " EXCEPT SELECT " + cells(b, "") +
                     " FROM " + b.from);
      return out;
    }
    // Cells of other kinds are equal when relalg's two fields are. A
    // first operand with a mixed column is a union's result, whose rows
    // are already distinct.
    std::string match;
    for (std::size_t c = 0; c < a.colnames.size(); ++c) {
      if (c > 0) match += " AND ";
      match += cells_equal(cell_at(a.kinds[c], c, "a."), cell_at(b.kinds[c], c, "b."), d_);
    }
    out.from = add("SELECT DISTINCT " + cells(a, "a.") + " FROM " + a.from +
                   " AS a WHERE NOT EXISTS (SELECT 1 FROM " + b.from + " AS b WHERE " + match + ")");
    return out;
  }

  rel product(const plan_node& n, rel a, rel b) {
    // Columns in byte order of their names, each cell under its own.
    struct source {
      bool from_a;
      std::size_t col;
    };
    std::vector<source> cols;
    for (const std::size_t at : product_layout(n, a.colnames, b.colnames)) {
      cols.push_back({at < a.colnames.size(), at < a.colnames.size() ? at : at - a.colnames.size()});
    }
    rel out;
    std::string list;
    std::vector<cell_sql> columns;
    for (std::size_t i = 0; i < cols.size(); ++i) {
      const rel& from = cols[i].from_a ? a : b;
      out.colnames.push_back(from.colnames[cols[i].col]);
      out.coltypes.push_back(from.coltypes[cols[i].col]);
      const kind k = from.kinds[cols[i].col];
      out.kinds.push_back(k);
      if (i > 0) list += ", ";
      cell_sql column = cell_at(k, cols[i].col, cols[i].from_a ? "a." : "b.");
      list += cell_as(column, k, i, d_);
      columns.push_back(std::move(column));
    }
    if (cols.empty()) list = "0 AS z";
    const std::string& fa = src(a);
    const std::string& fb = src(b);
    out.join = rel::join_parts{list, fa + " AS a CROSS JOIN " + fb + " AS b", std::move(columns)};
    return out;
  }

  rel project(const plan_node& n, rel t) {
    const std::vector<plan_name>& list = p_.names_of(n);
    rel out;
    if (list.empty()) {
      // No columns: every row becomes the empty row, kept once.
      out.from = add("SELECT DISTINCT 0 AS z FROM " + src(t));
      return out;
    }
    check_project(p_, n, t.colnames.size());
    std::string select;
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::size_t at = projected_column(t.colnames, list[i].text);
      out.colnames.push_back(t.colnames[at]);
      out.coltypes.push_back(t.coltypes[at]);
      out.kinds.push_back(t.kinds[at]);
      if (i > 0) select += ", ";
      select += cell_as(cell_at(t.kinds[at], at, ""), t.kinds[at], i, d_);
    }
    const std::string& from = src(t);
    if (!any_mixed(out.kinds)) {
      out.from = add("SELECT DISTINCT " + select + " FROM " + from);
      return out;
    }
    // Rows the projection makes equal keep the first in the operand's order.
    const std::vector<std::string> order = row_order(t, "", d_);
    std::vector<std::string> by;
    for (std::size_t o = 0; o < order.size(); ++o) {
      select += ", " + order[o] + " AS o" + std::to_string(o + 1);
      by.push_back("u.o" + std::to_string(o + 1));
    }
    out.from = add(first_of_equal(out.kinds, "SELECT " + select + " FROM " + from, by, d_));
    return out;
  }

  rel rename(const plan_node& n, rel t) {
    const std::vector<plan_name>& list = p_.names_of(n);
    check_rename(n, t.colnames.size(), list.size());
    t.name = list[0].text;
    for (std::size_t c = 0; c < t.colnames.size(); ++c) t.colnames[c] = list[c + 1].text;
    return t;
  }

  rel select(const plan_node& n, rel t) {
    check_condition(p_, n);
    const plan_condition& cond = p_.condition_of(n);
    t.name.clear();
    if (t.join) {
      const std::string where = condition_sql(p_, cond.root, t.colnames, t.join->columns, d_);
      t.from = add("SELECT DISTINCT " + t.join->list + " FROM " + t.join->from + " WHERE " + where);
      t.join.reset();
      return t;
    }
    std::vector<cell_sql> columns;
    for (std::size_t c = 0; c < t.colnames.size(); ++c) columns.push_back(cell_at(t.kinds[c], c, ""));
    const std::string where = condition_sql(p_, cond.root, t.colnames, columns, d_);
    t.from = add("SELECT * FROM " + src(t) + " WHERE " + where);
    return t;
  }
};

}  // namespace

std::string translate_query(const plan& p, const catalog_names& names, dialect d) {
  return query_writer(p, names, d).run();
}

}  // namespace relalg_sql
