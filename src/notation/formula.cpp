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
//
// An extended operation (join, njoin, intersect, divide) is written with
// its own symbol, as read (engine/extended_calls.h), not as the nodes that
// define it: ⋈ with its condition in brackets, ⋈, ∩ and ÷, binary
// operators under the same rule (⋈ and ∩ chain; ÷ reads from the left).
#include <string>
#include <vector>

#include "engine/extended_calls.h"
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

// The infix operators: the three of the six and the four extended ones.
enum class infix : uint8_t { none, union_, minus, product, theta_join, natural_join, intersect, divide };

infix infix_of(const plan_node& n) {
  if (n.origin == node_origin::call) {
    switch (n.ext) {
      case extended_op::join: return infix::theta_join;
      case extended_op::njoin: return infix::natural_join;
      case extended_op::intersect: return infix::intersect;
      case extended_op::divide: return infix::divide;
      case extended_op::none: break;
    }
  }
  switch (n.op) {
    case plan_op::union_: return infix::union_;
    case plan_op::minus: return infix::minus;
    case plan_op::product: return infix::product;
    default: return infix::none;
  }
}

// R op S op T reads the same grouped either way.
bool associative(infix k) {
  return k == infix::union_ || k == infix::product || k == infix::natural_join || k == infix::intersect;
}

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

  // A binary operator k between two operands: one that is itself binary
  // in parentheses unless it is the same operator on the left, or on the
  // right of an associative one.
  void infix_pieces(infix k, int32_t left, int32_t right, const std::string& symbol) {
    const infix l = infix_of(p_.node(left));
    const infix r = infix_of(p_.node(right));
    operand(left, l != infix::none && l != k);
    text(symbol);
    operand(right, r != infix::none && !(associative(k) && r == k));
  }

  // An extended call, as written.
  void extended(int32_t i) {
    const written_call c = call_of(p_, i);
    switch (c.op) {
      case extended_op::join: {
        const plan_node& left = p_.node(c.left);
        const infix l = infix_of(left);
        operand(c.left, l != infix::none && l != infix::theta_join);
        text(s_.join_open);
        sub_cond(c.condition);
        text(s_.join_close);
        operand(c.right, infix_of(p_.node(c.right)) != infix::none);
        break;
      }
      case extended_op::njoin: infix_pieces(infix::natural_join, c.left, c.right, std::string(s_.natural_join)); break;
      case extended_op::intersect: infix_pieces(infix::intersect, c.left, c.right, std::string(s_.intersect)); break;
      case extended_op::divide: infix_pieces(infix::divide, c.left, c.right, std::string(s_.divide)); break;
      case extended_op::none: break;
    }
  }

  void node(int32_t i) {
    const plan_node& n = p_.node(i);
    if (n.origin == node_origin::call) {
      extended(i);
      flush();
      return;
    }
    switch (n.op) {
      case plan_op::table: text(name_text(p_.table_of(n).name, form_)); break;
      case plan_op::union_:
      case plan_op::minus:
      case plan_op::product:
        infix_pieces(infix_of(n), n.left, n.right,
                     std::string(n.op == plan_op::union_ ? s_.union_ : n.op == plan_op::minus ? s_.minus : s_.product));
        break;
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
