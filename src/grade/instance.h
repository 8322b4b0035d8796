// A database as typed values: the tables of an input text with their
// columns and kinds, and each row's cells as integers or texts. Inferring
// keys and references, and building databases of grading's own, reason
// about values; an instance is read from a source once, and a built
// instance is written back as input text (a source) to be evaluated and,
// should it show a difference, shown as a counterexample.
#ifndef RELALG_GRADE_INSTANCE_H
#define RELALG_GRADE_INSTANCE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "grade/engine_adapter.h"

namespace grade {

// A cell: an integer (in an int column) or a text (in any other column).
// Within one column all cells are of one kind, so equality and order are
// the plain ones of that kind (texts by byte value).
struct value {
  bool is_int = true;
  std::int32_t i = 0;
  std::string s;

  static value of_int(std::int32_t n) { return value{true, n, {}}; }
  static value of_text(std::string t) { return value{false, 0, std::move(t)}; }

  bool operator==(const value& o) const { return is_int == o.is_int && i == o.i && s == o.s; }
  bool operator!=(const value& o) const { return !(*this == o); }
  bool operator<(const value& o) const {
    if (is_int != o.is_int) return is_int;
    return is_int ? i < o.i : s < o.s;
  }
  // As a row line or a query holds it: decimal, or the text verbatim.
  std::string text() const { return is_int ? std::to_string(i) : s; }
};

struct value_hash {
  std::size_t operator()(const value& v) const {
    return v.is_int ? std::hash<std::int32_t>()(v.i) : std::hash<std::string>()(v.s) ^ 0x9E3779B97F4A7C15ull;
  }
};

using row_values = std::vector<value>;

struct column_info {
  std::string name;
  std::string type;  // the type word as written
  bool is_int = false;
};

struct table_info {
  std::string name;    // as loading names it
  std::string header;  // the header line, verbatim
  std::vector<column_info> columns;

  // The column of that name (the last, when several share it), if any.
  std::optional<std::size_t> column(std::string_view name) const;
};

// The tables of a database, in the order of its input text.
struct schema {
  std::vector<table_info> tables;

  std::optional<std::size_t> table(std::string_view name) const;
};

// The rows of each table of a schema (tables[t] for schema table t). A row
// read from a text keeps its line, so that written back it reads as it was
// written; a row made by grading has no line.
struct instance {
  struct table_rows {
    std::vector<row_values> rows;
    std::vector<std::string> lines;  // empty, or one per row ("" for a made row)
  };
  std::vector<table_rows> tables;

  std::size_t row_count() const;
};

// The schema and rows of a source, read through the engine (its cells as
// loading reads them). Nothing when the engine cannot read them back.
struct typed_source {
  schema sch;
  instance data;
};
std::optional<typed_source> read_typed(const source& s, const engine_options& opt);

// Whether a text reads back as itself when written as a value of a row
// line followed by a separator (or, when last, at the end of the line).
bool writable_text(std::string_view t, bool last);

// The input text of an instance: `query` on line 1, then each table of the
// schema (those with keep[t], or all when keep is empty) as its header and
// row lines, blocks separated by an empty line. A row read from a text is
// written as its line; a made row as its values separated by ", ". Nothing
// when some value cannot be written so that it reads back.
std::optional<std::string> render_instance(const std::string& query, const schema& sch, const instance& db,
                                           const std::vector<bool>& keep = {});

}  // namespace grade

#endif
