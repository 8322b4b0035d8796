// The one place where grading meets the engine. Everything else in grading
// works on texts and row numbers: an input text cut into its query line and
// table blocks, databases built from chosen rows of those blocks, and the
// outcome of a query on such a database: its printed result or its failure
// message. A database is an engine session (engine/session.h); a query can
// be prepared once and answered on many databases.
#ifndef RELALG_GRADE_ENGINE_ADAPTER_H
#define RELALG_GRADE_ENGINE_ADAPTER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"

namespace grade {

// A table of an input text as lines: the header line and the row lines of
// the block that defines it, verbatim.
struct source_table {
  std::string name;  // as loading names it
  std::string_view header;
  std::vector<std::string_view> rows;
  std::uint32_t first = 0;  // the global number of its first row
};

// An input text as loading reads it: the query line, and the tables that
// stand at the end of loading (a block naming an earlier table replaces
// it), in the order of their header lines. Rows are numbered globally, table
// after table. The views point into `text`, which moves with the source.
struct source {
  std::shared_ptr<const std::string> text;
  std::string query;
  std::vector<source_table> tables;
  bool lines_after_query = false;  // some line after the first is not empty
  std::uint32_t row_count = 0;

  // The table that holds global row r.
  std::size_t table_of(std::uint32_t r) const;
};

source read_source(std::string text);

// Rows chosen from a source, by global number, ascending; and the tables
// left out altogether (by index; empty means none). A table that is kept
// keeps its header even when none of its rows is chosen.
struct choice {
  std::vector<std::uint32_t> rows;
  std::vector<bool> dropped;

  bool keeps(std::size_t table) const { return table >= dropped.size() || !dropped[table]; }
};

// The whole of a source as a choice.
choice every_row(const source& s);

// Limits of evaluation that the driver's options set; every database
// evaluates with the options it was built with.
struct engine_options {
  std::size_t max_rows = SIZE_MAX;       // --max-rows: the largest product
  std::size_t memory_budget = SIZE_MAX;  // bytes a product may fill
  bool extended = false;                 // --extended: queries may use join, njoin, intersect, divide
};

// The options the driver uses by default: no row limit, and half of the
// machine's physical memory for products.
engine_options default_engine_options();

// The outcome of one query on one database.
class evaluation {
 public:
  // An outcome carried over from another process (the grader's workers):
  // what ok(), positioned(), error() and printed() gave there. Its cells()
  // and header parts are empty.
  static evaluation restored(bool ok, bool positioned, std::string error, std::string printed);

  bool ok() const { return ok_; }
  // The message as the driver would print it: for a failure with a place
  // in the query, "relalg: NAME:1:COL: error: ...", the query line and a
  // caret line; else the one line "relalg: ...". It ends without a line
  // feed.
  const std::string& error() const { return error_; }
  bool positioned() const { return positioned_; }
  // The failure as a value.
  const diagnostic& failure() const { return failure_; }
  // The printed result: the header line and one line per row, each ended by
  // a line feed (made once, on first use).
  const std::string& printed() const;
  std::string_view header() const;
  std::string_view rows_text() const;  // the row lines, each ended by "\n"
  std::size_t row_count() const;
  std::vector<std::string_view> row_lines() const;
  // The cells of result row i as printed; empty when there is no result.
  std::vector<std::string> cells(std::size_t i) const;
  // The parts of the header: the table name, and each column's name and
  // type word.
  std::string name() const;
  std::vector<std::string> column_names() const;
  std::vector<std::string> column_types() const;
  // The result itself (empty when not ok).
  const relation& result() const;

 private:
  friend class engine_db;
  bool ok_ = false;
  bool positioned_ = false;
  std::string error_;
  diagnostic failure_;
  std::shared_ptr<const answer> answer_;
  std::string restored_printed_;  // the printed result, for an outcome carried over
};

// A loaded database, ready to evaluate any number of queries on it, from
// any number of threads at once.
class engine_db {
 public:
  engine_db(const source& s, const choice& c, const engine_options& opt);
  engine_db(const source& s, const engine_options& opt) : engine_db(s, every_row(s), opt) {}
  engine_db(engine_db&&) noexcept;
  engine_db& operator=(engine_db&&) noexcept;
  ~engine_db();

  // Reads a query against this database, to be evaluated here or on any
  // other database of the same source.
  prepared_query prepare(const std::string& query) const;

  // The warnings --warn gives about the query on this database, in order;
  // none when reading it runs out of memory.
  std::vector<diagnostic> warnings(const std::string& query) const;

  // Never throws: a failure of the query, of the engine's limits or of
  // memory is an evaluation that is not ok. `name` names the query's file
  // in positioned messages.
  evaluation evaluate(const std::string& query, std::string_view name = "<query>") const;
  evaluation evaluate(const prepared_query& query, std::string_view name = "<query>") const;

  // The cells of every row of s as printed, by global row number. Only for
  // a database built from every row of s; empty when they cannot be had.
  std::vector<std::vector<std::string>> row_cells(const source& s) const;

 private:
  std::unique_ptr<session> db_;
  eval_limits limits_;
  bool extended_ = false;
};

}  // namespace grade

#endif
