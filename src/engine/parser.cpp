// The query and condition readers. Both walk their texts with a stack of
// pending pieces instead of recursing, so nesting depth costs no stack; and
// both ask the lexer only for pieces of the line, never for copies, except
// for the names and literals that end up in the plan.
#include "engine/parser.h"

#include <map>
#include <utility>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/extended.h"
#include "engine/query_text.h"
#include "engine/show_text.h"

std::string not_a_predicate(std::string_view text, std::string_view op) {
  return std::string(op) + ": " + show_text(text) +
         " is not a predicate; write NOT(P), AND(P,Q), OR(P,Q) or a comparison "
         "EQ, NEQ, LT, LTE, GT or GTE of two operands, such as EQ(a,1)";
}

namespace {

class reader {
 public:
  reader(plan& out, const table_map* tables, parse_options options)
      : out_(out), line_(out.line), texts_(line_), tables_(tables),
        notes_(options.notes ? &out.notes : nullptr), extended_(options.extended) {}

  void read_query();
  int32_t read_condition(const query_text& t, bool raw_keyword, std::string_view owner = "select");
  // The extended calls read, for define_extended.
  const std::vector<int32_t>& calls() const { return calls_; }
  std::vector<plan_name> rename_names(const query_text& t) { return rename_list(t); }
  text_reader& texts() { return texts_; }

 private:
  struct job {
    query_text text;
    int32_t parent;
    bool right;
  };

  int32_t add_node(plan_op op, source_span span, int32_t parent, bool right);
  int32_t add_message(std::string text, source_span about, std::string suggestion = {});
  // Fills in node i, a call of op with operand text o, and queues its
  // operand expressions.
  void read_call(int32_t i, plan_op op, const query_text& o);
  // Reads an extended call of operand text o, or returns false when name
  // is none (or extended operations are not read).
  bool read_extended(std::string_view name, source_span span, int32_t parent, bool right, const query_text& o);
  void read_expression(const job& j);
  plan_name name_of(const query_text& t);
  std::vector<plan_name> rename_list(const query_text& t);
  cond_operand operand_of(const query_text& t);

  plan& out_;
  query_line line_;
  text_reader texts_;
  const table_map* tables_;
  std::vector<parse_note>* notes_;
  bool extended_;
  std::vector<int32_t> calls_;
  // The operation name of a call whose text starts at begin and whose "("
  // stands at open; an empty name points at the "(".
  source_span name_span(uint32_t begin, uint32_t open) const {
    while (begin < open && line_.text()[begin] == ' ') ++begin;
    return begin < open ? source_span{begin, open} : source_span{open, open + 1};
  }
  std::string no_table(const std::string& name, std::string& suggestion) const;
  std::string unknown_operation(std::string_view name, std::string_view text, std::string& suggestion) const;

  // split_first, noting each operand merged into the second as one of the
  // operation or keyword that takes only two.
  std::pair<query_text, query_text> split(const query_text& o, std::string_view what) {
    const std::size_t before = notes_ != nullptr ? notes_->size() : 0;
    auto parts = texts_.split_first(o, notes_);
    if (notes_ != nullptr) {
      for (std::size_t k = before; k < notes_->size(); ++k) (*notes_)[k].detail = what;
    }
    return parts;
  }

