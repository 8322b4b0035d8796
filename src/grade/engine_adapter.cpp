// Grading's use of the engine: cutting an input text into blocks as loading
// does, building databases from chosen row lines, and answering queries
// through a session, the failure turned into the message the driver would
// print.
#include "grade/engine_adapter.h"

#include <algorithm>
#include <map>

#include "engine/blocks.h"
#include "engine/lint.h"
#include "engine/loader.h"
#include "engine/row_text.h"

namespace grade {

namespace {

std::string cell_text(const cell& c) { return c.is_int() ? std::to_string(c.ival()) : std::string(c.text()); }

const relation& no_rows() {
  static const relation empty;
  return empty;
}

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
  block_reader blocks(*s.text);
  s.query = std::string(blocks.query());
  // Every block in order; one whose table a later block replaces is left out.
  std::vector<source_table> all;
  std::vector<bool> replaced;
  std::map<std::string, std::size_t, std::less<>> latest;
  input_block b;
  while (blocks.next(b)) {
    s.lines_after_query = true;
    source_table t;
    t.name = parse_header(b.header).name;
    t.header = b.header;
    for_each_row_line(b.rows, b.first_row_line, [&t](uint32_t, std::string_view line) { t.rows.push_back(line); });
    const auto old = latest.find(t.name);
    if (old != latest.end()) replaced[old->second] = true;
    latest[t.name] = all.size();
    all.push_back(std::move(t));
    replaced.push_back(false);
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
  e.restored_printed_ = std::move(printed);
  return e;
}

const std::string& evaluation::printed() const { return answer_ ? answer_->printed() : restored_printed_; }

const relation& evaluation::result() const { return answer_ ? answer_->result() : no_rows(); }

std::string_view evaluation::header() const {
  const std::string_view p = printed();
  return p.substr(0, std::min(p.size(), p.find('\n')));
}

std::string_view evaluation::rows_text() const {
  const std::string_view p = printed();
  if (p.empty()) return {};
  return p.substr(p.find('\n') + 1);
}

std::size_t evaluation::row_count() const {
  if (answer_) return answer_->result().rows.size();
  const auto lines = static_cast<std::size_t>(std::count(restored_printed_.begin(), restored_printed_.end(), '\n'));
  return lines > 0 ? lines - 1 : 0;
}

std::vector<std::string_view> evaluation::row_lines() const {
  std::vector<std::string_view> lines;
  lines.reserve(row_count());
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
  const relation& r = result();
  if (i >= r.rows.size()) return out;
  const rowref row = r.rows[i];
  for (uint32_t k = 0; k < row.w; ++k) out.push_back(cell_text(row.c[k]));
  return out;
}

std::string evaluation::name() const { return result().name; }
std::vector<std::string> evaluation::column_names() const { return result().colnames; }
std::vector<std::string> evaluation::column_types() const { return result().coltypes; }

// ---- Databases ---------------------------------------------------------------------------

engine_db::engine_db(const source& s, const choice& c, const engine_options& opt) {
  table_map tables;
  auto next = c.rows.begin();
  for (std::size_t t = 0; t < s.tables.size(); ++t) {
    const source_table& st = s.tables[t];
    const std::uint32_t stop = st.first + static_cast<std::uint32_t>(st.rows.size());
    stored_table* into = c.keeps(t) ? &add_table(tables, st.header) : nullptr;
    for (; next != c.rows.end() && *next < stop; ++next) {
      if (into != nullptr) into->add_row(st.rows[*next - st.first]);
    }
  }
  db_ = std::make_unique<session>(std::move(tables));
  limits_.row_limit = opt.max_rows;
  limits_.memory_budget = opt.memory_budget;
  extended_ = opt.extended;
}

engine_db::engine_db(engine_db&&) noexcept = default;
engine_db& engine_db::operator=(engine_db&&) noexcept = default;
engine_db::~engine_db() = default;

prepared_query engine_db::prepare(const std::string& query) const {
  prepare_options o;
  o.extended = extended_;
  return db_->prepare(query, o);
}

std::vector<diagnostic> engine_db::warnings(const std::string& query) const {
  try {
    prepare_options o;
    o.warn = true;
    o.extended = extended_;
    std::vector<diagnostic> found = db_->prepare(query, o).warnings();
    order_warnings(found);
    return found;
  } catch (...) {
    return {};
  }
}

evaluation engine_db::evaluate(const std::string& query, std::string_view name) const {
  try {
    return evaluate(prepare(query), name);
  } catch (...) {
    // Reading the query ran out of memory.
    evaluation e;
    e.failure_ = unplaced(severity::error, "out of memory: the tables and results of this query do not fit");
    e.error_ = "relalg: " + e.failure_.message;
    return e;
  }
}

evaluation engine_db::evaluate(const prepared_query& query, std::string_view name) const {
  evaluation e;
  auto a = std::make_shared<answer>(db_->run(query, {limits_, nullptr}));
  if (a->ok()) {
    e.ok_ = true;
    e.answer_ = std::move(a);
    return e;
  }
  e.failure_ = a->failure();
  e.positioned_ = e.failure_.placed();
  // The span is a range of the query line, the first line of its file.
  e.error_ = format_diagnostic(name, query.query_plan().line, e.failure_);
  if (!e.error_.empty() && e.error_.back() == '\n') e.error_.pop_back();
  return e;
}

std::vector<std::vector<std::string>> engine_db::row_cells(const source& s) const {
  std::vector<std::vector<std::string>> cells;
  cells.reserve(s.row_count);
  for (const source_table& st : s.tables) {
    // A table as loaded, rows in file order.
    const stored_table* t = db_->find(st.name);
    if (t == nullptr || t->row_count() != st.rows.size()) return {};
    for (std::size_t i = 0; i < t->row_count(); ++i) {
      const rowref r = t->row(i);
      std::vector<std::string>& out = cells.emplace_back();
      for (uint32_t k = 0; k < r.w; ++k) out.push_back(cell_text(r.c[k]));
    }
  }
  return cells;
}

}  // namespace grade
