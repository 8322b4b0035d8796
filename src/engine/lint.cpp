// The warnings about the query: what the reader noted, and what the
// schemas and the data show of conditions, projections, renamings and set
// operations.
#include "engine/lint.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <string>

#include "engine/blocks.h"
#include "engine/extended_calls.h"
#include "engine/row_text.h"
#include "engine/show_text.h"

namespace {

std::string column_list(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += (i > 0 ? ", " : "") + names[i];
  return names.empty() ? "none" : out;
}

bool has(const std::vector<std::string>& names, const std::string& n) {
  return std::find(names.begin(), names.end(), n) != names.end();
}

// The type word of the last column of that name (the one a condition reads).
std::string type_of(const node_schema& s, const std::string& name) {
  for (std::size_t i = s.colnames.size(); i-- > 0;) {
    if (s.colnames[i] == name) return s.coltypes[i];
  }
  return {};
}

class query_linter {
 public:
  query_linter(const plan& p, const std::vector<node_schema>& schemas) : p_(p), s_(schemas) {}

  std::vector<diagnostic> run() {
    for (const parse_note& n : p_.notes) note(n);
    for (std::size_t i = 0; i < p_.nodes.size(); ++i) {
      // An extended operation is warned about as written, not as the
      // nodes that define it (a join's condition is its own).
      const plan_node& n = p_.nodes[i];
      if (n.origin == node_origin::definition) continue;
      if (n.origin == node_origin::call && n.ext != extended_op::join) {
        extended_call(static_cast<int32_t>(i));
        continue;
      }
      node(n);
    }
    return std::move(out_);
  }

 private:
  diagnostic& warn(source_span at, std::string message, std::string group = {}) {
    diagnostic d;
    d.level = severity::warning;
    d.line = 1;
    d.span = at;
    d.message = std::move(message);
    d.group = group.empty() ? d.message : std::move(group);
    out_.push_back(std::move(d));
    return out_.back();
  }

  void note(const parse_note& n) {
    switch (n.kind) {
      case note_kind::operand_merged:
        warn(n.span, n.detail == "select"
                         ? "select takes an expression and a condition: this comma is dropped, and the "
                           "text after it runs into the condition"
                     : n.detail == "join"
                         ? "join takes two expressions and a condition: this comma is dropped, and the "
                           "text after it runs into the condition"
                         : n.detail + " takes two operands: this comma is dropped, and the text after it "
                                      "runs into the second operand");
        break;
      case note_kind::text_ignored:
        warn(n.span, "text after the closing parenthesis is ignored");
        break;
      case note_kind::group_appended:
        warn(n.span, "this group after the closing parenthesis is appended to the operands before it");
        break;
      case note_kind::unclosed:
        warn(n.span, "this \"(\" is never closed: its operands run to the end of the line");
        break;
      case note_kind::surplus_close:
        warn(n.span, "this \")\" closes nothing");
        break;
      case note_kind::integer_text:
        integer_text(n);
        break;
      case note_kind::quoted_literal: {
        const std::string written(p_.line.substr(n.span.begin, n.span.end - n.span.begin));
        warn(n.span, "the quoted constant " + written + " is read as " + n.detail +
                         ": blanks are removed, and commas and parentheses inside quotes "
                         "split and nest as anywhere else");
        break;
      }
    }
  }

  // Where a keyword or operation name that starts at `from` ends: its "(".
  source_span keyword_at(source_span span) const {
    const std::size_t open = p_.line.find('(', span.begin);
    return {span.begin, open == std::string::npos ? span.end : static_cast<uint32_t>(open)};
  }

