// Writing out njoin, intersect and divide: the operands' headers found as
// the reader left them (children before parents, from the end of the node
// list), each call replaced by its definition's nodes in its own slot, and
// the nodes renumbered into reading order at the end. No step recurses.
#include "engine/extended.h"

#include <algorithm>
#include <set>
#include <utility>

#include "engine/schema.h"
#include "engine/show_text.h"

namespace {

// The definitions may add this many nodes per node read, and this many
// more in all: far beyond any query written by hand, while an operand
// copied in calls nested in its own copies stops long before memory does.
constexpr std::size_t kGrowth = 8;
constexpr std::size_t kSlack = 100000;

// The first name that occurs twice, or null.
const std::string* repeated(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  for (const std::string& n : names) {
    if (!seen.insert(n).second) return &n;
  }
  return nullptr;
}

bool contains(const std::vector<std::string>& names, const std::string& n) {
  return std::find(names.begin(), names.end(), n) != names.end();
}

std::string listed(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t k = 0; k < names.size(); ++k) out += (k > 0 ? ", " : "") + visible_text(names[k]);
  return names.empty() ? "no columns" : out;
}

class definer {
 public:
  explicit definer(plan& p) : p_(p), limit_(p.nodes.size() * kGrowth + kSlack) {}

  void run(const std::vector<int32_t>& calls) {
    const std::size_t read = p_.nodes.size();
    std::vector<bool> is_call(read, false);
    for (const int32_t c : calls) is_call[static_cast<std::size_t>(c)] = true;
    // Room for the definitions of calls over small operands, without moving
    // every schema again and again as they are added.
    s_.reserve(read + calls.size() * 12);
    s_.resize(read);
    weight_.resize(read, 0);
    for (std::size_t i = read; i-- > 0;) {
      const auto at = static_cast<int32_t>(i);
      if (is_call[i]) {
        define(at);
      } else {
        settle(at);
      }
    }
    renumber();
  }

 private:
  plan& p_;
  std::size_t limit_;
  std::vector<node_schema> s_;       // by node
  std::vector<std::size_t> weight_;  // the nodes of each node's tree
  source_span span_;                 // of the call being written out
  extended_op op_ = extended_op::none;

  // Finds node i's schema and weight, its operands' being known.
  void settle(int32_t i) {
    const plan_node& n = p_.node(i);
    std::size_t w = 1;
    if (n.left >= 0) w += weight_[static_cast<std::size_t>(n.left)];
    if (n.right >= 0) w += weight_[static_cast<std::size_t>(n.right)];
    weight_[static_cast<std::size_t>(i)] = w;
    s_[static_cast<std::size_t>(i)] = node_schema_of(p_, i, s_);
  }

  // A node of the definition, or with `at` the one that stands for the
  // call, in the call's own slot.
  int32_t add(plan_op op, int32_t left, int32_t right, int32_t arg, int32_t at = -1) {
    plan_node n;
    n.op = op;
    n.origin = at >= 0 ? node_origin::call : node_origin::definition;
    n.ext = op_;
    n.span = span_;
    n.left = left;
    n.right = right;
    n.arg = arg;
    if (at < 0) {
      at = static_cast<int32_t>(p_.nodes.size());
      p_.nodes.push_back(n);
      s_.emplace_back();
      weight_.push_back(0);
    } else {
      p_.nodes[static_cast<std::size_t>(at)] = n;
    }
    settle(at);
    return at;
  }

  int32_t names(const std::vector<std::string>& list) {
    std::vector<plan_name> out;
    out.reserve(list.size());
    for (const std::string& n : list) out.push_back({n, span_});
    p_.name_lists.push_back(std::move(out));
    p_.name_list_spans.push_back(span_);
    return static_cast<int32_t>(p_.name_lists.size()) - 1;
  }

  int32_t message(std::string text) {
    p_.messages.push_back(std::move(text));
    p_.message_spans.push_back(span_);
    p_.message_suggestions.emplace_back();
    return static_cast<int32_t>(p_.messages.size()) - 1;
  }

