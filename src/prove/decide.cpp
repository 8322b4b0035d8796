// The decision: failures and headers from the plans, then the queries read
// (normalize.h) and compared by containments, each split into cases
// (cases.h) and each case refuted (refute.h); the first case that holds
// becomes the candidate database, and a proof its certificate.
#include "prove/decide.h"

#include <algorithm>
#include <map>
#include <optional>

#include "engine/schema.h"
#include "prove/certificate.h"
#include "prove/normalize.h"
#include "prove/realize.h"
#include "prove/refute.h"

namespace prove {

namespace {

// Queries larger or deeper than these are not read (they would only make
// the cases explode, and deep ones the recursion).
constexpr std::size_t kMaxNodes = 400;
constexpr uint32_t kMaxDepth = 100;

// A case that holds: where the rows of one query are not all rows of the
// other.
struct witness {
  proof_case c;
  refutation r;
  std::map<const stored_table*, std::vector<std::string>> rows;  // its row lines
};

// The row lines of W's atoms laid out in a preorder, each distinct line
// once; false when some cell cannot be written.
bool row_lines(const conjunct& w, const kind_layout& ints, const kind_layout& texts,
             std::map<const stored_table*, std::vector<std::string>>& out) {
  std::vector<value> values;
  if (!realize(w, ints, texts, values)) return false;
  out.clear();
  for (const atom& at : w.atoms) {
    std::vector<value> cells;
    for (const int32_t t : at.args) cells.push_back(values[static_cast<std::size_t>(t)]);
    std::string line;
    if (!row_line(cells, line)) return false;
    std::vector<std::string>& lines = out[at.table];
    if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
  }
  return true;
}

class prover {
 public:
  prover(const plan& a, const plan& b, const decide_options& o)
      : a_(a), b_(b), o_(o), budget_(o.preorder_limit), steps_(o.search_limit) {}

  decision run() {
    if (a_.nodes.size() > kMaxNodes || b_.nodes.size() > kMaxNodes) {
      return undecided("outside the fragment: a query of more than " + std::to_string(kMaxNodes) + " operations");
    }
    if (std::max({a_.max_depth, b_.max_depth, a_.max_condition_depth, b_.max_condition_depth}) > kMaxDepth) {
      return undecided("outside the fragment: a query nested more than " + std::to_string(kMaxDepth) + " levels deep");
    }
    const std::vector<node_schema> sa = plan_schemas(a_);
    const std::vector<node_schema> sb = plan_schemas(b_);
    const node_schema& ha = sa[static_cast<std::size_t>(a_.root)];
    const node_schema& hb = sb[static_cast<std::size_t>(b_.root)];
    if (!ha.ok && !hb.ok) return undecided("both queries fail: " + ha.error);
    if (!ha.ok || !hb.ok) {
      return differs(std::string(ha.ok ? "the second" : "the first") + " query fails: " + (ha.ok ? hb.error : ha.error));
    }
    if (!o_.rows_only && (ha.name != hb.name || ha.colnames != hb.colnames || ha.coltypes != hb.coltypes)) {
      return differs("the headers differ");
    }
    query_form fa, fb;
    try {
      fa = normalize(a_, sa, o_.case_limit);
      fb = normalize(b_, sb, o_.case_limit);
    } catch (const outside& e) {
      return undecided(std::string("outside the fragment: ") + e.what());
    }
    try {
      if (fa.kinds != fb.kinds) return compare_empty(fa, fb, "the rows differ in width or kinds");
      if (fa.ordered != nullptr && fb.ordered != nullptr) return compare_sets(fa, fb, "ordered");
      if (fa.ordered != nullptr || fb.ordered != nullptr) {
        return compare_empty(fa, fb, "one result keeps a table's rows in order with repeats, the other is sorted");
      }
      return compare_sets(fa, fb, "sets");
    } catch (const outside& e) {
      return undecided(std::string("outside the fragment: ") + e.what());
    }
  }

 private:
  // unwritable: some case holds, but only on databases whose cells no row
  // line can hold.
  enum class outcome { holds, fails, unwritable, gave_up };

  decision undecided(std::string why) {
    decision d = finish();
    d.result = verdict::undecided;
    d.reason = std::move(why);
    return d;
  }

  decision finish() {
    decision d;
    d.preorders = o_.preorder_limit - budget_;
    d.cases = cases_;
    return d;
  }

  // A difference that any database shows: every table without rows.
  decision differs(std::string why) {
    decision d = finish();
    d.result = verdict::differs;
    d.reason = std::move(why);
    for (const stored_table* t : tables()) d.database.push_back({t, {}});
    return d;
  }

  std::vector<const stored_table*> tables() const {
    std::vector<const stored_table*> out(a_.tables.begin(), a_.tables.end());
    out.insert(out.end(), b_.tables.begin(), b_.tables.end());
    std::sort(out.begin(), out.end(), [](const stored_table* x, const stored_table* y) { return x->name < y->name; });
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }

  // Every row of x is a row of y (y null: x has no rows).
  outcome contained(const query_form& x, const query_form* y, int rows_of, int in) {
    certificate_check check;
    check.rows_of = rows_of;
    check.in = in;
    outcome result = outcome::holds;
    std::map<const stored_table*, std::vector<std::string>> rows;
    each_case(x, y, o_.case_limit, [&](proof_case& c) {
      ++cases_;
      refutation r = refute(c, budget_, steps_, [&](const kind_layout& ints, const kind_layout& texts) {
        return row_lines(c.w, ints, texts, rows);
      });
      if (r.result == refutation::outcome::gave_up) {
        result = outcome::gave_up;
        return false;
      }
      if (r.result == refutation::outcome::unusable) {
        result = outcome::unwritable;
        return true;
      }
      if (r.result == refutation::outcome::holds) {
        result = outcome::fails;
        witness_ = witness{std::move(c), std::move(r), std::move(rows)};
        return false;
      }
      if (o_.certificate && !r.maps.empty()) check.cases.push_back(certify(c, r.maps));
      return true;
    });
    checks_.push_back(std::move(check));
    return result;
  }

  decision compare_sets(const query_form& fa, const query_form& fb, const std::string& form) {
    for (const auto& [x, y, one, two] : {std::make_tuple(&fa, &fb, 1, 2), std::make_tuple(&fb, &fa, 2, 1)}) {
      const outcome r = contained(*x, y, one, two);
      if (r == outcome::gave_up) return gave_up();
      if (r == outcome::unwritable) return unwritable();
      if (r == outcome::fails) {
        return found(std::string(one == 1 ? "the first" : "the second") + " query has a row that the " +
                         (one == 1 ? "second" : "first") + " lacks",
                     nullptr);
      }
    }
    return proved(form);
  }

  // Equal only when neither has rows: a table's rows in order (with
  // repeats) against sorted rows, or rows of other widths or kinds.
  // The one that keeps a table's rows is looked at first: rows of it show
  // twice on a database with each of its rows twice, which the other, free
  // of repeats, cannot match; only when it never has rows do the other's
  // rows show the difference on their own.
  decision compare_empty(const query_form& fa, const query_form& fb, const std::string& why) {
    std::vector<std::pair<const query_form*, int>> order{{&fa, 1}, {&fb, 2}};
    if (fa.ordered == nullptr && fb.ordered != nullptr) std::swap(order[0], order[1]);
    for (const auto& [x, one] : order) {
      const outcome r = contained(*x, nullptr, one, 0);
      if (r == outcome::gave_up) return gave_up();
      if (r == outcome::unwritable) return unwritable();
      if (r == outcome::fails) {
        return found(why + "; the " + (one == 1 ? "first" : "second") + " has rows", x->ordered);
      }
    }
    return proved("empty");
  }

  decision unwritable() {
    return undecided("a database that shows a difference needs cells that no row line can hold");
  }

  decision gave_up() {
    if (steps_ == 0) {
      return undecided("gave up after " + std::to_string(o_.search_limit) + " steps of the search for maps");
    }
    const std::size_t n = o_.preorder_limit - budget_;
    return undecided("gave up after " + std::to_string(n) + (n == 1 ? " preorder" : " preorders"));
  }

  decision proved(const std::string& form) {
    decision d = finish();
    d.result = verdict::proved;
    std::sort(checks_.begin(), checks_.end(),
              [](const certificate_check& x, const certificate_check& y) { return x.rows_of < y.rows_of; });
    if (o_.certificate) d.certificate = write_certificate(form, o_.rows_only, d.preorders, d.cases, checks_);
    return d;
  }

  // The witness as a database. A table whose rows a result keeps in order
  // gets each of its rows twice, since the other result has no repeats.
  decision found(const std::string& why, const stored_table* twice) {
    decision d = finish();
    d.result = verdict::differs;
    d.reason = why;
    for (const stored_table* t : tables()) {
      std::vector<std::string> lines = witness_->rows[t];
      if (t == twice) {
        std::vector<std::string> doubled;
        for (const std::string& l : lines) doubled.insert(doubled.end(), {l, l});
        lines = std::move(doubled);
      }
      d.database.push_back({t, std::move(lines)});
    }
    return d;
  }

  const plan& a_;
  const plan& b_;
  const decide_options& o_;
  std::size_t budget_;
  std::size_t steps_;
  std::size_t cases_ = 0;
  std::vector<certificate_check> checks_;
  std::optional<witness> witness_;
};

}  // namespace

decision decide(const plan& a, const plan& b, const decide_options& o) { return prover(a, b, o).run(); }

std::string header_line(const stored_table& t) {
  if (t.colnames.empty()) return t.name;
  std::string out = t.name + "(";
  for (std::size_t k = 0; k < t.colnames.size(); ++k) {
    if (k > 0) out += ", ";
    out += t.colnames[k] + " " + t.coltypes[k];
  }
  return out + ")";
}

}  // namespace prove