  void node(const plan_node& n) {
    if (n.left < 0) return;
    const node_schema& in = s_[static_cast<std::size_t>(n.left)];
    if (!in.ok) return;
    switch (n.op) {
      case plan_op::union_:
      case plan_op::minus:
        operands_alike(n, in, s_[static_cast<std::size_t>(n.right)], operation_name(n.op));
        break;
      case plan_op::project:
        for (const plan_name& c : p_.names_of(n)) {
          if (has(in.colnames, c.text) || in.colnames.empty()) continue;
          std::string near;
          const std::string hint = did_you_mean(c.text, in.colnames, &near);
          warn(c.span, (c.text.empty() ? std::string("an empty column name") : show_text(c.text)) +
                           " is not a column of the operand (" + column_list(in.colnames) +
                           "): project takes the first column, " + show_text(in.colnames[0]) +
                           ", in its place" + hint)
              .suggestion = near;
        }
        break;
      case plan_op::rename: {
        const std::size_t names = p_.names_of(n).size();
        if (names > in.colnames.size() + 1) {
          warn(p_.names_span(n), "rename lists " + std::to_string(names - 1) + " column names for " +
                                     std::to_string(in.colnames.size()) + " columns: the extra names are ignored");
        }
        if (names > in.colnames.size()) renamed_product(n, in);
        break;
      }
      case plan_op::select:
        condition(p_.condition_of(n).root, in);
        break;
      default:
        break;
    }
  }

  // An njoin, intersect or divide, from its operands' headers.
  void extended_call(int32_t i) {
    const written_call c = call_of(p_, i);
    if (c.left < 0 || c.right < 0) return;
    const plan_node& n = p_.node(i);
    const node_schema& a = s_[static_cast<std::size_t>(c.left)];
    const node_schema& b = s_[static_cast<std::size_t>(c.right)];
    if (!a.ok || !b.ok) return;
    if (c.op == extended_op::intersect) {
      operands_alike(n, a, b, "intersect");
      return;
    }
    // The columns of one name the operation compares.
    bool shared = false;
    for (std::size_t k = 0; k < b.colnames.size(); ++k) {
      const std::string& name = b.colnames[k];
      if (!has(a.colnames, name)) continue;
      shared = true;
      const bool int_a = type_of(a, name) == "int";
      if (int_a == (b.coltypes[k] == "int")) continue;
      warn(n.span, std::string(extended_name(c.op)) + " compares column " + show_text(name) + ", " +
                       (int_a ? "int" : "text") + " in the " + (c.op == extended_op::divide ? "dividend" : "first operand") +
                       " and " + (int_a ? "text" : "int") + " in the " +
                       (c.op == extended_op::divide ? "divisor" : "second") +
                       ", by the mixed-kind rules (equal only when the integer is 0 and the string empty)");
    }
    if (c.op == extended_op::njoin && !shared) {
      warn(n.span, "the operands of njoin share no column name (" + column_list(a.colnames) + " and " +
                       column_list(b.colnames) + "), so njoin is their product: every row of the first with "
                       "every row of the second");
    }
  }

  void operands_alike(const plan_node& n, const node_schema& a, const node_schema& b, std::string_view name) {
    if (!b.ok) return;
    const std::string op(name);
    if (a.colnames.size() != b.colnames.size()) {
      warn(n.span, op + " of operands with " + std::to_string(a.colnames.size()) + " and " +
                       std::to_string(b.colnames.size()) +
                       " columns: rows are compared cell by cell and keep their own width");
      return;
    }
    // Columns are matched by position: names that differ at a position
    // usually mean columns taken in another order or of another meaning.
    std::vector<std::string> pairs;
    for (std::size_t k = 0; k < a.colnames.size(); ++k) {
      if (a.colnames[k] == b.colnames[k]) continue;
      pairs.push_back(show_text(a.colnames[k]) + " with " + show_text(b.colnames[k]));
    }
    if (!pairs.empty()) {
      const std::size_t shown = std::min<std::size_t>(pairs.size(), 3);
      std::string listed;
      for (std::size_t k = 0; k < shown; ++k) {
        const bool last = k + 1 == shown && pairs.size() <= 3;
        listed += (k == 0 ? "" : last ? " and " : ", ") + pairs[k];
      }
      if (pairs.size() > 3) listed += " and " + std::to_string(pairs.size() - 3) + " more";
      warn(n.span, op + " matches columns by position, not by name: it pairs " + listed + " (the first operand's (" +
                       column_list(a.colnames) + ") against the second's (" + column_list(b.colnames) + "))");
    }
    // Columns of unlike kinds compare by the mixed-kind rules.
    for (std::size_t k = 0; k < a.coltypes.size(); ++k) {
      if ((a.coltypes[k] == "int") == (b.coltypes[k] == "int")) continue;
      warn(n.span, op + " of operands whose column " + std::to_string(k + 1) + " is " +
                       (a.coltypes[k] == "int" ? "int in the first and text in the second"
                                               : "text in the first and int in the second") +
                       ": integers and strings then compare by the mixed-kind rules");
      return;
    }
  }

