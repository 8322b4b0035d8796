#include "logic.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <stdexcept>

// ---- The text scheme ---------------------------------------------------------

std::string call_operands(std::string_view text) {
  std::string out;
  const std::size_t p = text.find('(');
  if (p == std::string_view::npos) return out;
  out.reserve(text.size() - p);
  long depth = 0;
  for (std::size_t i = p; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ') continue;
    if (c == '(') {
      if (++depth >= 2) out += c;
    } else if (c == ')') {
      if (--depth >= 1) out += c;
    } else if (depth >= 1) {
      out += c;
    }
  }
  return out;
}

std::pair<std::string, std::string> split_first(std::string_view text) {
  std::pair<std::string, std::string> parts;
  std::string* cur = &parts.first;
  long depth = 0;
  for (const char c : text) {
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ',' && depth == 0) {
      cur = &parts.second;
      continue;
    }
    *cur += c;
  }
  return parts;
}

void nest_index::position_bits::finish() {
  int32_t total = 0;
  for (std::size_t w = 0; w < bits_.size(); ++w) {
    before_[w] = total;
    total += std::popcount(bits_[w]);
  }
}

int32_t nest_index::position_bits::rank(int32_t i) const {
  const auto u = static_cast<std::size_t>(i);
  const uint64_t below = (uint64_t{1} << (u % 64)) - 1;
  return before_[u / 64] + std::popcount(bits_[u / 64] & below);
}

int32_t nest_index::position_bits::next(int32_t from, int32_t to) const {
  if (from >= to) return -1;
  auto w = static_cast<std::size_t>(from) / 64;
  uint64_t word = bits_[w] & (~uint64_t{0} << (static_cast<std::size_t>(from) % 64));
  const std::size_t last = static_cast<std::size_t>(to - 1) / 64;
  while (word == 0) {
    if (++w > last) return -1;
    word = bits_[w];
  }
  const auto at = static_cast<int32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
  return at < to ? at : -1;
}

nest_index::nest_index(std::string s)
    : text(std::move(s)), opens(text.size()), closes(text.size()) {
  const std::size_t n = text.size();
  std::vector<int32_t> stack;
  std::vector<int32_t> comma_depth;
  int32_t d = 0;
  int32_t deepest = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    const auto at = static_cast<int32_t>(i);
    if (c == ' ') plain = false;
    if (c == '(') {
      stack.push_back(static_cast<int32_t>(closer.size()));
      opens.set(i);
      closer.push_back(-1);
      ++d;
    } else if (c == ')') {
      closes.set(i);
      if (!stack.empty()) {
        closer[static_cast<std::size_t>(stack.back())] = at;
        stack.pop_back();
      }
      if (--d < 0) plain = false;
    } else if (c == ',' && d >= 0) {
      comma_at.push_back(at);
      comma_depth.push_back(d);
      deepest = std::max(deepest, d);
    }
  }
  // Group the commas by depth (a counting sort keeps each group ascending).
  comma_from.assign(static_cast<std::size_t>(deepest) + 2, 0);
  for (const int32_t cd : comma_depth) ++comma_from[static_cast<std::size_t>(cd) + 1];
  for (std::size_t k = 1; k < comma_from.size(); ++k) comma_from[k] += comma_from[k - 1];
  std::vector<int32_t> grouped(comma_at.size());
  std::vector<int32_t> next(comma_from.begin(), comma_from.end() - 1);
  for (std::size_t k = 0; k < comma_at.size(); ++k) {
    grouped[static_cast<std::size_t>(next[static_cast<std::size_t>(comma_depth[k])]++)] = comma_at[k];
  }
  comma_at.swap(grouped);
  opens.finish();
  closes.finish();
}

int32_t nest_index::depth(int32_t i) const { return opens.rank(i) - closes.rank(i); }

text_ref text_ref::of(std::string s) {
  text_ref t;
  t.r = static_cast<int32_t>(s.size());
  t.idx = std::make_shared<const nest_index>(std::move(s));
  return t;
}

