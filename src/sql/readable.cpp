// The readable translation: the plan walked from its leaves, each node
// folded into the SELECT of its operand (block.h) or made a named step.
#include "sql/readable.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "engine/show_text.h"
#include "sql/block.h"
#include "sql/checks.h"
#include "sql/condition.h"
#include "sql/identifiers.h"
#include "sql/steps.h"

namespace relalg_sql {

namespace {

// Bounds on one SELECT, beyond which an operand is made a step first: the
// tables it joins (SQLite joins at most 64), and its conditions (the
// engines limit the depth of an expression, and conditions joined by AND
// nest).
constexpr std::size_t kMaxItems = 8;
constexpr std::size_t kMaxConditions = 32;
constexpr std::size_t kMaxConditionDepth = 200;


// The conjuncts of a condition, in the order written: the operands of its
// ANDs, nested however they are.
std::vector<int32_t> conjuncts(const plan& p, int32_t root) {
  std::vector<int32_t> out;
  std::vector<int32_t> todo{root};
  while (!todo.empty()) {
    const int32_t i = todo.back();
    todo.pop_back();
    const cond_node& c = p.cond(i);
    if (c.op == cond_op::and_) {
      todo.push_back(c.right);
      todo.push_back(c.left);
    } else {
      out.push_back(i);
    }
  }
  return out;
}

// The column a name in a condition reads: the last of that name, or none.
std::optional<std::size_t> read_column(const std::vector<std::string>& colnames, const std::string& name) {
  for (std::size_t c = colnames.size(); c-- > 0;) {
    if (colnames[c] == name) return c;
  }
  return std::nullopt;
}

class readable_writer {
 public:
  readable_writer(const plan& p, const catalog_names& names, dialect d)
      : p_(p), names_(names), d_(d), steps_(p, names, d) {}

  std::string run() {
    rel root = walk(p_.root);
    std::string out = "-- result: " + comment_text(header_line(root.name, root.colnames, root.coltypes)) + "\n";
    const bool mixed = any_mixed(root.kinds);
    // Mixed cells sort by expressions, which a SELECT DISTINCT cannot order by.
    if (mixed && root.b.distinct) steps_.materialize(root, "result", "the result, before it is sorted");
    std::vector<output_column> list;
    std::string order;
    for (std::size_t i = 0; i < root.b.cols.size(); ++i) {
      const cell_sql x = cell_of(root.b, root.b.cols[i]);
      // A name the dialect cannot hold leaves the column unnamed.
      const std::string& name = root.colnames[i];
      list.push_back({printed(x, d_), name_problem(d_, name).empty() ? name : std::string()});
      if (!root.b.keyed) {
        if (mixed) {
          for (std::string& t : sort_terms(x, d_)) order += (order.empty() ? "" : ", ") + t;
        } else {
          order += (order.empty() ? "" : ", ") + std::to_string(i + 1);
        }
      }
    }
    if (list.empty()) list.push_back({"''", ""});
    if (root.b.keyed) order = cell_of(root.b, root.b.position).c;
    if (!steps_.with().empty()) out += "WITH\n" + steps_.with() + "\n";
    out += render_select(p_, root.b, list, root.b.distinct, d_, 0);
    if (!order.empty()) out += "\nORDER BY " + order;
    return out + ";\n";
  }

 private:
  const plan& p_;
  const catalog_names& names_;
  dialect d_;
  step_writer steps_;
  std::set<std::string> aliased_;  // tables already read under their own name

  // Operands first, left before right, each depth first, so the first
  // failure met is the one evaluation would raise. Walked with an explicit
  // stack, as queries may be nested very deep.
  rel walk(int32_t root) {
    std::map<int32_t, rel> done;
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
      const auto take = [&](int32_t child) {
        auto it = done.find(child);
        rel r = std::move(it->second);
        done.erase(it);
        return r;
      };
      rel out;
      switch (n.op) {
        case plan_op::table: out = table(n); break;
        case plan_op::union_: {
          rel a = take(n.left);
          out = union_(n, std::move(a), take(n.right));
          break;
        }
        case plan_op::minus: {
          rel a = take(n.left);
          out = minus(n, std::move(a), take(n.right));
          break;
        }
        case plan_op::product: {
          rel a = take(n.left);
          out = product(n, std::move(a), take(n.right));
          break;
        }
        case plan_op::project: out = project(n, take(n.left)); break;
        case plan_op::rename: out = rename(n, take(n.left)); break;
        case plan_op::select: out = select(n, take(n.left)); break;
        case plan_op::fail: throw refusal(p_.message_of(n), n.span);
        case plan_op::join:
          throw refusal("join: the plan was rewritten for evaluation; SQL is written from the plan as read",
                        n.span);
      }
      check_size(n, out.depth, out.colnames.size(), d_, out.name);
      done[i] = std::move(out);
    }
    return std::move(done.at(root));
  }

