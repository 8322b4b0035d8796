// Counterexample search. Candidate starting sets, smallest first: no rows at
// all (a header that differs shows there), the rows sharing a value with a
// differing result row, the rows sharing a value with those, and the whole
// set where the difference was seen. Values of relational algebra results
// are always copied from input cells, so the rows a result row comes from
// usually hold some of its values; a join partner usually shares a key with
// them. Whatever the guess, a set is used only once the two queries are seen
// to differ on it, so it is sound for every query, monotone or not.
#include "grade/counterexample.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "grade/compare.h"

namespace grade {

namespace {

using value_set = std::unordered_set<std::string>;

// The rows of `from` holding one of the values.
row_set rows_with(const row_set& from, const value_set& values,
                  const std::vector<std::vector<std::string>>& cells) {
  row_set out;
  for (const std::uint32_t r : from) {
    for (const std::string& v : cells[r]) {
      if (values.count(v) != 0) {
        out.push_back(r);
        break;
      }
    }
  }
  return out;
}

value_set values_of(const row_set& rows, const std::vector<std::vector<std::string>>& cells) {
  value_set out;
  for (const std::uint32_t r : rows) out.insert(cells[r].begin(), cells[r].end());
  return out;
}

std::vector<row_set> candidates(const counterexample_request& req) {
  std::vector<row_set> out{row_set{}};
  const auto* cells = req.cells;
  if (cells != nullptr && cells->size() == req.db->row_count) {
    value_set all;
    std::vector<row_set> near;
    for (const auto& w : req.witnesses) {
      const value_set values(w.begin(), w.end());
      all.insert(values.begin(), values.end());
      near.push_back(rows_with(req.start, values, *cells));
      out.push_back(near.back());
    }
    if (req.witnesses.size() > 1) out.push_back(rows_with(req.start, all, *cells));
    for (const row_set& n : near) out.push_back(rows_with(req.start, values_of(n, *cells), *cells));
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
  const auto run = [&](const row_set& rows, const std::vector<bool>& drop) {
    ++cx.tests;
    engine_db e(db, choice{rows, drop}, req.options);
    evaluation r = e.evaluate(req.reference_query);
    evaluation s = e.evaluate(req.submission_query);
    return std::make_pair(std::move(r), std::move(s));
  };
  const std::function<bool(const row_set&)> differs = [&](const row_set& rows) {
    const auto [r, s] = run(rows, dropped);
    return !same_result(r, s, req.rows_only);
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
  row_set rows = req.start;
  if (found) {
    ddmin_result m = ddmin(*found, differs);
    rows = std::move(m.rows);
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
        rows = std::move(rest);
        changed = true;
      }
    }
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
