// Cell expressions for columns of one kind and for mixed columns.
#include "sql/cells.h"

namespace relalg_sql {

std::string cell_column(std::size_t i) { return concat({"c", std::to_string(i + 1)}); }
std::string text_part(std::size_t i) { return concat({"t", std::to_string(i + 1)}); }

cell_sql cell_at(kind k, std::size_t i, const std::string& qual) {
  cell_sql x;
  x.k = k;
  x.c = qual + cell_column(i);
  if (k == kind::mixed) x.t = qual + text_part(i);
  return x;
}

std::string cell_list(const std::vector<kind>& kinds, const std::string& qual) {
  if (kinds.empty()) return qual + "z";
  std::string s;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (i > 0) s += ", ";
    s += qual + cell_column(i);
    if (kinds[i] == kind::mixed) s += ", " + qual + text_part(i);
  }
  return s;
}

namespace {

std::string null_int() { return "CAST(NULL AS INTEGER)"; }

std::string null_text(dialect d) {
  // PostgreSQL gives the NULL the byte collation of the column it joins.
  return d == dialect::postgres ? "CAST(NULL AS TEXT) COLLATE \"C\"" : "CAST(NULL AS TEXT)";
}

std::string bytes(const std::string& text_expr, dialect d) {
  return concat({text_expr, byte_collation(d)});
}

}  // namespace

std::string cell_as(const cell_sql& from, kind to, std::size_t i, dialect d) {
  const std::string c = cell_column(i);
  if (to != kind::mixed) return from.c + " AS " + c;
  const std::string t = text_part(i);
  switch (from.k) {
    case kind::integer: return from.c + " AS " + c + ", " + null_text(d) + " AS " + t;
    case kind::text: return null_int() + " AS " + c + ", " + from.c + " AS " + t;
    case kind::mixed: break;
  }
  return from.c + " AS " + c + ", " + from.t + " AS " + t;
}

std::pair<std::string, std::string> fields(const cell_sql& x, dialect d) {
  switch (x.k) {
    case kind::integer: return {x.c, "''"};
    case kind::text: return {"0", bytes(x.c, d)};
    case kind::mixed: break;
  }
  return {"COALESCE(" + x.c + ", 0)", bytes("COALESCE(" + x.t + ", '')", d)};
}

std::string cells_equal(const cell_sql& x, const cell_sql& y, dialect d) {
  if (x.k == y.k && x.k == kind::integer) return x.c + " = " + y.c;
  if (x.k == y.k && x.k == kind::text) return bytes(x.c, d) + " = " + y.c;
  const auto [xi, xs] = fields(x, d);
  const auto [yi, ys] = fields(y, d);
  return "(" + xi + " = " + yi + " AND " + xs + " = " + ys + ")";
}

std::vector<std::string> sort_terms(const cell_sql& x, dialect d) {
  switch (x.k) {
    case kind::integer: return {x.c};
    case kind::text: return {bytes(x.c, d)};
    case kind::mixed: break;
  }
  return {"CASE WHEN " + bytes(x.t, d) + " <> '' THEN 1 ELSE 0 END", "COALESCE(" + x.c + ", 0)",
          bytes("COALESCE(" + x.t + ", '')", d)};
}

std::string printed(const cell_sql& x, dialect d) {
  if (x.k != kind::mixed) return x.c;
  switch (d) {
    case dialect::sqlite: return "COALESCE(" + x.t + ", " + x.c + ")";
    case dialect::postgres: return "COALESCE(" + x.t + ", CAST(" + x.c + " AS TEXT))";
    case dialect::duckdb: return "COALESCE(" + x.t + ", CAST(" + x.c + " AS VARCHAR))";
  }
  return x.c;
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) {
    if (!s.empty()) s += ", ";
    s += x;
  }
  return s;
}

// Of the rows `inner` selects (cells of these kinds, and the columns that
// order them), one of each set of equal rows: the first by `order`.
std::string first_of_equal(const std::vector<kind>& kinds, const std::string& inner,
                           const std::vector<std::string>& order, dialect d) {
  std::vector<std::string> partition;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    const auto [n, t] = fields(cell_at(kinds[i], i, "u."), d);
    partition.push_back(n);
    partition.push_back(t);
  }
  return "SELECT " + cell_list(kinds, "") + " FROM (SELECT u.*, ROW_NUMBER() OVER (PARTITION BY " +
         joined(partition) + " ORDER BY " + joined(order) + ") AS rn FROM (" + inner +
         ") AS u) AS w WHERE rn = 1";
}

bool any_mixed(const std::vector<kind>& kinds) {
  for (const kind k : kinds) {
    if (k == kind::mixed) return true;
  }
  return false;
}

}  // namespace relalg_sql
