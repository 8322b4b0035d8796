// The engine's one door. A session holds a database, its tables loaded
// once, and answers any number of queries against it; a query prepared
// once (read into a plan, its headers found, its joins planned) can be
// answered against this database or any other whose tables bear the same
// names and headers, so one query runs against many databases (grading's
// parts and built databases) without being read again. The command line,
// the page, grading and the SQL writer all come in here.
//
// Contract:
// - A session's tables are read-only once loaded (after parse_rows), so
//   several threads may run queries on one session at once. Loading with
//   parse_rows, and printing with print(), are for one thread.
// - run() and print() never throw: a query that has no result, a limit
//   reached or memory run out is a failed answer whose failure is a
//   diagnostic (diagnostic.h): placed in the query line when the failure
//   has a place there, else unplaced.
// - An answer's rows view the session's tables: the answer keeps them
//   alive, so it may outlive the session object.
#ifndef RELALG_ENGINE_SESSION_H
#define RELALG_ENGINE_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "engine/diagnostic.h"
#include "engine/observer.h"
#include "engine/parser.h"
#include "engine/path.h"
#include "engine/plan.h"
#include "engine/printer.h"
#include "engine/relation.h"
#include "engine/run_limits.h"
#include "engine/schema.h"

// How a query is prepared.
struct prepare_options {
  // Record what the reading rules absorb and warn about it (lint.h):
  // prepared_query::warnings.
  bool warn = false;
  // The run is explained: every node's header is found, and every node is
  // evaluated (never a streamed path).
  bool explain = false;
  // The extended operations are read too (parse_options::extended).
  bool extended = false;
};

// A query read against one database's tables and made ready to run.
class prepared_query {
 public:
  const plan& query_plan() const { return plan_; }
  // Every node's header, by node index; empty unless warnings, explain
  // output, a join or a streamed path needed them.
  const std::vector<node_schema>& schemas() const { return schemas_; }
  // The warnings about the query (prepare_options::warn), in the order
  // they were found (order_warnings in lint.h sorts them with others).
  const std::vector<diagnostic>& warnings() const { return warnings_; }
  // How it is answered (path.h); and how it would be if nothing watched
  // it (no warnings, no explain output).
  const path_choice& path() const { return path_; }
  const path_choice& plain_path() const { return plain_path_; }

 private:
  friend class session;
  plan plan_;
  std::vector<node_schema> schemas_;
  std::vector<diagnostic> warnings_;
  path_choice path_;
  path_choice plain_path_;
  // The names of the tables the plan reads, in the order of plan::tables,
  // and every table's name and header in the database it was read
  // against: another database with the same tables can run it.
  std::vector<std::string> table_names_;
  std::string catalog_key_;
  prepare_options options_;  // how it was prepared, to prepare it again elsewhere
};

// What a query gives on a database: its result, or its failure.
class answer {
 public:
  bool ok() const { return ok_; }
  // The result; rows by address, valid as long as the answer lives.
  const relation& result() const { return result_; }
  // The failure (severity error), when not ok.
  const diagnostic& failure() const { return failure_; }
  // The printed result: the header line and one line per row, each ended
  // by "\n". Made on first use; empty for a failure.
  const std::string& printed() const;

 private:
  friend class session;
  bool ok_ = false;
  relation result_;
  diagnostic failure_;
  std::shared_ptr<const table_map> tables_;
  std::shared_ptr<const void> keep_;
  mutable std::unique_ptr<std::string> printed_;
};

// How a query runs.
struct run_settings {
  eval_limits limits;
  // Told about every node evaluated; forces whole evaluation.
  eval_observer* observer = nullptr;
};

class session {
 public:
  // The tables of an input text (its first line, the query line, is kept
  // apart: query()). Row lines stay views of `input` until parse_rows() or
  // the first query that needs them: `input` must outlive the session, or
  // be kept alive by `keep`.
  explicit session(std::string_view input, std::shared_ptr<const void> keep = nullptr);
  // A temporary text would be gone before the rows are read.
  explicit session(std::string&& input, std::shared_ptr<const void> keep = nullptr) = delete;
  // Tables built by the caller (loader.h's add_table).
  explicit session(table_map tables);

  const std::string& query() const { return query_; }
  const table_map& tables() const { return *tables_; }
  const stored_table* find(std::string_view name) const;

  // Parses every pending row line, on two threads.
  void parse_rows();

  // Reads a query against this session's tables, as written: the plan the
  // SQL writer, the notation and the prover read (no joins planned). Its
  // table nodes point into this session, which must outlive it.
  plan read(std::string query, parse_options o = {}) const;

  // Reads a query against this session's tables and makes it ready. Never
  // throws but for memory: a query with no result fails when it is run.
  prepared_query prepare(std::string query, const prepare_options& o = {}) const;

  // Evaluates q: a query prepared by this session or by one whose tables
  // have the same names and headers (else q's line is prepared again here).
  // The rows must be parsed.
  answer run(const prepared_query& q, const run_settings& s = {}) const;

  // Prints q's result (print_relation's bytes) through buf and spill, by
  // the path q.path() names, without building what that path does not
  // need. Returns the failure, or an ok answer without rows.
  answer print(const prepared_query& q, const run_settings& s, std::string& buf, const spill_fn& spill);

 private:
  // Every table's name and header, made on first use.
  const std::string& catalog_key() const;

  std::shared_ptr<table_map> tables_;
  std::shared_ptr<const void> keep_;
  std::string query_;
  mutable std::unique_ptr<std::string> catalog_key_;
};

#endif
