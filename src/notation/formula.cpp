// The formula writer: the plan and its conditions walked with an explicit
// stack of pieces still to write, each either text or a node whose
// pieces are pushed in its place, so that nesting costs no recursion.
//
// Parentheses: a unary operator's operand always stands in its own
// parentheses, as textbooks write it, so a unary operator needs none
// around it. A binary operand of a binary operator is put in parentheses
// unless it is the same operator and no reading can differ: union and
// product are associative (R ∪ S ∪ T either way), and a difference on the
// left of a difference reads from the left (R − S − T). In conditions ¬
// binds tightest; ∧ and ∨ each chain without parentheses, and one inside
// the other is always put in parentheses, which readers need more than the
// rule that ∧ binds tighter.
#include <string>
#include <vector>

#include "notation/notation.h"
#include "notation/style.h"

namespace relalg_notation {

std::optional<notation_form> notation_named(std::string_view name) {
  if (name == "unicode") return notation_form::unicode;
  if (name == "latex") return notation_form::latex;
  return std::nullopt;
}

namespace {

struct piece {
  enum class kind : uint8_t { text, node, cond } k = kind::text;
  int32_t index = -1;
  std::string text;
};

bool is_binary(plan_op op) { return op == plan_op::union_ || op == plan_op::minus || op == plan_op::product; }

bool is_connective(cond_op op) { return op == cond_op::and_ || op == cond_op::or_; }

// The number of columns of each node's result. A node's operands come after
// it in the plan's node list, so one pass from the end finds them all.
std::vector<std::size_t> widths(const plan& p) {
  std::vector<std::size_t> w(p.nodes.size(), 0);
  for (std::size_t i = p.nodes.size(); i-- > 0;) {
    const plan_node& n = p.nodes[i];
    const auto of = [&](int32_t child) { return child >= 0 ? w[static_cast<std::size_t>(child)] : 0; };
    switch (n.op) {
      case plan_op::table: w[i] = p.table_of(n).colnames.size(); break;
      case plan_op::project: w[i] = p.names_of(n).size(); break;
      case plan_op::product: w[i] = of(n.left) + of(n.right); break;
      case plan_op::union_:
      case plan_op::minus:
      case plan_op::rename:
      case plan_op::select: w[i] = of(n.left); break;
      case plan_op::fail:
      case plan_op::join: break;
    }
  }
  return w;
}

class writer {
 public:
  writer(const plan& p, notation_form form) : p_(p), form_(form), s_(style_of(form)), widths_(widths(p)) {}

  std::string run() {
    std::string out;
    if (p_.root < 0) return out;
    todo_.push_back({piece::kind::node, p_.root, {}});
    while (!todo_.empty()) {
      piece next = std::move(todo_.back());
      todo_.pop_back();
      switch (next.k) {
        case piece::kind::text: out += next.text; break;
        case piece::kind::node: node(next.index); break;
        case piece::kind::cond: cond(next.index); break;
      }
    }
    return out;
  }

 private:
  const plan& p_;
  notation_form form_;
  const style& s_;
  std::vector<std::size_t> widths_;  // columns of each node's result
  std::vector<piece> todo_;  // the top is written next
  std::vector<piece> pending_;  // the pieces of the node being expanded, in order

  void text(std::string_view t) { pending_.push_back({piece::kind::text, -1, std::string(t)}); }
  void sub_node(int32_t i) { pending_.push_back({piece::kind::node, i, {}}); }
  void sub_cond(int32_t i) { pending_.push_back({piece::kind::cond, i, {}}); }
  void flush() {
    for (std::size_t k = pending_.size(); k-- > 0;) todo_.push_back(std::move(pending_[k]));
    pending_.clear();
  }

  void operand(int32_t child, bool parenthesised) {
    if (parenthesised) text("(");
    sub_node(child);
    if (parenthesised) text(")");
  }

