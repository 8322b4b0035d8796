#include "algo.h"

#include <stdexcept>

namespace {

// The names of a renaming target N(c1,...,cn): every "(" or ")" ends a name
// and switches to the list, where commas end names too. Text after the last
// parenthesis is dropped.
std::vector<std::string> rename_list(std::string_view rest) {
  std::vector<std::string> names;
  std::string cur;
  bool listing = false;
  for (const char c : rest) {
    if (c == '(' || c == ')') {
      names.push_back(std::move(cur));
      cur.clear();
      listing = true;
    } else if (c == ',' && listing) {
      names.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  return names;
}

[[noreturn]] void no_table(std::string_view name) {
  throw std::runtime_error("no table named " + show_text(name));
}


}  // namespace

algo::algo(database catalog) : db(std::move(catalog)) {
  struct entry {
    const char* name;
    handler h;
    fast_handler f;
  };
  static const entry entries[] = {
      {"union", &algo::union_, &algo::eval_union},
      {"minus", &algo::minus, &algo::eval_minus},
      {"product", &algo::product, &algo::eval_product},
      {"project", &algo::project, &algo::eval_project},
      {"rename", &algo::rename, &algo::eval_rename},
      {"select", &algo::select, &algo::eval_select},
  };
  for (const entry& e : entries) {
    opmap.emplace(e.name, e.h);
    fast_.emplace(e.name, e.f);
  }
}

algo::~algo() = default;

table algo::interpreter(std::string text) { return evaluate(text).to_table(); }

relation algo::evaluate(const std::string& text) {
  if (const table* t = db.find(text)) return table_rows(*t);
  const std::size_t p = text.find('(');
  if (p == std::string::npos) no_table(text);
  const std::string_view op = std::string_view(text).substr(0, p);
  const auto it = fast_.find(op);
  if (it == fast_.end()) {
    throw std::runtime_error("unknown operation " + show_text(op) + " in " + show_text(text));
  }
  return (this->*(it->second))(text_ref::of(call_operands(text)));
}

algo::result algo::eval(const text_ref& text) {
  const call_parts cp = split_call(text);
  if (cp.p < 0) {
    // Table names never hold "(", so only a text without one can name a table.
    const table* t = db.find(text.view());
    if (t == nullptr) no_table(text.view());
    return table_rows(*t);
  }
  const std::string_view op = text.view().substr(0, static_cast<std::size_t>(cp.p - text.l));
  const auto it = fast_.find(op);
  if (it == fast_.end()) {
    throw std::runtime_error("unknown operation " + show_text(op) + " in " +
                             show_text(text.view()));
  }
  return (this->*(it->second))(cp.operands);
}

algo::result algo::eval_binary(const text_ref& args, char op, const logic* condition) {
  // Binary operators nested in their right operands, as deep queries are,
  // are walked down first and applied on the way back up, so the depth of
  // such a chain costs no stack. Each level's left operand is checked (and,
  // when it is a call, evaluated) before the level below, and the levels are
  // applied innermost first: the order a recursive walk would take.
  struct level {
    char op;
    const table* named_left;  // else lefts.back() holds its value when applied
  };
  std::vector<level> chain;
  std::vector<result> lefts;
  text_ref cur = args;
  result right;
  for (;;) {
    const auto [e1, e2] = split_first(cur);
    // A table-name operand on the left is looked up first but taken only
    // after the right one is evaluated, so the chain holds no row lists for
    // it.
    const table* named_left = operand_table(e1);
    if (named_left == nullptr) lefts.push_back(eval(e1));
    chain.push_back({op, named_left});
    const call_parts cp = split_call(e2);
    op = 0;
    if (cp.p >= 0) {
      const std::string_view name = e2.view().substr(0, static_cast<std::size_t>(cp.p - e2.l));
      op = name == "union" ? '+' : name == "minus" ? '-' : name == "product" ? '*' : 0;
    }
    if (op == 0) {
      const table* named_right = operand_table(e2);
      right = named_right != nullptr ? sorted_operand(*named_right) : eval(e2);
      break;
    }
    cur = cp.operands;
  }
  while (!chain.empty()) {
    const level at = chain.back();
    chain.pop_back();
    result left;
    if (at.named_left != nullptr) {
      left = sorted_operand(*at.named_left);
    } else {
      left = std::move(lefts.back());
      lefts.pop_back();
    }
    switch (at.op) {
      case '+': right = rel_union(std::move(left), std::move(right)); break;
      case '-': right = rel_minus(std::move(left), std::move(right)); break;
      default:
        right = chain.empty() && condition != nullptr
                    ? rel_select_product(std::move(left), std::move(right), *condition)
                    : rel_product(std::move(left), std::move(right));
    }
  }
  return right;
}

const table* algo::operand_table(const text_ref& operand) {
  if (split_call(operand).p >= 0) return nullptr;
  const table* t = db.find(operand.view());
  if (t == nullptr) no_table(operand.view());
  return t;
}

algo::result algo::sorted_operand(const table& t) {
  // A table used once is best sorted together with the other operand; one
  // used again and again (deep queries) is sorted once and then merged.
  relation r = table_rows(t);
  if (uses_[&t]++ == 0) return r;
  auto& rows = sorted_[&t];
  if (!rows) {
    std::vector<rowref> v = r.rows;
    rel_sort(v);
    rows = std::make_shared<const std::vector<rowref>>(std::move(v));
  }
  r.rows = *rows;
  r.sorted = true;
  return r;
}

algo::result algo::table_rows(const table& t) {
  const auto block = db.blocks.find(t.name);
  if (block != db.blocks.end() && db.find(t.name) == &t) return relation::of(t, *block->second);
  // A table built through the value interface: its cells are made once and
  // kept here, so the relations handed out need no owners.
  auto it = converted_.find(&t);
  if (it == converted_.end()) it = converted_.emplace(&t, relation::of(t)).first;
  relation r = it->second;
  r.owners.clear();
  return r;
}

algo::result algo::eval_project(const text_ref& args) {
  const std::vector<int32_t> commas = top_commas(args);
  std::vector<std::string> names;
  text_ref expr = args;
  if (commas.empty()) {
    names.emplace_back();
  } else {
    expr.r = commas.front();
    const std::string& s = args.idx->text;
    for (std::size_t k = 0; k < commas.size(); ++k) {
      const int32_t from = commas[k] + 1;
      const int32_t to = k + 1 < commas.size() ? commas[k + 1] : args.r;
      names.emplace_back(s, static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    }
  }
  return rel_project(eval(expr), names);
}

algo::result algo::eval_rename(const text_ref& args) {
  const auto [expr, rest] = split_first(args);
  return rel_rename(eval(expr), rename_list(rest.view()));
}

algo::result algo::eval_select(const text_ref& args) {
  const auto [expr, condition] = split_first(args);
  const call_parts cp = split_call(expr);
  if (cp.p >= 0 && expr.view().substr(0, static_cast<std::size_t>(cp.p - expr.l)) == "product") {
    // A selection over a product keeps only the rows that pass, instead of
    // building every combined row first.
    std::unique_ptr<logic> root;
    try {
      root = std::make_unique<logic>(condition);
    } catch (const std::runtime_error&) {
      // The product's own failures come first, as they would unfused.
      eval_binary(cp.operands, '*');
      throw;
    }
    return eval_binary(cp.operands, '*', root.get());
  }
  result t = eval(expr);
  const auto root = std::make_unique<logic>(condition);
  return rel_select(std::move(t), *root);
}

// ---- The handlers and splitters on plain strings ----------------------------------

table algo::union_(std::string args) { return eval_union(text_ref::of(std::move(args))).to_table(); }
table algo::minus(std::string args) { return eval_minus(text_ref::of(std::move(args))).to_table(); }
table algo::product(std::string args) { return eval_product(text_ref::of(std::move(args))).to_table(); }
table algo::project(std::string args) { return eval_project(text_ref::of(std::move(args))).to_table(); }
table algo::rename(std::string args) { return eval_rename(text_ref::of(std::move(args))).to_table(); }
table algo::select(std::string args) { return eval_select(text_ref::of(std::move(args))).to_table(); }

std::pair<std::string, std::string> algo::param2(std::string args) {
  return split_first(std::string_view(args));
}

std::pair<std::string, std::vector<std::string>> algo::paramproj(std::string args) {
  std::pair<std::string, std::vector<std::string>> out;
  std::string cur;
  bool listing = false;
  long depth = 0;
  for (const char c : args) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      if (listing) {
        out.second.push_back(std::move(cur));
        cur.clear();
      }
      listing = true;
      continue;
    }
    (listing ? cur : out.first) += c;
  }
  out.second.push_back(std::move(cur));
  return out;
}

std::pair<std::string, std::vector<std::string>> algo::paramren(std::string args) {
  auto [expr, rest] = split_first(std::string_view(args));
  return {std::move(expr), rename_list(rest)};
}
