// Deciding whether two queries give the same output on every database with
// the tables they were read against: the prover's one door.
//
// Two results are the same when they print the same header line and row
// lines (with rows_only, the same row lines). The prover reads each query
// as unions of conjunctive queries with comparisons, combined by the
// formula its minus operations make (normalize.h), and compares:
// - the headers, from the plans alone;
// - two results sorted and free of repeats (union, minus, product or
//   project at the top, under any selections and renamings) as sets: each
//   contained in the other (cases.h), every case refuted in every preorder
//   of the terms that matter (preorder.h) by a homomorphism (match.h);
// - two results that keep one table's rows in order with repeats (a table
//   under selections and renamings only): the same table, and conditions
//   that keep the same rows, which is the same containment both ways on the
//   rows they keep;
// - one of each kind, or rows of other widths or kinds (rows_only): equal
//   only when neither ever has a row.
//
// It never guesses. `proved` holds on every database; `differs` comes with
// a candidate database, which the caller must run both queries on before
// claiming anything (it shows the difference unless it cannot be written
// as row lines exactly); anything the prover does not model exactly, or a
// search past its bounds, is `undecided`, with the reason.
#ifndef RELALG_PROVE_DECIDE_H
#define RELALG_PROVE_DECIDE_H

#include <cstddef>
#include <string>
#include <vector>

#include "engine/catalog.h"
#include "engine/plan.h"

namespace prove {

struct decide_options {
  bool rows_only = false;  // the header is free; only the row lines count
  // Bounds past which the prover gives up (undecided): preorders examined
  // in all, cases (disjuncts, conjunctions, choices) in any one step, and
  // the steps of the search for maps in all.
  std::size_t preorder_limit = 200000;
  std::size_t case_limit = 5000;
  std::size_t search_limit = 20000000;  // atoms tried by the search for maps
  bool certificate = true;  // write the certificate of a proof
};

enum class verdict { proved, differs, undecided };

// The rows of one table in a candidate database, as row lines.
struct candidate_table {
  const stored_table* table = nullptr;
  std::vector<std::string> rows;
};

struct decision {
  verdict result = verdict::undecided;
  // undecided: why ("outside the fragment: minus under a projection",
  // "gave up after 200000 preorders"); differs: what the database shows.
  std::string reason;
  // proved: the certificate, a JSON object (see the README).
  std::string certificate;
  // differs: every table either query names, by name, with its rows.
  std::vector<candidate_table> database;
  std::size_t preorders = 0;  // examined
  std::size_t cases = 0;      // examined
};

// Decides a and b, two plans read against the same tables (parse_query).
// Never throws but for memory.
decision decide(const plan& a, const plan& b, const decide_options& o = {});

// A header line for a table of a candidate database: NAME(col type, ...),
// or NAME alone for a table without columns.
std::string header_line(const stored_table& t);

}  // namespace prove

#endif
