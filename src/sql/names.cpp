// Choosing the SQL names of the loaded tables and their columns.
#include "sql/names.h"

#include <set>

namespace relalg_sql {

namespace {

// Picks names for a list of wanted names: those the dialect can hold keep
// them, first come first served as the dialect compares names; the rest
// take fallback(i) with a number suffix bumped until it is free. `taken`
// holds folded names already in use and receives the chosen ones.
std::vector<std::string> pick(dialect d, const std::vector<std::string_view>& wanted,
                              std::set<std::string>& taken,
                              std::string (*fallback)(std::size_t, int)) {
  std::vector<std::string> out(wanted.size());
  std::vector<bool> done(wanted.size(), false);
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (!name_problem(d, wanted[i]).empty()) continue;
    if (taken.insert(folded_name(d, wanted[i])).second) {
      out[i] = std::string(wanted[i]);
      done[i] = true;
    }
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (done[i]) continue;
    for (int bump = 0;; ++bump) {
      std::string candidate = fallback(i, bump);
      if (taken.insert(folded_name(d, candidate)).second) {
        out[i] = std::move(candidate);
        break;
      }
    }
  }
  return out;
}

std::string table_fallback(std::size_t i, int bump) {
  std::string s = concat({"table_", std::to_string(i + 1)});
  if (bump > 0) s += concat({"_", std::to_string(bump + 1)});
  return s;
}

std::string column_fallback(std::size_t i, int bump) {
  std::string s = concat({"column_", std::to_string(i + 1)});
  if (bump > 0) s += concat({"_", std::to_string(bump + 1)});
  return s;
}

}  // namespace

std::map<std::string, table_names, std::less<>> name_tables(dialect d,
                                                            const std::vector<table_schema>& tables) {
  // Byte order of the relalg names decides who keeps a contested name.
  std::map<std::string_view, const table_schema*> ordered;
  for (const table_schema& t : tables) ordered[t.name] = &t;
  std::vector<std::string_view> wanted;
  std::vector<const table_schema*> order;
  for (const auto& [name, t] : ordered) {
    wanted.push_back(name);
    order.push_back(t);
  }
  std::set<std::string> taken_tables;
  const std::vector<std::string> sql = pick(d, wanted, taken_tables, table_fallback);

  std::map<std::string, table_names, std::less<>> out;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const table_schema& t = *order[i];
    table_names n;
    n.table = sql[i];
    std::set<std::string> taken;
    const std::vector<std::string_view> cols(t.colnames.begin(), t.colnames.end());
    // The columns claim their own names first; the position column and
    // the fallbacks then take what is left.
    std::vector<std::string> keep = pick(d, cols, taken, column_fallback);
    n.columns = std::move(keep);
    for (int bump = 1;; ++bump) {
      std::string candidate = bump == 1 ? "#" : concat({"#", std::to_string(bump)});
      if (taken.insert(folded_name(d, candidate)).second) {
        n.position = std::move(candidate);
        break;
      }
    }
    out.emplace(t.name, std::move(n));
  }
  return out;
}

}  // namespace relalg_sql
