// Wording of the feedback. Result rows are shown indented by two blanks, so
// that an empty row (of a table without columns) is still seen; the
// counterexample and the results on it are shown verbatim between marker
// lines, so that they can be copied as they are.
#include "grade/feedback.h"

#include "engine/show_text.h"
#include "grade/student_warnings.h"

namespace grade {

namespace {

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A count with a comma between each three digits: 1,850.
std::string grouped(std::size_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string where(const outcome& out, const grade_options& o) {
  if (out.kind == database_kind::prover) {
    return "a database that the prover built (" + out.built_what +
           "), which keeps every key and reference of the exercise's data";
  }
  if (out.kind == database_kind::built) {
    return "a database that grading built (" + out.built_what +
           "), which keeps every key and reference of the exercise's data";
  }
  std::string w = "the database in " + quoted_path(out.database);
  if (out.sample == 0) return w;
  return "random part " + std::to_string(out.sample) + " of " + w + " (--search " +
         std::to_string(o.search) + ", seed " + std::to_string(o.seed) + ")";
}

void list_rows(std::string& m, const char* what, std::size_t count,
               const std::vector<std::string>& shown) {
  if (count == 0) return;
  m += what;
  m += ": " + std::to_string(count);
  if (count > shown.size()) m += ", the first " + std::to_string(shown.size());
  m += "\n";
  for (const std::string& r : shown) m += "  " + r + "\n";
}

// A printed result with its final line feed, or the failure message.
std::string shown(const evaluation& e) { return e.ok() ? e.printed() : e.error() + "\n"; }

void describe_difference(std::string& m, const comparison& c) {
  if (c.reference_failed) {
    m += "The reference query fails there, and yours does not:\n" + c.failure + "\n";
    return;
  }
  if (c.header_differs) {
    m += "The header differs (" + c.header_what + "):\n";
    m += "  expected: " + c.expected_header + "\n";
    m += "  yours:    " + c.got_header + "\n";
  }
  list_rows(m, "Missing rows (in the reference's result, not in yours)", c.missing_count, c.missing);
  list_rows(m, "Extra rows (in your result, not in the reference's)", c.extra_count, c.extra);
  if (c.order_differs) {
    m += "Your result has the right rows, in another order: row " + std::to_string(c.order_row) +
         " is " + c.order_got + ", expected " + c.order_expected +
         ". (union, minus, product and project sort their rows; select, rename and a table name "
         "keep the order of their operand.)\n";
  } else if (c.header_differs && c.missing_count == 0 && c.extra_count == 0) {
    m += "The rows are right.\n";
  }
}

void describe_counterexample(std::string& m, const counterexample& cx, bool extended) {
  if (cx.row_count == 0) {
    m += "The difference shows even with no rows at all, on the tables' headers alone";
  } else {
    m += "A smallest database that shows the difference has " + plural(cx.row_count, "row", "rows") +
         (cx.row_count == 1 ? "; without it" : "; without any one of them") +
         (cx.takes_partners ? " (and the rows that refer to it)" : "") + " the two results agree";
  }
  m += cx.minimal ? ".\n"
                  : " (the search stopped after " + std::to_string(cx.tests) +
                        " evaluations; a smaller one may exist).\n";
  m += std::string(extended ? kExtendedInputMarker : kInputMarker) + "\n" + cx.input;
  m += std::string(kReferenceMarker) + "\n" + shown_to_student(cx.reference);
  if (!cx.reference.ok()) m += "\n";
  m += std::string(kSubmissionMarker) + "\n" + shown(cx.submission);
  m += kEndMarker;
  m += "\n";
}

// Where the query goes wrong on its counterexample, and the query's
// operators with their rows there.
void describe_where(std::string& m, const where_wrong& w) {
  if (!w.lost.empty()) m += "Where it goes wrong: " + w.lost + ".\n";
  if (!w.extra.empty()) m += "Where it goes wrong: " + w.extra + ".\n";
  if (w.trace.empty()) return;
  m += std::string(kTraceMarker) + "\n" + w.trace;
  if (w.trace.back() != '\n') m += "\n";
  m += kEndMarker;
  m += "\n";
}

void list_warnings(std::string& m, const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) m += w;
}

}  // namespace

std::string feedback(const outcome& out, const submission_input& sub, const grade_options& o) {
  std::string m;
  const std::vector<std::string> warnings = student_warnings(out, sub);
  const bool rows = o.rows_only || o.any_column_order;
  const char* result = rows ? "rows" : "result";
  const std::string differ = rows ? " differ" : " differs";
  switch (out.what) {
    case verdict::correct:
      if (out.how == equivalence::proved) {
        m = std::string("Correct (proved): the same ") + result +
            " as the reference on every database with the exercise's tables. Compared on ";
      } else {
        m = std::string("Correct (tested): the same ") + result + " as the reference on ";
      }
      if (out.built == 0) {
        m += plural(out.databases, "database", "databases");
        if (out.samples > 0) {
          m += " and on " + plural(out.samples, "random part", "random parts") + " of " +
               (out.databases == 1 ? "it" : "them");
        }
      } else {
        m += grouped(out.databases) + (out.databases == 1 ? " database" : " databases") + " of the exercise";
        if (out.samples > 0) {
          m += ", " + grouped(out.samples) + (out.samples == 1 ? " random part" : " random parts") + " of " +
               (out.databases == 1 ? "it" : "them");
        }
        m += " and " + grouped(out.built) + (out.built == 1 ? " database" : " databases") + " built from the queries";
      }
      m += ".\n";
      list_warnings(m, warnings);
      break;
    case verdict::error:
      if (!sub.readable) {
        m = "Error: your submission cannot be read:\n" + out.failure + "\n";
      } else if (out.hidden) {
        m = "Error: your query fails on a hidden database of the exercise:\n" + out.failure + "\n";
      } else if (out.database.empty() && out.kind != database_kind::built && out.kind != database_kind::prover) {
        m = "Error: your query could not be graded within the grader's limits:\n" + out.failure + "\n";
      } else {
        m = "Error: your query fails on " + where(out, o) + ":\n" + out.failure + "\n";
      }
      list_warnings(m, warnings);
      break;
    case verdict::wrong:
      if (sub.missing) {
        m = "Wrong: " + sub.problem + "\n";
        break;
      }
      if (out.hidden) {
        m = std::string("Wrong: your ") + result +
            differ + " from the reference's on a hidden database of the exercise, whose name and rows are "
            "not shown";
        const bool shown =
            !out.database.empty() || out.kind == database_kind::built || out.kind == database_kind::prover;
        m += !shown ? ".\n"
                    : (rows ? "; they differ on " : "; it differs on ") + where(out, o) + " too" +
                          (out.sample > 0 ? ", though not on the whole of it.\n" : ".\n");
        list_warnings(m, warnings);
        if (!shown) {
          m += "None of the databases shown shows the difference: check your query against the "
               "exercise's wording once more.\n";
          break;
        }
      } else {
        m = std::string("Wrong: your ") + result + differ + " from the reference's on " + where(out, o) +
            (out.sample > 0 ? ", though not on the whole of it.\n" : ".\n");
        list_warnings(m, warnings);
      }
      describe_difference(m, out.diff);
      if (out.cx) {
        describe_counterexample(m, *out.cx, o.extended);
        describe_where(m, out.where);
      }
      if (!out.search_stopped.empty()) {
        m += "The search for a smallest database that shows the difference " + out.search_stopped +
             ", so none is shown.\n";
      }
      break;
  }
  if (sub.dropped_bom) {
    m += "Note: your file begins with a byte order mark (\\xef\\xbb\\xbf), which some editors add; it was "
         "dropped before grading.\n";
  }
  if (sub.dropped_cr) {
    m += "Note: your query line ends in a carriage return (\\x0d), as lines of a file saved with Windows line "
         "ends do; it was dropped before grading.\n";
  }
  if (sub.ignored_lines) {
    m += "Note: only the first line of " + quoted_path(sub.path) +
         " is graded, as the query; the lines after it are ignored.\n";
  }
  m.pop_back();
  return m;
}

}  // namespace grade