  // A renaming of a product whose new names follow the columns in the order
  // of the product's operands, when the product lays them out by name.
  void renamed_product(const plan_node& n, const node_schema& in) {
    int32_t below = n.left;
    if (p_.node(below).op != plan_op::product) return;
    std::vector<std::string> written_order;  // the operands' columns, left to right
    std::vector<int32_t> stack{below};
    while (!stack.empty()) {
      const int32_t i = stack.back();
      stack.pop_back();
      const plan_node& m = p_.node(i);
      if (m.op == plan_op::product) {
        stack.push_back(m.right);
        stack.push_back(m.left);
        continue;
      }
      const node_schema& s = s_[static_cast<std::size_t>(i)];
      written_order.insert(written_order.end(), s.colnames.begin(), s.colnames.end());
    }
    if (written_order == in.colnames || written_order.size() != in.colnames.size()) return;
    const std::vector<plan_name>& names = p_.names_of(n);
    std::size_t by_written = 0;
    std::size_t by_product = 0;
    for (std::size_t k = 0; k < in.colnames.size(); ++k) {
      by_written += resembles(names[k + 1].text, written_order[k]) ? 1 : 0;
      by_product += resembles(names[k + 1].text, in.colnames[k]) ? 1 : 0;
    }
    if (by_written <= by_product) return;
    warn(p_.names_span(n), "the new names follow the product's operands in the order they are written (" +
                               column_list(written_order) + "), but product lays out its columns by name: (" +
                               column_list(in.colnames) + "); rename names them in that order");
  }

  // Whether a new column name looks made from an old one: the same, one
  // containing the other, or a slip of a letter or two.
  static bool resembles(const std::string& fresh, const std::string& old) {
    if (fresh.empty() || old.empty()) return false;
    if (fresh == old) return true;
    if (std::min(fresh.size(), old.size()) >= 2 &&
        (fresh.find(old) != std::string::npos || old.find(fresh) != std::string::npos)) {
      return true;
    }
    return !nearest_names(fresh, {old}).empty();
  }

  void condition(int32_t root, const node_schema& in) {
    std::vector<int32_t> stack{root};
    while (!stack.empty()) {
      const cond_node& c = p_.cond(stack.back());
      stack.pop_back();
      if (c.left >= 0) stack.push_back(c.left);
      if (c.right >= 0) stack.push_back(c.right);
      if (c.op == cond_op::other) {
        const source_span k = keyword_at(c.span);
        std::string near;
        const std::string hint = did_you_mean(c.keyword, keyword_names(), &near);
        warn(k.begin < k.end ? k : c.span,
             c.keyword.empty() ? std::string("a condition in parentheses without a keyword is always true")
                               : show_text(c.keyword) + " is not a condition keyword, so this comparison is "
                                                        "always true" + hint)
            .suggestion = near;
        continue;
      }
      if (c.operands < 0) continue;
      const cond_operand& x = p_.conds.x(c);
      const cond_operand& y = p_.conds.y(c);
      for (const cond_operand* o : {&x, &y}) {
        const cond_operand* other = o == &x ? &y : &x;
        if (o->is_literal || has(in.colnames, o->text)) continue;
        std::string near;
        std::string hint = did_you_mean(o->text, in.colnames, &near);
        // A word the compared column holds as a value: a string constant
        // written without its apostrophes.
        if (const std::string value = value_of(*other, o->text, in); !value.empty()) {
          hint = "; did you mean the string " + value + "?";
          near = value;
        }
        warn(o->span, show_text(o->text) + " is not a column of the operand (" + column_list(in.colnames) +
                          "): it compares as the integer 0" + hint)
            .suggestion = near;
      }
      mixed(x, y, in);
      mixed(y, x, in);
    }
  }

