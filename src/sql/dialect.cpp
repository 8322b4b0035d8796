// Quoting, collations, name rules and script openings of the three SQL
// dialects.
#include "sql/dialect.h"

namespace relalg_sql {

std::optional<dialect> dialect_named(std::string_view name) {
  if (name == "sqlite") return dialect::sqlite;
  if (name == "postgres") return dialect::postgres;
  if (name == "duckdb") return dialect::duckdb;
  return std::nullopt;
}

std::string_view dialect_name(dialect d) {
  switch (d) {
    case dialect::sqlite: return "sqlite";
    case dialect::postgres: return "postgres";
    case dialect::duckdb: return "duckdb";
  }
  return "";
}

std::string_view dialect_title(dialect d) {
  switch (d) {
    case dialect::sqlite: return "SQLite";
    case dialect::postgres: return "PostgreSQL";
    case dialect::duckdb: return "DuckDB";
  }
  return "";
}

namespace {

std::string quoted(std::string_view s, char q) {
  std::string out;
  out.reserve(s.size() + 2);
  out += q;
  for (const char c : s) {
    out += c;
    if (c == q) out += q;
  }
  out += q;
  return out;
}

// Whether s is well-formed UTF-8: no stray continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

}  // namespace

std::string quote_name(std::string_view name) { return quoted(name, '"'); }

std::string quote_text(std::string_view text) { return quoted(text, '\''); }

std::string int_literal(int32_t v) {
  // The most negative value is written as an expression of int range, so
  // that no engine reads a literal beyond it.
  if (v == INT32_MIN) return "(-2147483647 - 1)";
  return std::to_string(v);
}

std::string_view byte_collation(dialect d) {
  return d == dialect::sqlite ? " COLLATE BINARY" : " COLLATE \"C\"";
}

std::size_t max_columns(dialect d) {
  switch (d) {
    case dialect::sqlite: return 2000;
    case dialect::postgres: return 1600;
    case dialect::duckdb: return 0;
  }
  return 0;
}

std::size_t max_query_depth(dialect d) {
  switch (d) {
    case dialect::sqlite: return 2000;
    case dialect::postgres: return 1000;
    case dialect::duckdb: return 500;
  }
  return 500;
}

std::size_t merge_depth(dialect d) { return d == dialect::postgres ? 20 : SIZE_MAX; }

std::string_view int_type(dialect) { return "INTEGER"; }

std::string_view text_type(dialect d) {
  switch (d) {
    case dialect::sqlite: return "TEXT";
    case dialect::postgres: return "TEXT COLLATE \"C\"";
    case dialect::duckdb: return "VARCHAR";
  }
  return "TEXT";
}

std::string_view text_problem(dialect d, std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return "it holds a NUL byte, which SQL text cannot hold";
  if (d == dialect::duckdb && !valid_utf8(text)) {
    return "it is not valid UTF-8, which DuckDB's text must be";
  }
  return {};
}

std::string_view name_problem(dialect d, std::string_view name) {
  if (name.empty()) return "SQL names cannot be empty";
  if (const std::string_view p = text_problem(d, name); !p.empty()) return p;
  if (d == dialect::postgres && name.size() > 63) {
    return "PostgreSQL names are at most 63 bytes long";
  }
  return {};
}

std::string folded_name(dialect d, std::string_view name) {
  std::string out(name);
  if (d != dialect::postgres) {
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

std::string concat(std::initializer_list<std::string_view> pieces) {
  std::size_t n = 0;
  for (const std::string_view p : pieces) n += p.size();
  std::string out;
  out.reserve(n);
  for (const std::string_view p : pieces) out += p;
  return out;
}

std::string comment_text(std::string_view s) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32 || c == 127) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string_view script_prologue(dialect d) {
  switch (d) {
    case dialect::sqlite: return "";
    case dialect::postgres:
      return "\\set QUIET on\n"
             "\\set ON_ERROR_STOP on\n"
             "SET client_min_messages = warning;\n"
             "SET standard_conforming_strings = on;\n";
    case dialect::duckdb: return "";
  }
  return "";
}

}  // namespace relalg_sql
