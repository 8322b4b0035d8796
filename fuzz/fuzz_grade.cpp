// Grading on arbitrary input. The first line is the reference query, the
// second the submission's, the rest the tables. Whenever the two results
// differ (in full, or in their rows only), the counterexample found must be
// a choice of rows on which they still differ, 1-minimal when it says so,
// and its input file must load back to the same two results.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "grade/compare.h"
#include "grade/counterexample.h"
#include "grade/engine_adapter.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view input) {
  std::fprintf(stderr, "fuzz_grade: %s\n  input %zu bytes\n", what, input.size());
  std::abort();
}

grade::engine_options options() {
  // Nested products grow geometrically; keep every run small and quick.
  grade::engine_options o;
  o.max_rows = 20000;
  o.memory_budget = std::size_t{256} << 20;
  return o;
}

bool differs(const grade::source& db, const grade::choice& c, const std::string& ref,
             const std::string& sub, bool rows_only) {
  grade::engine_db e(db, c, options());
  return !grade::same_result(e.evaluate(ref), e.evaluate(sub), rows_only);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = std::min(input.find('\n'), input.size());
  const std::size_t second = std::min(input.find('\n', first + 1), input.size());
  if (first == input.size()) return 0;
  const std::string ref(input.substr(0, first));
  const std::string sub(input.substr(first + 1, second - first - 1));
  const std::string text = ref + std::string(input.substr(std::min(second, input.size())));
  const grade::source db = grade::read_source(text);
  grade::engine_db full(db, options());
  const grade::evaluation r = full.evaluate(ref);
  const grade::evaluation s = full.evaluate(sub);
  const auto cells = full.row_cells(db);
  for (const bool rows_only : {false, true}) {
    const grade::comparison c = grade::compare(r, s, rows_only);
    if (c.differs != !grade::same_result(r, s, rows_only)) fail("compare and same_result disagree", input);
    if (!c.differs) continue;
    grade::counterexample_request req;
    req.db = &db;
    req.start = grade::every_row(db).rows;
    req.reference_query = ref;
    req.submission_query = sub;
    req.witnesses = c.witnesses;
    req.cells = &cells;
    req.rows_only = rows_only;
    req.options = options();
    req.budget = 2000;
    const grade::counterexample cx = grade::find_counterexample(req);
    const auto& rows = cx.rows.rows;
    if (cx.row_count != rows.size()) fail("row count", input);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i] >= db.row_count || (i > 0 && rows[i - 1] >= rows[i])) fail("not a choice of rows", input);
    }
    if (!differs(db, cx.rows, ref, sub, rows_only)) fail("the counterexample does not separate", input);
    if (cx.minimal) {
      for (std::size_t i = 0; i < rows.size(); ++i) {
        grade::choice less = cx.rows;
        less.rows.erase(less.rows.begin() + static_cast<long>(i));
        if (differs(db, less, ref, sub, rows_only)) fail("the counterexample is not 1-minimal", input);
      }
    }
    grade::engine_db back(grade::read_source(cx.input), options());
    const grade::evaluation br = back.evaluate(ref, req.reference_name);
    const grade::evaluation bs = back.evaluate(sub, req.submission_name);
    if (br.printed() != cx.reference.printed() || br.error() != cx.reference.error() ||
        bs.printed() != cx.submission.printed() || bs.error() != cx.submission.error()) {
      fail("the counterexample's file loads to other results", input);
    }
  }
  return 0;
}