  std::vector<job> pending_;
  std::map<const stored_table*, int32_t> table_index_;
};

int32_t reader::add_node(plan_op op, source_span span, int32_t parent, bool right) {
  const auto i = static_cast<int32_t>(out_.nodes.size());
  plan_node n;
  n.op = op;
  n.span = span;
  out_.nodes.push_back(n);
  if (parent >= 0) {
    plan_node& p = out_.nodes[static_cast<std::size_t>(parent)];
    (right ? p.right : p.left) = i;
  }
  return i;
}

int32_t reader::add_message(std::string text, source_span about, std::string suggestion) {
  out_.messages.push_back(std::move(text));
  out_.message_spans.push_back(about);
  out_.message_suggestions.push_back(std::move(suggestion));
  return static_cast<int32_t>(out_.messages.size()) - 1;
}

std::string reader::no_table(const std::string& name, std::string& suggestion) const {
  std::vector<std::string> names;
  for (const auto& [n, t] : *tables_) names.push_back(n);
  return "no table named " + show_text(name) + did_you_mean(name, names, &suggestion);
}

std::string reader::unknown_operation(std::string_view name, std::string_view text, std::string& suggestion) const {
  std::vector<std::string> ops;
  for (const plan_op op : kOperationOrder) ops.emplace_back(operation_name(op));
  if (extended_) {
    for (const extended_op op : kExtendedOrder) ops.emplace_back(extended_name(op));
  }
  return "unknown operation " + show_text(name) + " in " + show_text(text) +
         (extended_ ? " (the operations are union, minus, product, project, rename, select, join, njoin, "
                      "intersect and divide)"
                    : " (the operations are union, minus, product, project, rename and select)") +
         did_you_mean(name, ops, &suggestion);
}

void reader::read_query() {
  // Every node but the first stands after a "(" or a ",".
  out_.nodes.reserve(std::size_t{line_.count_opens()} + line_.count_commas() + 1);
  const query_text whole = texts_.whole();
  const source_span all{0, line_.size()};
  const auto found = tables_->find(line_.text());
  job top{whole, -1, false};
  if (found != tables_->end()) {
    read_expression(top);  // a bare name: looked up below
  } else {
    const uint32_t open = texts_.first_open(whole);
    if (open == kNoPos) {
      read_expression(top);
    } else {
      const std::string_view name = line_.text().substr(0, open);
      const plan_op op = operation_named(name);
      if (op == plan_op::fail && extended_ && extended_named(name) != extended_op::none) {
        read_extended(name, all, -1, false, texts_.operands(whole, open, notes_));
      } else if (op == plan_op::fail) {
        const int32_t i = add_node(plan_op::fail, all, -1, false);
        std::string suggestion;
        std::string message = unknown_operation(name, line_.text(), suggestion);
        out_.nodes[static_cast<std::size_t>(i)].arg = add_message(std::move(message), name_span(0, open),
                                                                  std::move(suggestion));
      } else {
        read_call(add_node(op, all, -1, false), op, texts_.operands(whole, open, notes_));
      }
    }
  }
  out_.root = 0;
  while (!pending_.empty()) {
    const job j = pending_.back();
    pending_.pop_back();
    read_expression(j);
  }
}

void reader::read_expression(const job& j) {
  const source_span span = texts_.span(j.text);
  const uint32_t open = j.text.unbalanced ? kNoPos : texts_.first_open(j.text);
  if (open == kNoPos) {
    // No "(": a table name, the whole text. (The whole line comes here only
    // when it names a table or holds no "(".)
    const std::string name = j.text.unbalanced ? std::string(line_.text()) : texts_.bytes(j.text);
    const auto found = tables_->find(name);
    if (found == tables_->end()) {
      const int32_t i = add_node(plan_op::fail, span, j.parent, j.right);
      std::string suggestion;
      std::string message = no_table(name, suggestion);
      out_.nodes[static_cast<std::size_t>(i)].arg = add_message(std::move(message), span, std::move(suggestion));
      return;
    }
    const int32_t i = add_node(plan_op::table, span, j.parent, j.right);
    const stored_table* t = &found->second;
    auto [at, added] = table_index_.try_emplace(t, static_cast<int32_t>(out_.tables.size()));
    if (added) out_.tables.push_back(t);
    out_.nodes[static_cast<std::size_t>(i)].arg = at->second;
    return;
  }
  const std::string name = texts_.bytes(j.text, open);
  const plan_op op = operation_named(name);
  if (op == plan_op::fail && extended_ && extended_named(name) != extended_op::none) {
    read_extended(name, span, j.parent, j.right, texts_.operands(j.text, open, notes_));
    return;
  }
  if (op == plan_op::fail) {
    const int32_t i = add_node(plan_op::fail, span, j.parent, j.right);
    std::string suggestion;
    std::string message = unknown_operation(name, texts_.bytes(j.text), suggestion);
    out_.nodes[static_cast<std::size_t>(i)].arg =
        add_message(std::move(message), name_span(span.begin, open), std::move(suggestion));
    return;
  }
  read_call(add_node(op, span, j.parent, j.right), op, texts_.operands(j.text, open, notes_));
}

void reader::read_call(int32_t i, plan_op op, const query_text& o) {
  const auto set_arg = [&](int32_t arg) { out_.nodes[static_cast<std::size_t>(i)].arg = arg; };
  switch (op) {
    case plan_op::union_:
    case plan_op::minus:
    case plan_op::product: {
      const auto [a, b] = split(o, operation_name(op));
      pending_.push_back({b, i, true});
      pending_.push_back({a, i, false});
      return;
    }
    case plan_op::project: {
      const std::vector<query_text> parts = texts_.split_all(o);
      std::vector<plan_name> names;
      if (parts.size() == 1) {
        const uint32_t end = texts_.span(o).end;
        names.push_back({std::string(), {end, end}});
      } else {
        for (std::size_t k = 1; k < parts.size(); ++k) names.push_back(name_of(parts[k]));
      }
      out_.name_lists.push_back(std::move(names));
      out_.name_list_spans.push_back(parts.size() == 1 ? source_span{texts_.span(o).end, texts_.span(o).end}
                                                       : source_span{texts_.span(parts[1]).begin, texts_.span(o).end});
      set_arg(static_cast<int32_t>(out_.name_lists.size()) - 1);
      pending_.push_back({parts[0], i, false});
      return;
    }
    case plan_op::rename: {
      const auto [a, b] = texts_.split_first(o);
      out_.name_lists.push_back(rename_list(b));
      out_.name_list_spans.push_back(texts_.span(b));
      set_arg(static_cast<int32_t>(out_.name_lists.size()) - 1);
      pending_.push_back({a, i, false});
      return;
    }
    case plan_op::select: {
      const auto [a, b] = split(o, "select");
      set_arg(read_condition(b, false));
      pending_.push_back({a, i, false});
      return;
    }
    default:
      return;
  }
}

bool reader::read_extended(std::string_view name, source_span span, int32_t parent, bool right,
                           const query_text& o) {
  const extended_op ext = extended_ ? extended_named(name) : extended_op::none;
  if (ext == extended_op::none) return false;
  const auto mark = [&](int32_t i, node_origin origin) {
    plan_node& n = out_.nodes[static_cast<std::size_t>(i)];
    n.origin = origin;
    n.ext = ext;
  };
  if (ext == extended_op::join) {
    // select(product(E1, E2), P): the third operand is the condition, and
    // takes any after it, as select's second does.
    const int32_t i = add_node(plan_op::select, span, parent, right);
    mark(i, node_origin::call);
    const int32_t both = add_node(plan_op::product, span, i, false);
    mark(both, node_origin::definition);
    auto [a, rest] = texts_.split_first(o);
    rest.drop_commas = false;
    const auto [b, p] = split(rest, "join");
    out_.nodes[static_cast<std::size_t>(i)].arg = read_condition(p, false, "join");
    pending_.push_back({b, both, true});
    pending_.push_back({a, both, false});
    return true;
  }
  // Written out once its operands' headers are known (define_extended).
  const int32_t i = add_node(plan_op::fail, span, parent, right);
  mark(i, node_origin::call);
  calls_.push_back(i);
  const auto [a, b] = split(o, name);
  pending_.push_back({b, i, true});
  pending_.push_back({a, i, false});
  return true;
}

plan_name reader::name_of(const query_text& t) {
  std::vector<uint32_t> where;
  plan_name n;
  n.text = texts_.bytes_at(t, where);
  n.span = where.empty() ? source_span{texts_.span(t).begin, texts_.span(t).begin}
                         : source_span{where.front(), where.back() + 1};
  return n;
}

std::vector<plan_name> reader::rename_list(const query_text& t) {
  // Every "(" or ")" ends a name and switches to the list, where commas end
  // names too; what is left after the last parenthesis is dropped.
  std::vector<uint32_t> where;
  const std::string text = texts_.bytes_at(t, where);
  std::vector<plan_name> names;
  std::string cur;
  source_span span{texts_.span(t).begin, texts_.span(t).begin};
  bool listing = false;
  bool started = false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (c == '(' || c == ')' || (c == ',' && listing)) {
      if (!started) span = {where[k], where[k]};
      names.push_back({std::move(cur), span});
      cur.clear();
      started = false;
      if (c != ',') listing = true;
      continue;
    }
    if (!started) span.begin = where[k];
    started = true;
    span.end = where[k] + 1;
    cur += c;
  }
  return names;
}

