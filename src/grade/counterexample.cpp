// Counterexample search. Candidate starting sets, smallest first: no rows at
// all (a header that differs shows there); the rows holding a value of a
// differing result row; those grown, a few times over, by the rows that
// share a rare value with them (a join partner shares a key; a value held by
// many rows, such as a year, is no lead); and the whole set where the
// difference was seen. Result values are always copied from input cells, so
// the rows a result row comes from usually hold some of its values. Whatever
// the guess, a set is used only once the two queries are seen to differ on
// it, so the search is sound for every query, monotone or not.
#include "grade/counterexample.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "grade/compare.h"

namespace grade {

namespace {

using value_set = std::unordered_set<std::string>;
using cell_table = std::vector<std::vector<std::string>>;

constexpr int kGrowths = 3;

// The rows of a set by the values they hold.
class value_index {
 public:
  value_index(const row_set& rows, const cell_table& cells) : cells_(cells) {
    for (const std::uint32_t r : rows) {
      for (const std::string& v : cells[r]) {
        std::vector<std::uint32_t>& at = rows_[v];
        if (at.empty() || at.back() != r) at.push_back(r);
      }
    }
    rare_ = std::max<std::size_t>(8, static_cast<std::size_t>(std::sqrt(static_cast<double>(rows.size()))));
  }

  // The rows holding one of the values, each value counted only when it is
  // rare unless all_values.
  row_set rows_with(const value_set& values, bool all_values) const {
    row_set out;
    for (const std::string& v : values) {
      const auto it = rows_.find(v);
      if (it == rows_.end() || (!all_values && it->second.size() > rare_)) continue;
      out.insert(out.end(), it->second.begin(), it->second.end());
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }

  // The sets grown from the rows holding the seed values.
  void grow(value_set seen, std::vector<row_set>& out) const {
    row_set level = rows_with(seen, true);
    out.push_back(level);
    for (int i = 0; i < kGrowths; ++i) {
      value_set fresh;
      for (const std::uint32_t r : level) {
        for (const std::string& v : cells_[r]) {
          if (seen.insert(v).second) fresh.insert(v);
        }
      }
      const row_set more = rows_with(fresh, false);
      row_set next;
      std::set_union(level.begin(), level.end(), more.begin(), more.end(), std::back_inserter(next));
      if (next.size() == level.size()) break;
      level = std::move(next);
      out.push_back(level);
    }
  }

 private:
  const cell_table& cells_;
  std::unordered_map<std::string, std::vector<std::uint32_t>> rows_;
  std::size_t rare_ = 8;
};

std::vector<row_set> candidates(const counterexample_request& req) {
  std::vector<row_set> out{row_set{}};
  if (req.cells != nullptr && req.cells->size() == req.db->row_count && !req.witnesses.empty()) {
    const value_index index(req.start, *req.cells);
    value_set all;
    for (const auto& w : req.witnesses) {
      index.grow(value_set(w.begin(), w.end()), out);
      all.insert(w.begin(), w.end());
    }
    if (req.witnesses.size() > 1) index.grow(all, out);
  }
  out.push_back(req.start);
  std::stable_sort(out.begin(), out.end(),
                   [](const row_set& a, const row_set& b) { return a.size() < b.size(); });
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

bool identical(const evaluation& a, const evaluation& b) {
  return a.ok() == b.ok() && a.printed() == b.printed() && a.error() == b.error();
}

}  // namespace

std::string render_input(const std::string& query, const source& db, const choice& c) {
  std::string out = query + "\n";
  auto next = c.rows.begin();
  bool first = true;
  for (std::size_t t = 0; t < db.tables.size(); ++t) {
    const source_table& st = db.tables[t];
    const std::uint32_t stop = st.first + static_cast<std::uint32_t>(st.rows.size());
    const bool keep = c.keeps(t);
    if (keep) {
      if (!first) out += "\n";
      first = false;
      out.append(st.header).append("\n");
    }
    for (; next != c.rows.end() && *next < stop; ++next) {
      if (keep) out.append(st.rows[*next - st.first]).append("\n");
    }
  }
  return out;
}

counterexample find_counterexample(const counterexample_request& req) {
  const source& db = *req.db;
  counterexample cx;
  std::vector<bool> dropped;
  // Both queries are read once and run on every part tried (read again
  // only on a part that leaves a table out).
  const engine_db whole(db, choice{{}, {}}, req.options);
  const prepared_query reference = whole.prepare(req.reference_query);
  const prepared_query submission = whole.prepare(req.submission_query);
  const auto run = [&](const row_set& rows, const std::vector<bool>& drop) {
    ++cx.tests;
    const engine_db e(db, choice{rows, drop}, req.options);
    evaluation r = e.evaluate(reference, req.reference_name);
    evaluation s = e.evaluate(submission, req.submission_name);
    return std::make_pair(std::move(r), std::move(s));
  };
  const auto kept = [&](const row_set& rows) { return req.keep ? req.keep(rows) : rows; };
  const std::function<bool(const row_set&)> differs = [&](const row_set& rows) {
    const auto [r, s] = run(kept(rows), dropped);
    return !same_result(r, s, match_rules{req.rows_only, req.any_column_order});
  };

  // The first candidate that shows the difference; the last is the start,
  // where it was seen. Should even that not show it, the start is shown
  // as it is, not claimed minimal.
  std::optional<row_set> found;
  for (const row_set& cand : candidates(req)) {
    if (differs(cand)) {
      found = cand;
      break;
    }
  }
  row_set rows = kept(req.start);
  if (found) {
    ddmin_result m = ddmin(kept(*found), differs, req.budget);
    rows = kept(m.rows);
    cx.minimal = m.minimal;
  }

  // Tables none of whose rows is chosen are left out when neither result
  // changes without them; then the rows are checked one by one again, on
  // the database as it will be shown.
  for (bool changed = true; changed;) {
    changed = false;
    dropped.assign(db.tables.size(), false);
    std::vector<bool> used(db.tables.size(), false);
    for (const std::uint32_t r : rows) used[db.table_of(r)] = true;
    auto base = run(rows, dropped);
    for (std::size_t t = 0; t < db.tables.size(); ++t) {
      if (used[t]) continue;
      std::vector<bool> without = dropped;
      without[t] = true;
      auto trial = run(rows, without);
      if (identical(trial.first, base.first) && identical(trial.second, base.second)) {
        dropped = std::move(without);
      }
    }
    if (!cx.minimal) break;
    for (std::size_t i = 0; i < rows.size() && !changed; ++i) {
      row_set rest = rows;
      rest.erase(rest.begin() + static_cast<long>(i));
      if (differs(rest)) {
        rows = kept(rest);
        changed = true;
      }
    }
  }
  for (std::size_t i = 0; i < rows.size() && req.keep; ++i) {
    row_set rest = rows;
    rest.erase(rest.begin() + static_cast<long>(i));
    if (kept(rest).size() != rest.size()) cx.takes_partners = true;
  }

  cx.row_count = rows.size();
  cx.rows = choice{std::move(rows), dropped};
  auto [r, s] = run(cx.rows.rows, dropped);
  cx.reference = std::move(r);
  cx.submission = std::move(s);
  cx.input = render_input(req.submission_query, db, cx.rows);
  return cx;
}

}  // namespace grade
