// The PrairieLearn and CodeRunner forms of grading's results.
#include "grade/platforms.h"

#include <algorithm>
#include <limits>

#include "grade/feedback.h"

namespace grade {

namespace {

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

// The points of all items, and those earned.
std::pair<double, double> totals(const std::vector<graded_item>& items) {
  double score = 0;
  double max = 0;
  for (const graded_item& it : items) {
    score += it.score;
    max += it.max_score;
  }
  return {score, max};
}

// Earned over possible, 0 to 1; with nothing to earn, 1 when all are correct.
double fraction(const std::vector<graded_item>& items) {
  const auto [score, max] = totals(items);
  if (max > 0) return std::clamp(score / max, 0.0, 1.0);
  return std::all_of(items.begin(), items.end(),
                     [](const graded_item& it) { return it.out->what == verdict::correct; })
             ? 1.0
             : 0.0;
}

std::string test_name(const graded_item& it, const report_layout& l) {
  return l.folders && l.submission_args == 1 ? it.ex->name : it.sub->path;
}

// At most `cap` bytes of the text, cut where no UTF-8 character is split,
// with a note when cut.
std::string cut(const std::string& text, std::size_t cap) {
  if (text.size() <= cap) return text;
  std::size_t at = cap;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
  return text.substr(0, at) + "\n[... cut: the feedback is " + std::to_string(text.size()) +
         " bytes long, more than PrairieLearn shows]";
}

std::string prairielearn_with(const std::vector<graded_item>& items, const report_layout& l, std::size_t cap) {
  const auto [score, max] = totals(items);
  std::string output;
  std::string tests;
  for (const graded_item& it : items) {
    const std::string name = test_name(it, l);
    output += "== " + name + ": " + verdict_text(*it.out) + " (" + format_points(it.score) + " of " +
              format_points(it.max_score) + ")\n";
    const std::string description =
        l.folders ? "Exercise " + it.ex->name + ": the answer in " + it.sub->path : "The query in " + it.sub->path;
    if (!tests.empty()) tests += ",\n";
    tests += "{\"name\":" + json_string(name) + ",\"description\":" + json_string(description) +
             ",\"points\":" + format_points(it.score) + ",\"max_points\":" + format_points(it.max_score) +
             ",\"message\":" + json_string(first_line(it.message)) + ",\"output\":" + json_string(cut(it.message, cap)) +
             "}";
  }
  const std::string message = format_points(score) + " of " + format_points(max) + " points: " + verdict_counts(items);
  return "{\"gradable\":true,\"score\":" + format_points(fraction(items)) + ",\"message\":" + json_string(message) +
         ",\"output\":" + json_string(output) + ",\"tests\":[\n" + tests + "\n]}\n";
}


// How a database is named to a student: its file name without folders, or
// nothing but that it is hidden.
std::string shown_name(const database_input& db) {
  if (db.hidden) return "a hidden database";
  const std::size_t slash = db.label.find_last_of('/');
  return slash == std::string::npos ? db.label : db.label.substr(slash + 1);
}

// The rows of testresults for one item: the databases whose verdict is
// known, in the order they were compared.
void database_rows(const graded_item& it, const std::string& prefix, std::vector<std::string>& rows) {
  const outcome& o = *it.out;
  const auto row = [&](bool ok, const std::string& db, const std::string& what) {
    rows.push_back(std::string("[") + (ok ? "true" : "false") + "," + json_string(prefix + db) + "," +
                   json_string(what) + "]");
  };
  const std::vector<database_input>& dbs = it.ex->databases;
  if (o.what == verdict::correct) {
    const std::string parts =
        o.samples > 0 ? " (and on " + std::to_string(o.samples) + " random parts of the databases)" : "";
    for (std::size_t d = 0; d < dbs.size() && d < o.databases; ++d) {
      row(true, shown_name(dbs[d]), std::string("the same result as the reference") + (d == 0 ? parts : ""));
    }
    return;
  }
  const std::string what = o.what == verdict::error ? "your query fails here" : "your result differs from the reference's";
  if (o.hidden) {
    row(false, "a hidden database", what);
    return;
  }
  // A missing answer, or a grading that a limit stopped, has no database.
  if (o.database.empty()) return;
  for (const database_input& db : dbs) {
    if (db.label != o.database) {
      // Before the one where it went wrong, an error may hide a difference.
      if (o.what == verdict::wrong) row(true, shown_name(db), "the same result as the reference");
      continue;
    }
    if (o.sample > 0) {
      if (o.what == verdict::wrong) row(true, shown_name(db), "the same result as the reference on the whole database");
      row(false, shown_name(db),
          std::string(o.what == verdict::error ? "your query fails on random part " : "your result differs on random part ") +
              std::to_string(o.sample));
    } else {
      row(false, shown_name(db), what);
    }
    return;
  }
}

}  // namespace

std::string prairielearn_results(const std::vector<graded_item>& items, const report_layout& l,
                                 std::size_t limit) {
  std::size_t cap = std::numeric_limits<std::size_t>::max();
  for (;;) {
    std::string results = prairielearn_with(items, l, cap);
    std::size_t longest = 0;
    for (const graded_item& it : items) longest = std::max(longest, it.message.size());
    // Past the point where no output is cut any shorter, it stays as it is.
    if (results.size() <= limit || cap == 0 || longest == 0) return results;
    const std::size_t shrunk = static_cast<std::size_t>(static_cast<double>(std::min(cap, longest)) *
                                                        static_cast<double>(limit) /
                                                        static_cast<double>(results.size()) * 0.9);
    cap = std::min(shrunk, std::min(cap, longest) - 1);
  }
}

std::string prairielearn_failure(const std::string& message) {
  return "{\"gradable\":false,\"score\":0,\"message\":" + json_string(message) + ",\"output\":" +
         json_string(message) + ",\"tests\":[]}\n";
}

std::string html_escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

// The feedback as HTML: sentences in paragraphs; rows (indented lines),
// messages with their excerpt and caret, and the counterexample with the
// results on it in <pre>.
std::string feedback_html(const std::string& message) {
  std::string html;
  std::string pre;
  bool in_counterexample = false;
  bool in_message = false;
  const auto flush = [&] {
    if (!pre.empty()) html += "<pre>" + html_escaped(pre) + "</pre>";
    pre.clear();
  };
  std::size_t at = 0;
  while (at <= message.size()) {
    const std::size_t nl = std::min(message.find('\n', at), message.size());
    const std::string line = message.substr(at, nl - at);
    at = nl + 1;
    if (line == kInputMarker) in_counterexample = true;
    if (line.rfind("relalg: ", 0) == 0) in_message = true;
    if (line.rfind("Note: ", 0) == 0) in_message = false;
    if (in_counterexample || in_message || line.rfind("  ", 0) == 0) {
      pre += line + "\n";
    } else {
      flush();
      html += "<p>" + html_escaped(line) + "</p>";
    }
    if (line == kEndMarker) {
      in_counterexample = false;
      flush();
    }
  }
  flush();
  return html;
}

}  // namespace

std::string coderunner_result(const std::vector<graded_item>& items) {
  std::string prologue;
  std::vector<std::string> rows{"[\"iscorrect\",\"Database\",\"Result\"]"};
  for (const graded_item& it : items) {
    const std::string prefix = items.size() > 1 ? it.ex->name + ": " : std::string();
    if (items.size() > 1) prologue += "<h4>" + html_escaped(it.ex->name) + "</h4>";
    prologue += feedback_html(it.message);
    database_rows(it, prefix, rows);
  }
  std::string results;
  for (const std::string& r : rows) results += (results.empty() ? "" : ",") + r;
  return "{\"fraction\":" + format_points(fraction(items)) + ",\"prologuehtml\":" + json_string(prologue) +
         ",\"testresults\":[" + results + "],\"showdifferences\":false}\n";
}

std::string coderunner_failure(const std::string& message) {
  return "{\"fraction\":0,\"prologuehtml\":" +
         json_string("<p>Grading could not run; please tell your teacher:</p><pre>" + html_escaped(message) +
                     "</pre>") +
         ",\"testresults\":[[\"iscorrect\",\"Database\",\"Result\"]],\"showdifferences\":false}\n";
}

}  // namespace grade