cond_operand reader::operand_of(const query_text& t) {
  std::vector<uint32_t> where;
  cond_operand o;
  o.text = texts_.bytes_at(t, where);
  o.span = where.empty() ? source_span{texts_.span(t).begin, texts_.span(t).begin}
                         : source_span{where.front(), where.back() + 1};
  if (!o.text.empty() && o.text[0] == '\'') {
    o.is_int = false;
  } else if (is_int_text(o.text)) {
    o.ival = text_to_int(o.text);
    if (notes_ != nullptr && !o.text.empty() && std::to_string(o.ival) != o.text) {
      // Text after the digits, a sign or leading zeros, or too many digits:
      // the warnings tell which.
      notes_->push_back({note_kind::integer_text, o.span, o.text});
    }
    o.text.clear();
  } else {
    o.is_literal = false;
    o.is_int = false;
  }
  if (notes_ != nullptr && o.is_literal && !o.is_int) {
    // The constant as written runs from its apostrophe to the next one in
    // the line; the reading rules keep none of its blanks, and its commas
    // and parentheses separate and nest as anywhere else.
    const std::string_view s = line_.text();
    const std::size_t close = s.find('\'', o.span.begin + 1);
    const uint32_t end = close == std::string_view::npos ? line_.size() : static_cast<uint32_t>(close) + 1;
    const std::string_view written = s.substr(o.span.begin, end - o.span.begin);
    if (written != o.text && written.find_first_of(" ,()") != std::string_view::npos) {
      notes_->push_back({note_kind::quoted_literal, {o.span.begin, end}, o.text});
    }
  }
  return o;
}