  // AND(EQ(x1, y1), AND(EQ(x2, y2), ...)) over column names.
  int32_t equalities(const std::vector<std::pair<std::string, std::string>>& pairs) {
    cond_tree& t = p_.conds;
    const auto node = [&](cond_op op, int32_t left, int32_t right) {
      cond_node c;
      c.op = op;
      c.keyword = std::string(keyword_name(op));
      c.span = span_;
      c.left = left;
      c.right = right;
      t.nodes.push_back(std::move(c));
      return static_cast<int32_t>(t.nodes.size()) - 1;
    };
    int32_t root = -1;
    for (std::size_t k = pairs.size(); k-- > 0;) {
      const int32_t eq = node(cond_op::eq, -1, -1);
      t.nodes[static_cast<std::size_t>(eq)].operands = static_cast<int32_t>(t.operands.size());
      for (const std::string* name : {&pairs[k].first, &pairs[k].second}) {
        cond_operand o;
        o.is_literal = false;
        o.is_int = false;
        o.text = *name;
        o.span = span_;
        t.operands.push_back(std::move(o));
      }
      root = root < 0 ? eq : node(cond_op::and_, eq, root);
    }
    p_.max_condition_depth = std::max<uint32_t>(p_.max_condition_depth, static_cast<uint32_t>(pairs.size()));
    p_.conditions.push_back({root, -1});
    return static_cast<int32_t>(p_.conditions.size()) - 1;
  }

  // A copy of the tree at `root`, with its schemas.
  int32_t copy(int32_t root) {
    struct item {
      int32_t from;
      int32_t parent;
      bool right;
    };
    std::vector<item> stack{{root, -1, false}};
    int32_t top = -1;
    while (!stack.empty()) {
      const item it = stack.back();
      stack.pop_back();
      const auto at = static_cast<int32_t>(p_.nodes.size());
      const plan_node n = p_.node(it.from);
      node_schema s = s_[static_cast<std::size_t>(it.from)];
      const std::size_t w = weight_[static_cast<std::size_t>(it.from)];
      p_.nodes.push_back(n);
      s_.push_back(std::move(s));
      weight_.push_back(w);
      if (it.parent < 0) {
        top = at;
      } else {
        plan_node& parent = p_.nodes[static_cast<std::size_t>(it.parent)];
        (it.right ? parent.right : parent.left) = at;
      }
      if (n.right >= 0) stack.push_back({n.right, at, true});
      if (n.left >= 0) stack.push_back({n.left, at, false});
    }
    return top;
  }

  // The call at i fails, once its operands are evaluated.
  void refuse(int32_t i, int32_t a, int32_t b, std::string text) {
    add(plan_op::fail, a, b, message(std::move(text)), i);
  }

  void define(int32_t i) {
    const plan_node call = p_.node(i);
    span_ = call.span;
    op_ = call.ext;
    const int32_t a = call.left;
    const int32_t b = call.right;
    const node_schema sa = s_[static_cast<std::size_t>(a)];
    const node_schema sb = s_[static_cast<std::size_t>(b)];
    const std::string name(extended_name(op_));
    if (!sa.ok || !sb.ok) {
      // The failing operand fails first; this message is never met.
      refuse(i, a, b, name + ": an operand has no result");
      return;
    }
    // The copies of the first operand, and the nodes of the definition.
    const std::size_t copies = op_ == extended_op::divide ? 2 : op_ == extended_op::intersect ? 1 : 0;
    if (p_.nodes.size() + copies * weight_[static_cast<std::size_t>(a)] + 16 > limit_) {
      refuse(i, a, b,
             name + ": written out in the six operations, the query would hold more than " +
                 std::to_string(limit_) + " operations (the first operand of " + name +
                 " is copied in its definition, and so is every call nested in it); nest fewer extended "
                 "operations in first operands");
      return;
    }
    switch (op_) {
      case extended_op::njoin: njoin(i, a, b, sa, sb); break;
      case extended_op::intersect: intersect(i, a, b, sa); break;
      case extended_op::divide: divide(i, a, b, sa, sb); break;
      default: break;
    }
  }