  static std::size_t deeper(const rel& a, const rel& b) { return 1 + std::max(a.depth, b.depth); }

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
    // The first read of a table goes by its own name; later ones take name_2, ...
    const std::string alias = aliased_.insert(sql.table).second ? sql.table : steps_.names().claim(sql.table, "t");
    r.b.items.push_back({sql.table, alias});
    for (std::size_t c = 0; c < t.colnames.size(); ++c) r.b.cols.push_back({0, sql.columns[c], "", r.kinds[c]});
    r.b.keyed = true;
    r.b.position = {0, sql.position, "", kind::integer};
    return r;
  }

  // The select list of a union or difference operand, under `names` (the
  // first operand's) or unnamed.
  std::string branch(const rel& r, const std::vector<std::string>& names) {
    return render_select(p_, r.b, cells_named(r.b, names, std::vector<std::string>(names.size())), false, d_, 4);
  }

  rel union_(const plan_node& n, rel a, rel b) {
    check_union(n, a.colnames.size(), b.colnames.size());
    rel out;
    out.depth = deeper(a, b);
    out.name = a.name;
    out.colnames = a.colnames;
    out.coltypes = a.coltypes;
    out.kinds = a.kinds;
    for (std::size_t c = 0; c < a.kinds.size(); ++c) {
      if (a.kinds[c] != b.kinds[c]) out.kinds[c] = kind::mixed;
    }
    if (!any_mixed(out.kinds)) {
      std::set<std::string> taken;
      const std::vector<std::string> names = step_column_names(d_, a.colnames, taken);
      const std::string name = steps_.name("union");
      steps_.add(name, comment_of(p_, n),
               branch(a, names) + "\n    UNION\n" + branch(b, std::vector<std::string>(names.size())));
      out.b.items.push_back({name, name});
      for (std::size_t i = 0; i < names.size(); ++i) out.b.cols.push_back({0, names[i], "", out.kinds[i]});
      return out;
    }
    // The first operand's rows come first, each operand's in its order.
    const auto part = [&](const rel& r, const char* which) {
      std::vector<output_column> list{{std::string(which) + " AS part", ""},
                                      {(r.b.keyed ? cell_of(r.b, r.b.position).c : "0") + " AS o", ""}};
      for (std::size_t c = 0; c < r.b.cols.size(); ++c) {
        list.push_back({cell_as(cell_of(r.b, r.b.cols[c]), out.kinds[c], c, d_), ""});
      }
      return render_select(p_, r.b, list, false, d_, 0);
    };
    out.b = steps_.positional(
        "union",
        comment_of(p_, n) + "\n  -- relalg counts the integer 0 and the empty string as equal: of such rows the first is kept",
        "    " + first_of_equal(out.kinds, part(a, "0") + " UNION ALL " + part(b, "1"), {"u.part", "u.o"}, d_),
        out.kinds);
    return out;
  }

