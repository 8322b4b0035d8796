// What a query means to the prover: the rows it gives, written as unions of
// conjunctive queries with comparisons, combined by AND, OR and NOT where a
// difference (minus) stands. Everything here is plain data; normalize.h
// builds it from a plan and cases.h expands it into the cases a proof
// checks.
//
// Numbering conventions (the certificate's checker relies on them):
// - A conjunct's atoms are its table occurrences, left to right as the query
//   names them (a product's left operand first). Unification never removes
//   or reorders atoms.
// - The disjuncts of a union are its left operand's, then its right's; of a
//   product, every pair (left outer, right inner); of a selection, for each
//   disjunct of its operand (outer) every disjunct of its condition (inner).
//   A disjunct found unsatisfiable keeps its place, marked dead.
#ifndef RELALG_PROVE_FORM_H
#define RELALG_PROVE_FORM_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalog.h"

namespace prove {

// The two kinds of cells: an `int` column holds integers, any other column
// strings.
enum class kind : uint8_t { integer, text };

// A constant: a 32-bit integer or a byte string.
struct value {
  kind k = kind::integer;
  int32_t i = 0;
  std::string s;

  static value of_int(int32_t n) { return value{kind::integer, n, {}}; }
  static value of_text(std::string t) { return value{kind::text, 0, std::move(t)}; }
  bool operator==(const value& o) const { return k == o.k && i == o.i && s == o.s; }
};

// Orders constants of one kind as the language does (integers by value,
// strings by unsigned bytes); integers before strings. <0, 0 or >0.
int compare_values(const value& a, const value& b);

// A term: a variable (one cell of one table occurrence) or a constant.
struct term {
  kind k = kind::integer;
  bool constant = false;
  value v;              // a constant's value
  int32_t atom = -1;    // a variable's occurrence and column, for descriptions
  int32_t column = -1;
};

// Comparisons between terms of one kind. The others are written with these:
// GT(x,y) is lt(y,x), GTE(x,y) is le(y,x).
enum class rel : uint8_t { eq, ne, lt, le };

struct comparison {
  rel r = rel::eq;
  int32_t a = -1;
  int32_t b = -1;
};

// A table occurrence: the table, and the term in each of its columns.
struct atom {
  const stored_table* table = nullptr;
  std::vector<int32_t> args;
};

// A conjunctive query with comparisons: its rows are the heads of the
// assignments that put every atom's row in its table and satisfy every
// comparison. Once compacted, equal terms are one term and `comps` holds
// only ne, lt and le.
struct conjunct {
  std::vector<term> terms;
  std::vector<atom> atoms;
  std::vector<int32_t> head;
  std::vector<comparison> comps;
  bool dead = false;  // no assignment satisfies it

  int32_t add(term t) {
    terms.push_back(std::move(t));
    return static_cast<int32_t>(terms.size()) - 1;
  }
  int32_t add_constant(const value& v) {
    term t;
    t.k = v.k;
    t.constant = true;
    t.v = v;
    return add(std::move(t));
  }
};

// Applies the equalities of `comps`: terms made equal become one (a
// constant when the class holds one), constants of one value are one term,
// comparisons of two constants are decided, and a conjunct that cannot hold
// (two constants made equal, a false comparison) is marked dead. Atoms and
// their order stay; `map`, when given, receives each old term's new index.
void compact(conjunct& c, std::vector<int32_t>* map = nullptr);

// A union of conjunctive queries over one output layout.
struct ucq {
  std::vector<kind> kinds;
  std::vector<conjunct> disjuncts;
};

// An operand of a comparison in a formula: a position of the output row, or
// a constant.
struct operand {
  bool constant = false;
  int32_t position = -1;
  value v;
};

// A leaf of a formula: a comparison of two operands, or whether the output
// positions `args` (in order) form a row of ucq number `ucq`.
struct leaf {
  bool member = false;
  bool negated = false;  // memberships only; a comparison is negated by its relation
  rel r = rel::eq;
  operand a, b;
  int32_t ucq = -1;
  std::vector<int32_t> args;
};

// A formula over the output row, as a tree in a flat vector.
struct formula {
  enum class op : uint8_t { truth, falsity, leaf, and_, or_, not_ };
  struct node {
    op o = op::truth;
    int32_t a = -1;  // and_, or_, not_: operands
    int32_t b = -1;
    int32_t leaf = -1;
  };
  std::vector<node> nodes;
  std::vector<leaf> leaves;

  int32_t add(node n) {
    nodes.push_back(n);
    return static_cast<int32_t>(nodes.size()) - 1;
  }
  int32_t add_leaf(leaf l) {
    leaves.push_back(std::move(l));
    return add({op::leaf, -1, -1, static_cast<int32_t>(leaves.size()) - 1});
  }
  int32_t truth() { return add({op::truth, -1, -1, -1}); }
  int32_t falsity() { return add({op::falsity, -1, -1, -1}); }
  int32_t both(int32_t x, int32_t y) { return add({op::and_, x, y, -1}); }
  int32_t either(int32_t x, int32_t y) { return add({op::or_, x, y, -1}); }
  int32_t negation(int32_t x) { return add({op::not_, x, -1, -1}); }
};

// A disjunctive normal form: a disjunction of conjunctions of leaves (a
// membership negated, or a comparison with the relation that holds).
using dnf = std::vector<std::vector<leaf>>;

// A query as the prover reads it: the output row's kinds, the unions of
// conjunctive queries its memberships name, and the formula that holds
// exactly for the rows of its result. A query without minus is one
// membership of one ucq.
struct query_form {
  std::vector<kind> kinds;
  std::vector<ucq> ucqs;
  formula phi;
  int32_t root = -1;  // of phi
  // When the result keeps a table's rows in order with repeats (a table
  // under selections and renamings only): that table. Else the result is
  // sorted and free of repeats.
  const stored_table* ordered = nullptr;
};

}  // namespace prove

#endif