  void njoin(int32_t i, int32_t a, int32_t b, const node_schema& sa, const node_schema& sb) {
    for (const auto& [s, which] : {std::pair{&sa, "first"}, std::pair{&sb, "second"}}) {
      if (const std::string* r = repeated(s->colnames)) {
        refuse(i, a, b, "njoin: column " + show_text(*r) + " appears twice in the " + which +
                            " operand; use rename to make the column names distinct");
        return;
      }
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<std::string> taken = sa.colnames;
    taken.insert(taken.end(), sb.colnames.begin(), sb.colnames.end());
    std::vector<std::string> renamed{sb.name};
    for (const std::string& c : sb.colnames) {
      if (!contains(sa.colnames, c)) {
        renamed.push_back(c);
        continue;
      }
      std::string f = fresh_name(c, taken);
      taken.push_back(f);
      pairs.emplace_back(c, f);
      renamed.push_back(std::move(f));
    }
    if (pairs.empty()) {
      add(plan_op::product, a, b, -1, i);
      return;
    }
    const int32_t right = add(plan_op::rename, b, -1, names(renamed));
    const int32_t both = add(plan_op::product, a, right, -1);
    const int32_t agree = add(plan_op::select, both, -1, equalities(pairs));
    const std::set<std::string> columns(taken.begin(), taken.end() - static_cast<std::ptrdiff_t>(pairs.size()));
    add(plan_op::project, agree, -1, names({columns.begin(), columns.end()}), i);
  }

  void intersect(int32_t i, int32_t a, int32_t b, const node_schema& sa) {
    const int32_t again = copy(a);
    const int32_t outside = add(plan_op::minus, again, b, -1);
    const int32_t inside = add(plan_op::minus, a, outside, -1);
    std::vector<std::string> header{sa.name};
    header.insert(header.end(), sa.colnames.begin(), sa.colnames.end());
    add(plan_op::rename, inside, -1, names(header), i);
  }

  void divide(int32_t i, int32_t a, int32_t b, const node_schema& sa, const node_schema& sb) {
    for (const auto& [s, which] : {std::pair{&sa, "dividend"}, std::pair{&sb, "divisor"}}) {
      if (const std::string* r = repeated(s->colnames)) {
        refuse(i, a, b, "divide: column " + show_text(*r) + " appears twice in the " + which +
                            "; use rename to make the column names distinct");
        return;
      }
    }
    std::vector<std::string> missing;
    for (const std::string& c : sb.colnames) {
      if (!contains(sa.colnames, c)) missing.push_back(c);
    }
    if (!missing.empty()) {
      std::string shown;
      for (std::size_t k = 0; k < missing.size(); ++k) {
        shown += (k == 0 ? "" : k + 1 == missing.size() ? " and " : ", ") + show_text(missing[k]);
      }
      const bool one = missing.size() == 1;
      refuse(i, a, b,
             std::string("divide: the divisor's column") + (one ? " " : "s ") + shown +
                 (one ? " is not a column" : " are not columns") + " of the dividend (" + listed(sa.colnames) +
                 "); project the divisor onto columns of the dividend, or rename " + (one ? "it" : "them"));
      return;
    }
    std::vector<std::string> rest;  // X: the dividend's columns the divisor lacks
    for (const std::string& c : sa.colnames) {
      if (!contains(sb.colnames, c)) rest.push_back(c);
    }
    const int32_t x = names(rest);
    const int32_t candidates = add(plan_op::project, a, -1, x);
    const int32_t each = add(plan_op::project, copy(a), -1, x);
    const int32_t wanted = add(plan_op::project, add(plan_op::product, each, b, -1), -1, names(sa.colnames));
    const int32_t lacking = add(plan_op::minus, wanted, copy(a), -1);
    const int32_t failed = add(plan_op::project, lacking, -1, x);
    add(plan_op::minus, candidates, failed, -1, i);
  }

  // Every node before its operands, the left operand's tree before the
  // right's, as the reader numbers them; nodes no longer reached dropped.
  void renumber() {
    std::vector<int32_t> order;
    order.reserve(p_.nodes.size());
    std::vector<int32_t> stack{p_.root};
    while (!stack.empty()) {
      const int32_t i = stack.back();
      stack.pop_back();
      order.push_back(i);
      const plan_node& n = p_.node(i);
      if (n.right >= 0) stack.push_back(n.right);
      if (n.left >= 0) stack.push_back(n.left);
    }
    std::vector<int32_t> index(p_.nodes.size(), -1);
    for (std::size_t k = 0; k < order.size(); ++k) index[static_cast<std::size_t>(order[k])] = static_cast<int32_t>(k);
    std::vector<plan_node> nodes;
    nodes.reserve(order.size());
    for (const int32_t old : order) {
      plan_node n = p_.node(old);
      if (n.left >= 0) n.left = index[static_cast<std::size_t>(n.left)];
      if (n.right >= 0) n.right = index[static_cast<std::size_t>(n.right)];
      nodes.push_back(n);
    }
    p_.nodes = std::move(nodes);
    p_.root = 0;
  }
};

}  // namespace

std::string fresh_name(const std::string& name, const std::vector<std::string>& taken) {
  std::string out = name + "'";
  while (contains(taken, out)) out += "'";
  return out;
}

void define_extended(plan& p, const std::vector<int32_t>& calls) {
  if (calls.empty()) return;
  definer(p).run(calls);
}