  rel minus(const plan_node& n, rel a, rel b) {
    rel out;
    out.depth = deeper(a, b);
    out.colnames = a.colnames;
    out.coltypes = a.coltypes;
    out.kinds = a.kinds;
    if (a.colnames.size() != b.colnames.size()) {
      // Rows of different widths are never equal: nothing is taken away.
      out.b = std::move(a.b);
      out.b.distinct = true;
      out.b.keyed = false;
      return out;
    }
    std::set<std::string> taken;
    const std::vector<std::string> names = step_column_names(d_, a.colnames, taken);
    if (a.kinds == b.kinds && !any_mixed(a.kinds)) {
      const std::string name = steps_.name("minus");
      steps_.add(name, comment_of(p_, n),
               branch(a, names) + "\n    EXCEPT\n" + branch(b, std::vector<std::string>(names.size())));
      out.b.items.push_back({name, name});
      for (std::size_t i = 0; i < names.size(); ++i) out.b.cols.push_back({0, names[i], "", out.kinds[i]});
      return out;
    }
    // Cells of other kinds are equal when relalg's two fields are.
    steps_.materialize(a, "minus_left", "the first operand of the difference below");
    steps_.materialize(b, "minus_right", "the second operand of the difference below");
    a.b.items[0].alias = "kept";
    b.b.items[0].alias = "removed";
    std::string match;
    for (std::size_t c = 0; c < a.b.cols.size(); ++c) {
      match += (c > 0 ? " AND " : "") + cells_equal(cell_of(a.b, a.b.cols[c]), cell_of(b.b, b.b.cols[c]), d_);
    }
    std::vector<output_column> list;
    for (std::size_t c = 0; c < a.b.cols.size(); ++c) {
      list.push_back({cell_as(cell_of(a.b, a.b.cols[c]), a.kinds[c], c, d_), ""});
    }
    out.b = steps_.positional(
        "minus",
        comment_of(p_, n) + "\n  -- relalg counts the integer 0 and the empty string as equal",
        render_select(p_, a.b, list, true, d_, 4) + "\n    WHERE NOT EXISTS (SELECT 1 FROM " +
            ident(b.b.items[0].source) + " AS removed WHERE " + match + ")",
        a.kinds);
    return out;
  }

  // Shifts the item numbers of a block's columns and conditions by `by`.
  static void shift(block& b, std::size_t by) {
    for (col_ref& c : b.cols) c.item += by;
    for (std::vector<condition_part>* part : {&b.on, &b.where}) {
      for (condition_part& c : *part) {
        c.item += by;
        for (col_ref& r : c.columns) r.item += by;
      }
    }
  }

  rel product(const plan_node& n, rel a, rel b) {
    const std::vector<std::size_t> layout = product_layout(n, a.colnames, b.colnames);
    const std::size_t depth = deeper(a, b);
    const auto size = [](const rel& r) { return r.b.items.size() + r.b.where.size() + r.b.on.size(); };
    while (a.b.items.size() + b.b.items.size() > kMaxItems ||
           a.b.where.size() + a.b.on.size() + b.b.where.size() + b.b.on.size() > kMaxConditions ||
           a.b.condition_depth + b.b.condition_depth > kMaxConditionDepth) {
      steps_.materialize(size(a) >= size(b) ? a : b, "operand",
                  "an operand of the product below, on its own: one SELECT joins a few tables at most");
    }
    rel out;
    out.depth = depth;
    block& m = out.b;
    const std::size_t offset = a.b.items.size();
    shift(b.b, offset);
    m.items = std::move(a.b.items);
    m.items.insert(m.items.end(), b.b.items.begin(), b.b.items.end());
    m.on = std::move(a.b.on);
    m.on.insert(m.on.end(), b.b.on.begin(), b.b.on.end());
    m.where = std::move(a.b.where);
    m.where.insert(m.where.end(), b.b.where.begin(), b.b.where.end());
    m.condition_depth = a.b.condition_depth + b.b.condition_depth;
    m.distinct = true;
    for (const std::size_t at : layout) {
      const bool from_a = at < a.colnames.size();
      const rel& from = from_a ? a : b;
      const std::size_t c = from_a ? at : at - a.colnames.size();
      out.colnames.push_back(from.colnames[c]);
      out.coltypes.push_back(from.coltypes[c]);
      out.kinds.push_back(from.kinds[c]);
      m.cols.push_back(from.b.cols[c]);
    }
    return out;
  }