int32_t reader::read_condition(const query_text& text, bool raw_keyword, std::string_view owner) {
  plan_condition c;
  struct cjob {
    query_text text;
    int32_t parent;
    bool right;
    uint32_t depth;
  };
  std::vector<cjob> stack{{text, -1, false, 1}};
  while (!stack.empty()) {
    const cjob j = stack.back();
    stack.pop_back();
    if (j.depth > out_.max_condition_depth) out_.max_condition_depth = j.depth;
    const auto i = static_cast<int32_t>(out_.conds.nodes.size());
    out_.conds.nodes.emplace_back();
    if (j.parent >= 0) {
      cond_node& p = out_.conds.nodes[static_cast<std::size_t>(j.parent)];
      (j.right ? p.right : p.left) = i;
    } else {
      c.root = i;
    }
    cond_node n;
    n.span = texts_.span(j.text);
    const uint32_t open = texts_.first_open(j.text);
    if (open == kNoPos) {
      n.op = cond_op::fail;
      n.message = add_message(not_a_predicate(j.text.unbalanced ? std::string(line_.text())
                                                                 : texts_.bytes(j.text),
                                              owner),
                              n.span);
      if (c.first_fail < 0) c.first_fail = i;
      out_.conds.nodes[static_cast<std::size_t>(i)] = std::move(n);
      continue;
    }
    n.keyword = raw_keyword && j.parent < 0 ? std::string(line_.text().substr(0, open))
                                            : texts_.bytes(j.text, open);
    n.op = keyword_op(n.keyword);
    const query_text o = texts_.operands(j.text, open, notes_);
    if (n.op == cond_op::not_) {
      stack.push_back({o, i, false, j.depth + 1});
    } else {
      const auto [a, b] = n.op == cond_op::other ? texts_.split_first(o) : split(o, n.keyword);
      if (n.op == cond_op::and_ || n.op == cond_op::or_) {
        stack.push_back({b, i, true, j.depth + 1});
        stack.push_back({a, i, false, j.depth + 1});
      } else {
        n.operands = static_cast<int32_t>(out_.conds.operands.size());
        out_.conds.operands.push_back(operand_of(a));
        out_.conds.operands.push_back(operand_of(b));
      }
    }
    out_.conds.nodes[static_cast<std::size_t>(i)] = std::move(n);
  }
  out_.conditions.push_back(c);
  return static_cast<int32_t>(out_.conditions.size()) - 1;
}

}  // namespace

call_parts split_call(std::string_view text) {
  const query_line line(text);
  text_reader texts(line);
  const query_text whole = texts.whole();
  call_parts out;
  const uint32_t open = texts.first_open(whole);
  if (open == kNoPos) return out;
  out.has_open = true;
  out.name = std::string(text.substr(0, open));
  out.args = texts.bytes(texts.operands(whole, open));
  return out;
}

std::pair<std::string, std::string> split_operands(std::string_view args) {
  const query_line line(args);
  text_reader texts(line);
  const auto [a, b] = texts.split_first(texts.whole());
  return {texts.bytes(a), texts.bytes(b)};
}

std::pair<std::string, std::vector<std::string>> split_projection(std::string_view args) {
  const query_line line(args);
  text_reader texts(line);
  const std::vector<query_text> parts = texts.split_all(texts.whole());
  std::pair<std::string, std::vector<std::string>> out{texts.bytes(parts[0]), {}};
  if (parts.size() == 1) out.second.emplace_back();
  for (std::size_t k = 1; k < parts.size(); ++k) out.second.push_back(texts.bytes(parts[k]));
  return out;
}

std::pair<std::string, std::vector<std::string>> split_renaming(std::string_view args) {
  plan p;
  p.line = std::string(args);
  reader r(p, nullptr, {});
  const auto [a, b] = r.texts().split_first(r.texts().whole());
  std::pair<std::string, std::vector<std::string>> out{r.texts().bytes(a), {}};
  for (plan_name& n : r.rename_names(b)) out.second.push_back(std::move(n.text));
  return out;
}

plan parse_query(std::string line, const table_map& tables, parse_options options) {
  plan p;
  p.line = std::move(line);
  reader r(p, &tables, options);
  r.read_query();
  p.max_depth = r.texts().line().max_depth();
  define_extended(p, r.calls());
  return p;
}

plan parse_condition(std::string_view text, parse_options options) {
  plan p;
  p.line = std::string(text);
  reader r(p, nullptr, options);
  r.read_condition(r.texts().whole(), true);
  p.max_depth = r.texts().line().max_depth();
  return p;
}