  // An integer constant read from text that is not its plain decimal form:
  // text after its digits is dropped (15.4, 3GHz, 1e3), or it is clamped to
  // 32 bits. A sign or leading zeros change nothing.
  void integer_text(const parse_note& n) {
    const std::string& read = n.detail;
    std::size_t i = read[0] == '+' || read[0] == '-' ? 1 : 0;
    const std::size_t digits = i;
    while (i < read.size() && read[i] >= '0' && read[i] <= '9') ++i;
    const int32_t value = text_to_int(read);
    if (i < read.size()) {
      warn(n.span, "the constant " + show_text(read) + " reads as the integer " + std::to_string(value) +
                       ": the text after its digits is dropped (integers are whole numbers)");
      return;
    }
    std::string_view number = std::string_view(read).substr(digits);
    while (number.size() > 1 && number[0] == '0') number.remove_prefix(1);
    const std::string canonical = std::to_string(value < 0 ? -static_cast<int64_t>(value) : value);
    if (number != canonical) {
      warn(n.span, "the constant " + read + " does not fit in 32 bits: it reads as " + std::to_string(value));
    }
  }

  // The string constant that `word` would be, when a column of a table the
  // query reads that bears the compared column's name holds it as a value
  // (with apostrophes, or as written); else empty.
  std::string value_of(const cond_operand& compared, const std::string& word, const node_schema& in) const {
    if (compared.is_literal || word.empty() || !has(in.colnames, compared.text) ||
        type_of(in, compared.text) == "int") {
      return {};
    }
    const std::string quoted = "'" + word + "'";
    for (const stored_table* t : p_.tables) {
      for (std::size_t j = 0; j < t->colnames.size(); ++j) {
        if (t->colnames[j] != compared.text || t->coltypes[j] == "int") continue;
        if (column_holds(*t, j, quoted)) return quoted;
        if (column_holds(*t, j, word)) return show_text(word);
      }
    }
    return {};
  }

  // A column of a table, parsed or still its row lines, holds this text.
  static bool column_holds(const stored_table& t, std::size_t column, std::string_view text) {
    if (t.parsed()) {
      for (std::size_t r = 0; r < t.row_count(); ++r) {
        const cell& c = t.row(r).c[column];
        if (!c.is_int() && c.text() == text) return true;
      }
      return false;
    }
    bool found = false;
    for_each_row_line(t.pending(), 0, [&](uint32_t, std::string_view line) {
      if (found) return;
      scan_row(line, column + 1, [&](std::size_t j, std::string_view value) {
        if (j == column && value == text) found = true;
      });
    });
    return found;
  }

  // A column compared with a literal of the other kind.
  void mixed(const cond_operand& column, const cond_operand& literal, const node_schema& in) {
    if (column.is_literal || !literal.is_literal || !has(in.colnames, column.text)) return;
    const bool int_column = type_of(in, column.text) == "int";
    if (int_column == literal.is_int) return;
    const std::string shown = literal.is_int ? std::to_string(literal.ival) : literal.text;
    warn(literal.span, std::string(int_column ? "int" : "text") + " column " + show_text(column.text) +
                           " is compared with " + (literal.is_int ? "the integer " : "the string ") + shown +
                           ": an integer and a string compare by the mixed-kind rules (equal only "
                           "when the integer is 0 and the string empty)");
  }

  const plan& p_;
  const std::vector<node_schema>& s_;
  std::vector<diagnostic> out_;
};

}  // namespace

std::vector<diagnostic> lint_query(const plan& p, const std::vector<node_schema>& schemas) {
  return query_linter(p, schemas).run();
}

void order_warnings(std::vector<diagnostic>& warnings) {
  std::stable_sort(warnings.begin(), warnings.end(), [](const diagnostic& a, const diagnostic& b) {
    if (a.line != b.line) return a.line < b.line;
    return a.span.begin < b.span.begin;
  });
  // One message once at one spot; of many warnings alike, the first few,
  // then a count of the rest after the last one kept.
  constexpr std::size_t kAlike = 5;
  std::set<std::tuple<uint32_t, uint32_t, std::string>> seen;
  std::map<std::string, std::size_t> alike;
  std::map<std::string, std::size_t> last_kept;
  std::vector<diagnostic> kept;
  for (diagnostic& d : warnings) {
    if (!seen.insert({d.line, d.span.begin, d.message}).second) continue;
    if (++alike[d.group] > kAlike) continue;
    last_kept[d.group] = kept.size();
    kept.push_back(std::move(d));
  }
  for (const auto& [group, count] : alike) {
    if (count > kAlike) {
      kept[last_kept[group]].message += " (" + std::to_string(count - kAlike) + " more warnings like this one follow)";
    }
  }
  warnings.swap(kept);
}