call_parts split_call(const text_ref& t) {
  call_parts cp;
  const nest_index& x = *t.idx;
  const int32_t open = x.opens.next(t.l, t.r);
  if (open < 0) return cp;
  cp.p = open;
  const int32_t q = x.closer[static_cast<std::size_t>(x.opens.rank(open))];
  // A call closed inside the piece with no later "(" keeps its operands as
  // a view; anything else takes the general rule.
  if (x.plain && q >= 0 && q < t.r && x.opens.next(q + 1, t.r) < 0) {
    cp.operands = text_ref{t.idx, cp.p + 1, q};
    return cp;
  }
  cp.operands = text_ref::of(call_operands(t.view()));
  return cp;
}

namespace {

// The commas of depth 0 in t, as positions in its index, or nullopt-like
// empty range. Only valid for plain indexes.
std::pair<const int32_t*, const int32_t*> top_range(const text_ref& t) {
  const nest_index& x = *t.idx;
  const int32_t d = x.depth(t.l);
  if (d < 0 || static_cast<std::size_t>(d) + 1 >= x.comma_from.size()) return {nullptr, nullptr};
  const int32_t* first = x.comma_at.data() + x.comma_from[static_cast<std::size_t>(d)];
  const int32_t* last = x.comma_at.data() + x.comma_from[static_cast<std::size_t>(d) + 1];
  const int32_t* b = std::lower_bound(first, last, t.l);
  const int32_t* e = std::lower_bound(b, last, t.r);
  return {b, e};
}

}  // namespace

std::pair<text_ref, text_ref> split_first(const text_ref& t) {
  if (!t.idx->plain) {
    auto parts = split_first(t.view());
    return {text_ref::of(std::move(parts.first)), text_ref::of(std::move(parts.second))};
  }
  const auto [b, e] = top_range(t);
  if (b == e) return {t, text_ref{t.idx, t.r, t.r}};
  const text_ref first{t.idx, t.l, *b};
  if (e - b == 1) return {first, text_ref{t.idx, *b + 1, t.r}};
  // Later top-level commas are dropped: the second part is the pieces
  // between them, run together.
  std::string rest;
  const std::string& s = t.idx->text;
  for (const int32_t* c = b; c != e; ++c) {
    const int32_t from = *c + 1;
    const int32_t to = (c + 1 != e) ? *(c + 1) : t.r;
    rest.append(s, static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
  }
  return {first, text_ref::of(std::move(rest))};
}

std::vector<int32_t> top_commas(const text_ref& t) {
  if (!t.idx->plain) {
    std::vector<int32_t> out;
    long depth = 0;
    const std::string_view v = t.view();
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (v[i] == '(') ++depth;
      if (v[i] == ')') --depth;
      if (v[i] == ',' && depth == 0) out.push_back(t.l + static_cast<int32_t>(i));
    }
    return out;
  }
  const auto [b, e] = top_range(t);
  return std::vector<int32_t>(b, e);
}

