// Bare or quoted names, and unique names within a statement.
#include "sql/identifiers.h"

#include <algorithm>
#include <iterator>

#include "sql/names.h"

namespace relalg_sql {

namespace {

// Words that SQLite, PostgreSQL or DuckDB reserve, or read as something
// else in some place a name stands, in lower case and byte order. A name
// among them is quoted.
constexpr std::string_view kKeywords[] = {
    "abort", "action", "add", "after", "all", "alter", "always", "analyse", "analyze", "and", "anti", "any",
    "array", "as", "asc", "asof", "asymmetric", "attach", "authorization", "autoincrement", "before", "begin",
    "between", "bigint", "binary", "bit", "boolean", "both", "by", "cascade", "case", "cast", "char",
    "character", "check", "coalesce", "collate", "collation", "column", "commit", "concurrently", "conflict",
    "constraint", "create", "cross", "current", "current_catalog", "current_date", "current_role",
    "current_schema", "current_time", "current_timestamp", "current_user", "database", "dec", "decimal",
    "default", "deferrable", "deferred", "delete", "desc", "describe", "detach", "distinct", "do", "drop",
    "each", "else", "end", "escape", "except", "exclude", "exclusive", "exists", "explain", "extract", "fail",
    "false", "fetch", "filter", "float", "for", "foreign", "freeze", "from", "full", "glob", "grant", "group",
    "having", "if", "ignore", "ilike", "immediate", "in", "index", "initially", "inner", "insert", "instead",
    "int", "integer", "intersect", "interval", "into", "is", "isnull", "join", "key", "lateral", "leading",
    "left", "like", "limit", "localtime", "localtimestamp", "match", "materialized", "natural", "not",
    "nothing", "notnull", "null", "numeric", "of", "offset", "on", "only", "or", "order", "outer", "over",
    "overlaps", "partition", "pivot", "placing", "positional", "pragma", "primary", "qualify", "raise",
    "real", "recursive", "references", "regexp", "returning", "right", "row", "rows", "select", "semi",
    "session_user", "set", "show", "similar", "some", "summarize", "symmetric", "table", "tablesample",
    "then", "to", "trailing", "true", "union", "unique", "unpivot", "update", "user", "using", "vacuum",
    "values", "varchar", "variadic", "verbose", "view", "virtual", "when", "where", "window", "with",
    "without",
};

bool is_keyword(std::string_view name) {
  return std::binary_search(std::begin(kKeywords), std::end(kKeywords), name);
}

bool plain(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return !is_keyword(name);
}

}  // namespace

std::string ident(std::string_view name) { return plain(name) ? std::string(name) : quote_name(name); }

void name_registry::reserve(std::string_view name) { taken_.insert(folded_name(d_, name)); }

std::string name_registry::claim(std::string_view wanted, std::string_view fallback) {
  const std::string_view base = name_problem(d_, wanted).empty() ? wanted : fallback;
  for (int n = 1;; ++n) {
    std::string candidate(base);
    if (n > 1) candidate += concat({"_", std::to_string(n)});
    if (taken_.insert(folded_name(d_, candidate)).second) return candidate;
  }
}

std::vector<std::string> step_column_names(dialect d, const std::vector<std::string>& wanted,
                                           std::set<std::string>& taken) {
  std::vector<std::string> out(wanted.size());
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (name_problem(d, wanted[i]).empty() && taken.insert(folded_name(d, wanted[i])).second) out[i] = wanted[i];
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (!out[i].empty()) continue;
    for (int n = 1;; ++n) {
      std::string candidate = concat({"column_", std::to_string(i + 1)});
      if (n > 1) candidate += concat({"_", std::to_string(n)});
      if (taken.insert(folded_name(d, candidate)).second) {
        out[i] = std::move(candidate);
        break;
      }
    }
  }
  return out;
}

}  // namespace relalg_sql