  rel project(const plan_node& n, rel t) {
    const std::vector<plan_name>& list = p_.names_of(n);
    rel out;
    out.depth = t.depth + 1;
    if (list.empty()) {
      // No columns: every row becomes the empty row, kept once.
      out.b = std::move(t.b);
      out.b.cols.clear();
      out.b.distinct = true;
      out.b.keyed = false;
      return out;
    }
    check_project(p_, n, t.colnames.size());
    std::vector<std::size_t> picked;
    for (const plan_name& name : list) {
      const std::size_t at = projected_column(t.colnames, name.text);
      picked.push_back(at);
      out.colnames.push_back(t.colnames[at]);
      out.coltypes.push_back(t.coltypes[at]);
      out.kinds.push_back(t.kinds[at]);
    }
    if (!any_mixed(out.kinds)) {
      std::vector<col_ref> cols;
      for (const std::size_t at : picked) cols.push_back(t.b.cols[at]);
      out.b = std::move(t.b);
      out.b.cols = std::move(cols);
      out.b.distinct = true;
      out.b.keyed = false;
      return out;
    }
    // Rows the projection makes equal keep the first in the operand's order.
    std::vector<output_column> cells;
    std::vector<std::string> order;
    if (t.b.keyed) {
      order.push_back(cell_of(t.b, t.b.position).c);
    } else {
      for (const col_ref& c : t.b.cols) {
        for (std::string& term : sort_terms(cell_of(t.b, c), d_)) order.push_back(std::move(term));
      }
    }
    for (std::size_t i = 0; i < picked.size(); ++i) {
      cells.push_back({cell_as(cell_of(t.b, t.b.cols[picked[i]]), out.kinds[i], i, d_), ""});
    }
    std::vector<std::string> by;
    for (std::size_t o = 0; o < order.size(); ++o) {
      cells.push_back({order[o] + " AS o" + std::to_string(o + 1), ""});
      by.push_back("u.o" + std::to_string(o + 1));
    }
    out.b = steps_.positional(
        "project",
        comment_of(p_, n) + "\n  -- relalg counts the integer 0 and the empty string as equal: of such rows the first is kept",
        "    " + first_of_equal(out.kinds, render_select(p_, t.b, cells, false, d_, 0), by, d_), out.kinds);
    return out;
  }

  rel rename(const plan_node& n, rel t) {
    const std::vector<plan_name>& list = p_.names_of(n);
    check_rename(n, t.colnames.size(), list.size());
    t.depth += 1;
    t.name = list[0].text;
    for (std::size_t c = 0; c < t.colnames.size(); ++c) t.colnames[c] = list[c + 1].text;
    // The one table or step read takes the new name as its alias.
    if (t.b.items.size() == 1 && name_problem(d_, t.name).empty() &&
        folded_name(d_, t.b.items[0].alias) != folded_name(d_, t.name)) {
      t.b.items[0].alias = steps_.names().claim(t.name, "t");
    }
    return t;
  }

  rel select(const plan_node& n, rel t) {
    check_condition(p_, n);
    const int32_t root = p_.condition_of(n).root;
    t.depth += 1;
    std::vector<cell_sql> cells;
    for (const col_ref& c : t.b.cols) cells.push_back(cell_of(t.b, c));
    // Refused as the positional form refuses it (too deep).
    condition_sql(p_, root, t.colnames, cells, d_, true);
    const std::size_t depth = condition_depth(p_, root);
    if (t.b.where.size() + t.b.on.size() >= kMaxConditions || t.b.condition_depth + depth > kMaxConditionDepth) {
      steps_.materialize(t, "conditions", "rows the selection below reads, filtered so far: one WHERE holds a few conditions at most");
    }
    t.b.condition_depth += depth;
    t.name.clear();
    for (const int32_t c : conjuncts(p_, root)) {
      condition_part part{c, t.colnames, t.b.cols, 0};
      if (const auto item = join_item(t, p_.cond(c))) {
        part.item = *item;
        t.b.on.push_back(std::move(part));
      } else {
        t.b.where.push_back(std::move(part));
      }
    }
    return t;
  }

  // The FROM item whose JOIN ... ON an equality of two columns of
  // different items goes to (the later of the two), when it is one of the
  // same kind.
  std::optional<std::size_t> join_item(const rel& t, const cond_node& c) const {
    if (c.op != cond_op::eq || t.b.items.size() < 2) return std::nullopt;
    const cond_operand& x = p_.conds.x(c);
    const cond_operand& y = p_.conds.y(c);
    if (x.is_literal || y.is_literal) return std::nullopt;
    const auto cx = read_column(t.colnames, x.text);
    const auto cy = read_column(t.colnames, y.text);
    if (!cx || !cy) return std::nullopt;
    const col_ref& a = t.b.cols[*cx];
    const col_ref& b = t.b.cols[*cy];
    if (a.item == b.item || a.k != b.k || a.k == kind::mixed) return std::nullopt;
    return std::max(a.item, b.item);
  }
};

}  // namespace

std::string translate_readable(const plan& p, const catalog_names& names, dialect d) {
  return readable_writer(p, names, d).run();
}

}  // namespace relalg_sql