  std::string names(const std::vector<plan_name>& list, std::size_t first, std::size_t count) const {
    std::string out;
    for (std::size_t k = first; k < first + count && k < list.size(); ++k) {
      if (k > first) out += ", ";
      out += name_text(list[k].text, form_);
    }
    return out;
  }

  void node(int32_t i) {
    const plan_node& n = p_.node(i);
    switch (n.op) {
      case plan_op::table: text(name_text(p_.table_of(n).name, form_)); break;
      case plan_op::union_:
      case plan_op::minus:
      case plan_op::product: {
        const plan_op left = p_.node(n.left).op;
        const plan_op right = p_.node(n.right).op;
        const bool associative = n.op != plan_op::minus;
        operand(n.left, is_binary(left) && left != n.op);
        text(n.op == plan_op::union_ ? s_.union_ : n.op == plan_op::minus ? s_.minus : s_.product);
        operand(n.right, is_binary(right) && !(associative && right == n.op));
        break;
      }
      case plan_op::project: {
        const std::vector<plan_name>& list = p_.names_of(n);
        text(std::string(s_.project_open) + names(list, 0, list.size()) + std::string(s_.middle));
        operand(n.left, false);
        text(")");
        break;
      }
      case plan_op::rename: {
        // The new table name, then one name per column: names beyond them
        // are not read.
        const std::vector<plan_name>& list = p_.names_of(n);
        const std::size_t columns = widths_[static_cast<std::size_t>(n.left)];
        std::string sub = list.empty() ? std::string() : name_text(list[0].text, form_);
        if (columns > 0) {
          sub += '(';
          sub += names(list, 1, columns);
          sub += ')';
        }
        text(std::string(s_.rename_open) + sub + std::string(s_.middle));
        operand(n.left, false);
        text(")");
        break;
      }
      case plan_op::select:
        text(s_.select_open);
        sub_cond(p_.condition_of(n).root);
        text(s_.middle);
        operand(n.left, false);
        text(")");
        break;
      case plan_op::fail:
      case plan_op::join:
        // Not in a plan that has a result, as read.
        text("?");
        break;
    }
    flush();
  }

  void comparison(const cond_node& c, std::string_view symbol) {
    text(operand_text(p_.conds.x(c)) + std::string(symbol) + operand_text(p_.conds.y(c)));
  }

  std::string operand_text(const cond_operand& o) const {
    if (!o.is_literal) return name_text(o.text, form_);
    return o.is_int ? integer_text(o.ival) : string_text(o.text, form_);
  }

  void cond(int32_t i) {
    const cond_node& c = p_.cond(i);
    switch (c.op) {
      case cond_op::not_: {
        const cond_op inner = p_.cond(c.left).op;
        const bool bare = inner == cond_op::not_ || inner == cond_op::other;
        text(s_.not_);
        if (!bare) text("(");
        sub_cond(c.left);
        if (!bare) text(")");
        break;
      }
      case cond_op::and_:
      case cond_op::or_: {
        const auto side = [&](int32_t child) {
          const cond_op op = p_.cond(child).op;
          const bool parenthesised = is_connective(op) && op != c.op;
          if (parenthesised) text("(");
          sub_cond(child);
          if (parenthesised) text(")");
        };
        side(c.left);
        text(c.op == cond_op::and_ ? s_.and_ : s_.or_);
        side(c.right);
        break;
      }
      case cond_op::eq: comparison(c, s_.eq); break;
      case cond_op::neq: comparison(c, s_.neq); break;
      case cond_op::lt: comparison(c, s_.lt); break;
      case cond_op::lte: comparison(c, s_.lte); break;
      case cond_op::gt: comparison(c, s_.gt); break;
      case cond_op::gte: comparison(c, s_.gte); break;
      case cond_op::other: text(s_.always_true); break;
      case cond_op::fail: text("?"); break;
    }
    flush();
  }
};

}  // namespace

std::string write_formula(const plan& p, notation_form form) { return writer(p, form).run(); }

}  // namespace relalg_notation
