// The warnings: what the reader noted, what the schemas show of conditions
// and projections, and a second read of the table lines.
#include "engine/lint.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <string>

#include "engine/blocks.h"
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
    for (std::size_t i = 0; i < p_.nodes.size(); ++i) node(p_.nodes[i]);
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
        operands_alike(n, in, s_[static_cast<std::size_t>(n.right)]);
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
        break;
      }
      case plan_op::select:
        condition(p_.condition_of(n).root, in);
        break;
      default:
        break;
    }
  }

  void operands_alike(const plan_node& n, const node_schema& a, const node_schema& b) {
    if (!b.ok) return;
    const std::string op(operation_name(n.op));
    if (a.colnames.size() != b.colnames.size()) {
      warn(n.span, op + " of operands with " + std::to_string(a.colnames.size()) + " and " +
                       std::to_string(b.colnames.size()) +
                       " columns: rows are compared cell by cell and keep their own width");
      return;
    }
    for (std::size_t k = 0; k < a.coltypes.size(); ++k) {
      if ((a.coltypes[k] == "int") == (b.coltypes[k] == "int")) continue;
      warn(n.span, op + " of operands whose column " + std::to_string(k + 1) + " is " +
                       (a.coltypes[k] == "int" ? "int in the first and text in the second"
                                               : "text in the first and int in the second") +
                       ": integers and strings then compare by the mixed-kind rules");
      return;
    }
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
        if (o->is_literal || has(in.colnames, o->text)) continue;
        std::string near;
        const std::string hint = did_you_mean(o->text, in.colnames, &near);
        warn(o->span, show_text(o->text) + " is not a column of the operand (" + column_list(in.colnames) +
                          "): it compares as the integer 0" + hint)
            .suggestion = near;
      }
      mixed(x, y, in);
      mixed(y, x, in);
    }
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

// ---- The table lines ------------------------------------------------------------------

class table_linter {
 public:
  std::vector<diagnostic> run(std::string_view input) {
    block_reader blocks(input);
    input_block b;
    while (blocks.next(b)) {
      check_line_end(b.header_line, b.header);
      header(b.header_line, b.header);
      for_each_row_line(b.rows, b.first_row_line, [this](uint32_t line_no, std::string_view line) {
        check_line_end(line_no, line);
        row(line_no, line);
      });
    }
    if (cr_lines_ > 1) out_[cr_first_].message += " (and " + std::to_string(cr_lines_ - 1) + " more lines)";
    return std::move(out_);
  }

 private:
  void warn(uint32_t line, source_span at, std::string message, std::string group = {}) {
    diagnostic d;
    d.level = severity::warning;
    d.line = line;
    d.span = at;
    d.message = std::move(message);
    d.group = group.empty() ? d.message : std::move(group);
    out_.push_back(std::move(d));
  }

  void check_line_end(uint32_t line_no, std::string_view line) {
    if (line.back() != '\r' || cr_lines_++ > 0) return;
    cr_first_ = out_.size();
    const auto at = static_cast<uint32_t>(line.size() - 1);
    warn(line_no, {at, at + 1},
         "this line ends with a carriage return (a file from Windows?): it is part of the "
         "line's last value, and a line holding only one is not empty, so it does not end a "
         "table block");
  }

  void header(uint32_t line_no, std::string_view line) {
    header_line h = parse_header(line);
    const auto name_end = static_cast<uint32_t>(h.has_open ? line.find('(') : line.size());
    if (!h.has_open) {
      warn(line_no, {0, name_end},
           "this header has no \"(\": it names a table without columns, and the lines up to the "
           "next empty line are its rows");
    }
    const auto seen = defined_.find(h.name);
    if (seen != defined_.end()) {
      warn(line_no, {0, std::max<uint32_t>(name_end, 1)},
           "table " + show_text(h.name) + " is defined again: this block replaces the one on line " +
               std::to_string(seen->second));
    }
    defined_[h.name] = line_no;
    table_ = h.name;
    has_columns_ = h.has_open;
    is_int_ = int_columns(h.coltypes);
    colnames_ = std::move(h.colnames);
  }

  void row(uint32_t line_no, std::string_view line) {
    const std::size_t ncols = is_int_.size();
    std::size_t values = 0;
    uint32_t extra_at = 0;
    // Every value of the line, read as the row reader reads them; those
    // past the last column are the surplus.
    scan_row(line, ncols + 1 + line.size(), [&](std::size_t j, std::string_view value) {
      if (value.empty()) return;
      ++values;
      const auto at = static_cast<uint32_t>(value.data() - line.data());
      if (j == ncols) extra_at = at;
      if (j < ncols && is_int_[j]) int_value(line_no, at, value, j);
    });
    const std::string where = " of table " + show_text(table_);
    const auto count = [](std::size_t n, const char* what) {
      return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    if (!has_columns_) return;  // the header's own warning says it all
    if (values > ncols) {
      warn(line_no, {extra_at, static_cast<uint32_t>(line.size())},
           "this row has " + count(values, "value") + " for " + count(ncols, "column") + where +
               ": the extra values are ignored",
           "surplus " + table_);
    } else if (values < ncols) {
      const auto end = static_cast<uint32_t>(line.size());
      warn(line_no, {end, end},
           "this row has " + count(values, "value") + " for " + count(ncols, "column") + where +
               ": the missing ones are empty (0 in int columns)",
           "short " + table_);
    }
  }

  void int_value(uint32_t line_no, uint32_t at, std::string_view value, std::size_t column) {
    std::size_t i = value[0] == '+' || value[0] == '-' ? 1 : 0;
    const std::size_t digits_from = i;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9') ++i;
    const std::string where = " in int column " + show_text(colnames_[column]) + " of table " + show_text(table_);
    const source_span span{at, at + static_cast<uint32_t>(value.size())};
    if (i < value.size() || i == digits_from) {
      warn(line_no, span,
           show_text(value) + where + " is not an integer: it reads as " + std::to_string(text_to_int(value)),
           "not an integer " + table_);
      return;
    }
    const int32_t v = text_to_int(value);
    const std::string canonical = std::to_string(v);
    std::string_view digits = value.substr(digits_from);
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    const std::string_view shown = std::string_view(canonical).substr(v < 0 ? 1 : 0);
    if (digits != shown && !(v == 0 && digits == "0")) {
      warn(line_no, span,
           std::string(value) + where + " does not fit in 32 bits: it reads as " + canonical,
           "out of range " + table_);
    }
  }

  std::vector<diagnostic> out_;
  std::map<std::string, uint32_t> defined_;
  std::string table_;
  bool has_columns_ = true;
  std::vector<bool> is_int_;
  std::vector<std::string> colnames_;
  std::size_t cr_lines_ = 0;
  std::size_t cr_first_ = 0;
};

}  // namespace

std::vector<diagnostic> lint_query(const plan& p, const std::vector<node_schema>& schemas) {
  return query_linter(p, schemas).run();
}

std::vector<diagnostic> lint_tables(std::string_view input) { return table_linter().run(input); }

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
