// An independent checker of the prover's certificates. It shares no code
// with the prover: it reads both plans again into its own model (columns,
// kinds and the language's comparison rules written out anew), expands the
// containments into cases by the documented numbering, lays out every
// preorder of each case's terms itself (ordered set partitions, filtered),
// and accepts a case only when, in each preorder, one of the certificate's
// maps is a homomorphism it checks term by term. Only the engine's parser
// is shared, for the plans.
#ifndef RELALG_TESTS_PROVE_CHECKER_H
#define RELALG_TESTS_PROVE_CHECKER_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/plan.h"

namespace proofcheck {

// The empty string when `certificate` shows that a and b, read against the
// same tables, print the same result (rows_only: the same row lines) on
// every database; else what is wrong with it.
std::string check(const plan& a, const plan& b, bool rows_only, const std::string& certificate);

// The checker's model of a query, built by checker_model.cpp.
enum class kd { num, str };

struct operand {
  bool constant = false;
  int pos = -1;  // an output position
  kd k = kd::num;
  int32_t n = 0;
  std::string s;
};

// A comparison (op EQ, NEQ, LT, LTE, GT or GTE, operands of one kind) or a
// membership of output positions in union number `set`.
struct literal {
  bool member = false;
  bool negated = false;
  cond_op op = cond_op::eq;
  operand x, y;
  int set = -1;
  std::vector<int> args;
};

struct fnode {
  enum class t { yes, no, lit, all, any, neg } what = t::yes;
  int a = -1, b = -1, lit = -1;
};

struct formula {
  std::vector<fnode> nodes;
  std::vector<literal> lits;
};

// A term of a disjunct: a variable or a constant.
struct cterm {
  int var = -1;  // -1: a constant
  kd k = kd::num;
  int32_t n = 0;
  std::string s;
};

struct comparison {
  cond_op op = cond_op::eq;
  cterm x, y;
};

struct disjunct {
  std::vector<kd> var_kinds;
  std::vector<std::string> tables;        // one per atom
  std::vector<std::vector<int>> atom_vars;  // the variable in each column
  std::vector<cterm> head;
  std::vector<comparison> comps;
};

struct model {
  bool readable = true;
  std::string why;  // when not readable
  bool failed = false;
  std::string name;
  std::vector<std::string> colnames, coltypes;
  std::vector<kd> kinds;
  std::vector<std::vector<disjunct>> sets;
  formula phi;
  int root = -1;
  std::string ordered;  // the table whose rows it keeps in order, if any
  bool is_ordered = false;
};

model read_model(const plan& p);

// Conjunctions of literals, by the documented order.
using normal_form = std::vector<std::vector<literal>>;
normal_form normalize(const formula& f, int node, bool negated);

}  // namespace proofcheck

#endif
