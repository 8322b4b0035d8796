// Grading's use of the engine: cutting an input text into blocks as loading
// does, building catalogs from chosen row lines through the catalog's public
// operations, and running the interpreter, with the failure turned into the
// message the driver would print.
#include "grade/engine_adapter.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>

#include "algo.h"
#include "database.h"
#include "engine/diagnostic.h"
#include "engine/errors.h"
#include "engine/pipeline.h"
#include "engine/run_limits.h"
#include "table.h"

namespace grade {

namespace {

std::string cell_text(const t_object& v) { return v.is_int ? std::to_string(v.ival) : v.sval; }

}  // namespace

// ---- Sources ------------------------------------------------------------------------

std::size_t source::table_of(std::uint32_t r) const {
  // The last table whose first row is at most r.
  const auto it = std::upper_bound(tables.begin(), tables.end(), r,
                                   [](std::uint32_t v, const source_table& t) { return v < t.first; });
  return static_cast<std::size_t>(it - tables.begin()) - 1;
}

source read_source(std::string text) {
  source s;
  s.text = std::make_shared<const std::string>(std::move(text));
  const std::string_view in = *s.text;
  const std::size_t n = in.size();
  std::size_t end = std::min(in.find('\n'), n);
  s.query = std::string(in.substr(0, end));
  std::size_t pos = end + 1;

  // Loading's own reading of a header names the table; the scratch catalog
  // holds only headers.
  database scratch;
  std::vector<source_table> all;
  std::vector<bool> replaced;
  std::map<std::string, std::size_t, std::less<>> latest;
  long current = -1;  // the block being read; -1 between blocks
  while (pos < n) {
    end = std::min(in.find('\n', pos), n);
    const std::string_view line = in.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) {
      current = -1;
    } else if (current < 0) {
      s.lines_after_query = true;
      std::string name = scratch.addtable(std::string(line));
      const auto old = latest.find(name);
      if (old != latest.end()) replaced[old->second] = true;
      latest[name] = all.size();
      if (!name.empty()) current = static_cast<long>(all.size());
      all.push_back({std::move(name), line, {}, 0});
      replaced.push_back(false);
    } else {
      all[static_cast<std::size_t>(current)].rows.push_back(line);
    }
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (replaced[i]) continue;
    all[i].first = s.row_count;
    s.row_count += static_cast<std::uint32_t>(all[i].rows.size());
    s.tables.push_back(std::move(all[i]));
  }
  return s;
}

choice every_row(const source& s) {
  choice c;
  c.rows.resize(s.row_count);
  for (std::uint32_t r = 0; r < s.row_count; ++r) c.rows[r] = r;
  return c;
}

engine_options default_engine_options() {
  engine_options o;
  o.memory_budget = default_memory_budget();
  return o;
}

// ---- Evaluations -------------------------------------------------------------------------

evaluation evaluation::restored(bool ok, bool positioned, std::string error, std::string printed) {
  evaluation e;
  e.ok_ = ok;
  e.positioned_ = positioned;
  e.error_ = std::move(error);
  e.printed_ = std::move(printed);
  e.header_end_ = std::min(e.printed_.find('\n'), e.printed_.size());
  const auto lines = static_cast<std::size_t>(std::count(e.printed_.begin(), e.printed_.end(), '\n'));
  e.rows_ = lines > 0 ? lines - 1 : 0;
  return e;
}

std::string_view evaluation::header() const {
  return std::string_view(printed_).substr(0, header_end_);
}

std::string_view evaluation::rows_text() const {
  if (printed_.empty()) return {};
  return std::string_view(printed_).substr(header_end_ + 1);
}

std::vector<std::string_view> evaluation::row_lines() const {
  std::vector<std::string_view> lines;
  lines.reserve(rows_);
  const std::string_view text = rows_text();
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t nl = text.find('\n', from);
    lines.push_back(text.substr(from, nl - from));
    from = nl + 1;
  }
  return lines;
}

std::vector<std::string> evaluation::cells(std::size_t i) const {
  std::vector<std::string> out;
  if (!result_ || i >= result_->rows.size()) return out;
  auto it = result_->rows.begin();
  std::advance(it, static_cast<long>(i));
  for (const t_object& v : *it) out.push_back(cell_text(v));
  return out;
}

std::string evaluation::name() const { return result_ ? result_->name : std::string(); }

std::vector<std::string> evaluation::column_names() const {
  return result_ ? result_->colnames : std::vector<std::string>();
}

std::vector<std::string> evaluation::column_types() const {
  return result_ ? result_->coltypes : std::vector<std::string>();
}

// ---- Databases ---------------------------------------------------------------------------

engine_db::engine_db(const source& s, const choice& c, const engine_options& opt) {
  database db;
  auto next = c.rows.begin();
  for (std::size_t t = 0; t < s.tables.size(); ++t) {
    const source_table& st = s.tables[t];
    const std::uint32_t stop = st.first + static_cast<std::uint32_t>(st.rows.size());
    const bool keep = c.keeps(t);
    if (keep) db.addtable(std::string(st.header));
    for (; next != c.rows.end() && *next < stop; ++next) {
      if (keep) db.addline(st.name, std::string(st.rows[*next - st.first]));
    }
  }
  eval_limits limits;
  limits.row_limit = opt.max_rows;
  limits.memory_budget = opt.memory_budget;
  interp_ = std::make_unique<algo>(std::move(db), limits);
}

engine_db::engine_db(engine_db&&) noexcept = default;
engine_db& engine_db::operator=(engine_db&&) noexcept = default;
engine_db::~engine_db() = default;

evaluation engine_db::evaluate(const std::string& query, std::string_view name) {
  evaluation e;
  try {
    std::shared_ptr<table> result;
    // Reading and evaluating a query never recurse, whatever its depth.
    result = std::make_shared<table>(interp_->interpreter(query));
    std::ostringstream out;
    out << *result;
    e.printed_ = std::move(out).str();
    e.header_end_ = e.printed_.find('\n');
    e.rows_ = result->rows.size();
    e.result_ = std::move(result);
    e.ok_ = true;
  } catch (const evaluation_error& x) {
    e = evaluation();
    if (x.placed()) {
      // The span is a range of the query line, the first line of its file.
      e.error_ = format_diagnostic(name, query, {severity::error, 1, x.span(), x.what(), {}});
      if (!e.error_.empty() && e.error_.back() == '\n') e.error_.pop_back();
      e.positioned_ = true;
    } else {
      e.error_ = std::string("relalg: ") + x.what();
    }
  } catch (...) {
    e = evaluation();
    e.error_ = "relalg: " + failure_message(std::current_exception());
  }
  return e;
}

std::vector<std::vector<std::string>> engine_db::row_cells(const source& s) {
  std::vector<std::vector<std::string>> cells;
  cells.reserve(s.row_count);
  try {
    for (const source_table& st : s.tables) {
      // A bare table name gives the table as loaded, rows in file order.
      const table t = interp_->interpreter(st.name);
      if (t.rows.size() != st.rows.size()) return {};
      for (const row& r : t.rows) {
        std::vector<std::string>& out = cells.emplace_back();
        for (const t_object& v : r) out.push_back(cell_text(v));
      }
    }
  } catch (...) {
    return {};
  }
  return cells;
}

}  // namespace grade