std::string show_text(std::string_view text) {
  constexpr std::size_t limit = 120;
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 32 || c == 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '\'';
  if (text.size() > limit) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

// ---- Parsing -------------------------------------------------------------------

namespace {

[[noreturn]] void not_a_predicate(std::string_view text) {
  throw std::runtime_error(
      "select: " + show_text(text) +
      " is not a predicate; write NOT(P), AND(P,Q), OR(P,Q) or a comparison "
      "EQ, NEQ, LT, LTE, GT or GTE of two operands, such as EQ(a,1)");
}

}  // namespace

logic::logic(std::string text) {
  const std::size_t p = text.find('(');
  if (p == std::string::npos) not_a_predicate(text);
  op = text.substr(0, p);
  build(text_ref::of(call_operands(text)));
}

logic::logic(const text_ref& text) {
  const call_parts cp = split_call(text);
  if (cp.p < 0) not_a_predicate(text.view());
  op.assign(text.idx->text, static_cast<std::size_t>(text.l),
            static_cast<std::size_t>(cp.p - text.l));
  build(cp.operands);
}

void logic::build(const text_ref& operands) {
  if (op == "NOT") {
    left = std::make_unique<logic>(operands);
    return;
  }
  const auto [a, b] = split_first(operands);
  if (op == "AND" || op == "OR") {
    left = std::make_unique<logic>(a);
    right = std::make_unique<logic>(b);
    return;
  }
  operand(std::string(a.view()), lname, lval);
  operand(std::string(b.view()), rname, rval);
}

void logic::operand(const std::string& text, std::unique_ptr<std::string>& name,
                    std::unique_ptr<t_object>& value) {
  if (!text.empty() && text[0] == '\'') {
    value = std::make_unique<t_object>(text);
  } else if (logic::isint_text(text)) {
    value = std::make_unique<t_object>(static_cast<int>(text_to_int(text)));
  } else {
    name = std::make_unique<std::string>(text);
  }
}

bool logic::isint_text(std::string_view s) {
  if (text_to_int(s) != 0) return true;
  return std::all_of(s.begin(), s.end(), [](char c) { return c == '0'; });
}

bool logic::isint(std::string s) const { return isint_text(s); }

logic::~logic() {
  // Children are released iteratively, so a very deep tree cannot exhaust
  // the stack on the way down.
  std::vector<std::unique_ptr<logic>> pending;
  if (left) pending.push_back(std::move(left));
  if (right) pending.push_back(std::move(right));
  while (!pending.empty()) {
    std::unique_ptr<logic> n = std::move(pending.back());
    pending.pop_back();
    if (n->left) pending.push_back(std::move(n->left));
    if (n->right) pending.push_back(std::move(n->right));
  }
  lname.reset();
  rname.reset();
  lval.reset();
  rval.reset();
}

// ---- Evaluation ---------------------------------------------------------------------

namespace {

enum class keyword { not_, and_, or_, eq, neq, lt, lte, gt, gte, other };

keyword classify(const std::string& op) {
  if (op == "NOT") return keyword::not_;
  if (op == "AND") return keyword::and_;
  if (op == "OR") return keyword::or_;
  if (op == "EQ") return keyword::eq;
  if (op == "NEQ") return keyword::neq;
  if (op == "LT") return keyword::lt;
  if (op == "LTE") return keyword::lte;
  if (op == "GT") return keyword::gt;
  if (op == "GTE") return keyword::gte;
  return keyword::other;
}

bool compare(keyword k, const t_object& x, const t_object& y) {
  switch (k) {
    case keyword::eq: return x == y;
    case keyword::neq: return x != y;
    case keyword::lt: return x < y;
    case keyword::lte: return x <= y;
    case keyword::gt: return x > y;
    case keyword::gte: return x >= y;
    default: return true;
  }
}

}  // namespace

bool logic::verify(binding* row) {
  const keyword k = classify(op);
  switch (k) {
    case keyword::not_: return !left->verify(row);
    case keyword::and_: return left->verify(row) && right->verify(row);
    case keyword::or_: return left->verify(row) || right->verify(row);
    case keyword::other: return true;
    default: break;
  }
  const t_object& x = lval ? *lval : row->try_emplace(*lname).first->second;
  const t_object& y = rval ? *rval : row->try_emplace(*rname).first->second;
  return compare(k, x, y);
}

// ---- Compiled evaluation ----------------------------------------------------------------

namespace {
const cell kZeroCell = cell::of_int(0);
}

bound_predicate::bound_predicate(const logic& root, const std::vector<std::string>& colnames) {
  std::map<std::string, std::vector<int32_t>> where;
  for (std::size_t i = 0; i < colnames.size(); ++i) {
    where[colnames[i]].push_back(static_cast<int32_t>(i));
  }
  root_ = compile(root, where);
}

int32_t bound_predicate::compile(const logic& n,
                                 const std::map<std::string, std::vector<int32_t>>& where) {
  const auto i = static_cast<int32_t>(nodes_.size());
  nodes_.emplace_back();
  node nd;
  switch (classify(n.op)) {
    case keyword::not_:
      nd.k = k_not;
      nd.a = compile(*n.left, where);
      break;
    case keyword::and_:
    case keyword::or_:
      nd.k = n.op == "AND" ? k_and : k_or;
      nd.a = compile(*n.left, where);
      nd.b = compile(*n.right, where);
      break;
    case keyword::other:
      nd.k = k_true;
      break;
    default: {
      static const kind kinds[] = {k_eq, k_neq, k_lt, k_lte, k_gt, k_gte};
      nd.k = kinds[static_cast<int>(classify(n.op)) - static_cast<int>(keyword::eq)];
      nd.x = resolve(n.lname.get(), n.lval.get(), where);
      nd.y = resolve(n.rname.get(), n.rval.get(), where);
    }
  }
  nodes_[static_cast<std::size_t>(i)] = nd;
  return i;
}

bound_predicate::arg bound_predicate::resolve(
    const std::string* name, const t_object* value,
    const std::map<std::string, std::vector<int32_t>>& where) {
  arg a;
  if (value != nullptr) {
    // A view of the literal, which the predicate tree keeps alive.
    a.is_literal = true;
    a.literal = cell::of(*value);
    return a;
  }
  const auto it = where.find(*name);
  if (it == where.end()) {
    a.is_literal = true;
    a.literal = kZeroCell;
    return a;
  }
  a.column = it->second.back();
  if (it->second.size() > 1) {
    a.alias = static_cast<int32_t>(aliases_.size());
    aliases_.push_back(it->second);
  }
  return a;
}

const cell& bound_predicate::fetch(const arg& a, const cell* row, uint32_t width) const {
  if (a.is_literal) return a.literal;
  if (static_cast<uint32_t>(a.column) < width) return row[a.column];
  // A short row binds only its leading columns: take the last column of this
  // name that the row reaches, if any.
  if (a.alias >= 0) {
    const std::vector<int32_t>& all = aliases_[static_cast<std::size_t>(a.alias)];
    for (auto p = all.rbegin(); p != all.rend(); ++p) {
      if (static_cast<uint32_t>(*p) < width) return row[*p];
    }
  }
  return kZeroCell;
}

bool bound_predicate::eval(int32_t i, const cell* row, uint32_t width) const {
  const node& n = nodes_[static_cast<std::size_t>(i)];
  switch (n.k) {
    case k_not: return !eval(n.a, row, width);
    case k_and: return eval(n.a, row, width) && eval(n.b, row, width);
    case k_or: return eval(n.a, row, width) || eval(n.b, row, width);
    case k_eq: return cell_eq(fetch(n.x, row, width), fetch(n.y, row, width));
    case k_neq: return !cell_eq(fetch(n.x, row, width), fetch(n.y, row, width));
    case k_lt: return cell_lt(fetch(n.x, row, width), fetch(n.y, row, width));
    case k_lte: return !cell_lt(fetch(n.y, row, width), fetch(n.x, row, width));
    case k_gt: return cell_lt(fetch(n.y, row, width), fetch(n.x, row, width));
    case k_gte: return !cell_lt(fetch(n.x, row, width), fetch(n.y, row, width));
    case k_true: return true;
  }
  return true;
}

bool bound_predicate::test(const cell* row, uint32_t width) const { return eval(root_, row, width); }

bool bound_predicate::test(const std::vector<t_object>& row) const {
  std::vector<cell> cells;
  cells.reserve(row.size());
  for (const t_object& v : row) cells.push_back(cell::of(v));
  return test(cells.data(), static_cast<uint32_t>(cells.size()));
}
