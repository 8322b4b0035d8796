// The session: loading, preparing queries, running them by their path.
#include "engine/session.h"

#include <exception>
#include <map>
#include <utility>

#include "engine/errors.h"
#include "engine/evaluator.h"
#include "engine/failure.h"
#include "engine/lint.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "engine/rewrite.h"
#include "engine/stream.h"


const std::string& answer::printed() const {
  if (!printed_) {
    auto text = std::make_unique<std::string>();
    if (ok_) {
      std::string buf;
      print_relation(result_, buf, [&text](std::string& b) {
        *text += b;
        b.clear();
      });
      *text += buf;
    }
    printed_ = std::move(text);
  }
  return *printed_;
}

session::session(std::string_view input, std::shared_ptr<const void> keep)
    : tables_(std::make_shared<table_map>()), keep_(std::move(keep)) {
  query_ = load_tables(input, *tables_, true);
}

session::session(table_map tables) : tables_(std::make_shared<table_map>(std::move(tables))) {}

const stored_table* session::find(std::string_view name) const {
  const auto it = tables_->find(name);
  return it == tables_->end() ? nullptr : &it->second;
}

void session::parse_rows() { parse_all_pending(*tables_); }

const std::string& session::catalog_key() const {
  if (!catalog_key_) {
    // Each table's name, then its header as printed (which may not start
    // with the name: a replaced entry's table can bear another).
    auto key = std::make_unique<std::string>();
    for (const auto& [name, t] : *tables_) {
      *key += std::to_string(name.size()) + ":" + name;
      print_header(t.name, t.colnames, t.coltypes, *key);
    }
    catalog_key_ = std::move(key);
  }
  return *catalog_key_;
}

plan session::read(std::string query, parse_options o) const { return parse_query(std::move(query), *tables_, o); }

prepared_query session::prepare(std::string query, const prepare_options& o) const {
  prepared_query q;
  q.options_ = o;
  q.plan_ = parse_query(std::move(query), *tables_, {o.warn, o.extended});
  plan& p = q.plan_;
  const bool watched = o.warn || o.explain;
  if (path_needs_schemas(p, watched)) q.schemas_ = plan_schemas(p);
  if (o.warn) q.warnings_ = lint_query(p, q.schemas_);
  // The streamed paths read the plan as it was read; evaluation reads it
  // with its joins planned.
  q.path_ = choose_path(p, *tables_, q.schemas_, watched);
  if (q.path_.path == eval_path::whole && may_join(p)) {
    rewrite_joins(p, q.schemas_);
    q.path_ = choose_path(p, *tables_, q.schemas_, watched);
  }
  q.plain_path_ = watched ? choose_path(p, *tables_, q.schemas_, false) : q.path_;
  // The name each table reference was found under.
  std::map<const stored_table*, const std::string*> key_of;
  for (const auto& [name, t] : *tables_) key_of[&t] = &name;
  for (const stored_table* t : p.tables) q.table_names_.push_back(*key_of[t]);
  q.catalog_key_ = catalog_key();
  return q;
}

answer session::run(const prepared_query& q, const run_settings& s) const {
  answer a;
  a.tables_ = tables_;
  a.keep_ = keep_;
  try {
    // A plan read against other tables is bound to these when they have
    // the same names and headers (so that it reads the same), else read
    // again here.
    std::vector<const stored_table*> bound;
    if (q.catalog_key_ != catalog_key()) {
      prepare_options again;
      again.extended = q.options_.extended;  // the language it was written in
      return run(prepare(q.plan_.line, again), s);
    }
    bound.reserve(q.table_names_.size());
    for (const std::string& name : q.table_names_) bound.push_back(find(name));
    const plan& p = q.plan_;
    evaluator e(s.limits);
    a.result_ = e.evaluate(p, s.observer, &bound);
    a.ok_ = true;
  } catch (...) {
    a.ok_ = false;
    a.result_ = relation();
    a.failure_ = failure_diagnostic(std::current_exception());
  }
  return a;
}

answer session::print(const prepared_query& q, const run_settings& s, std::string& buf, const spill_fn& spill) {
  const plan& p = q.plan_;
  answer a;
  a.tables_ = tables_;
  a.keep_ = keep_;
  try {
    if (s.observer == nullptr) {
      switch (q.path_.path) {
        case eval_path::table_lines:
          stream_table(p.table_of(p.node(p.root)), buf, spill);
          a.ok_ = true;
          return a;
        case eval_path::stream:
          stream_query(p, q.schemas_, buf, spill);
          a.ok_ = true;
          return a;
        case eval_path::set_lines:
          if (stream_sets(p, q.schemas_, buf, spill)) {
            a.ok_ = true;
            return a;
          }
          break;  // the keys do not fit: evaluated whole
        default:
          break;
      }
    }
    parse_rows();
  } catch (...) {
    a.failure_ = failure_diagnostic(std::current_exception());
    return a;
  }
  a = run(q, s);
  if (a.ok_) {
    try {
      print_relation(a.result_, buf, spill);
    } catch (...) {
      a.ok_ = false;
      a.failure_ = failure_diagnostic(std::current_exception());
    }
  }
  return a;
}
