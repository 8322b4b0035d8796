// The SQL dialects the translator writes, and what differs between them:
// how names and strings are quoted, which collation compares bytes, which
// names an engine cannot hold as written, and the script's opening lines.
#ifndef RELALG_SQL_DIALECT_H
#define RELALG_SQL_DIALECT_H

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace relalg_sql {

enum class dialect : uint8_t { sqlite, postgres, duckdb };

// The dialect a --sql=NAME option names ("sqlite", "postgres", "duckdb"),
// or nothing for another name.
std::optional<dialect> dialect_named(std::string_view name);
std::string_view dialect_name(dialect d);
// The engine's own name: SQLite, PostgreSQL, DuckDB.
std::string_view dialect_title(dialect d);

// A quoted identifier: "..." with every " doubled. The caller makes sure
// the name is one the dialect can hold (see name_problem).
std::string quote_name(std::string_view name);

// A string literal: '...' with every ' doubled; every other byte stands as
// it is (no escapes are read inside '...' in any of the three dialects).
std::string quote_text(std::string_view text);

// An integer literal.
std::string int_literal(int32_t v);

// The collation clause that makes a text comparison or sort go by unsigned
// byte values, with a leading blank: " COLLATE BINARY" or " COLLATE \"C\"".
std::string_view byte_collation(dialect d);

// The most columns a table or a select list may have, or 0 for no limit
// known: SQLite's default build takes 2000, PostgreSQL's tables 1600.
std::size_t max_columns(dialect d);

// The deepest nesting of operations a query may have: deeper ones take
// the engines beyond their limits (DuckDB's depth of expressions) or
// their time (SQLite and PostgreSQL plan them in time that grows with the
// square of the depth).
std::size_t max_query_depth(dialect d);

// Whether each subquery is to be computed on its own rather than merged
// into the statements that read it: PostgreSQL plans deep merged
// subqueries very slowly, so a query nested deeper than this is written
// with MATERIALIZED subqueries.
std::size_t merge_depth(dialect d);

// The column types of a table as created.
std::string_view int_type(dialect d);
std::string_view text_type(dialect d);  // with the byte collation where one is needed

// Why the dialect cannot hold this text as a string value, or an empty
// view when it can: no engine holds the NUL byte in its text, and DuckDB's
// text must be valid UTF-8.
std::string_view text_problem(dialect d, std::string_view text);

// Why the dialect cannot use this text as a table or column name, or an
// empty view when it can: a name must not be empty, must be a valid value
// (text_problem) and, in PostgreSQL, at most 63 bytes long.
std::string_view name_problem(dialect d, std::string_view name);

// The form two names are compared in when the dialect decides whether they
// are the same name: SQLite and DuckDB ignore the case of ASCII letters,
// even in quoted names; PostgreSQL compares quoted names exactly.
std::string folded_name(dialect d, std::string_view name);

// The pieces joined into one string.
std::string concat(std::initializer_list<std::string_view> pieces);

// A text as it may stand in a "--" comment line: bytes below 32 and 127
// (which could end the comment) shown as \xHH.
std::string comment_text(std::string_view s);

// The lines a whole script opens with (settings that make its run print
// only the result rows), possibly empty.
std::string_view script_prologue(dialect d);

}  // namespace relalg_sql

#endif
