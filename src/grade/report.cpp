// Writing the reports. JSON is produced by hand: the objects are flat and
// their fields fixed, and strings need only the escaping below.
#include "grade/report.h"

#include <cstdio>
#include <map>
#include <optional>

#include "engine/json.h"
#include "engine/show_text.h"
#include "grade/student_warnings.h"

namespace grade {

namespace {

std::string optional_string(const std::string* s) { return s == nullptr ? "null" : json_string(*s); }

// {"begin":B,"end":E}: bytes of the query line from 0, the end excluded.
std::string span_json(const std::optional<source_span>& s) {
  if (!s) return "null";
  return "{\"begin\":" + std::to_string(s->begin) + ",\"end\":" + std::to_string(s->end) + "}";
}

std::string string_array(const std::vector<std::string>& v) {
  std::string out = "[";
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i > 0) out += ',';
    out += json_string(v[i]);
  }
  return out + "]";
}

std::string shown(const evaluation& e) { return e.ok() ? e.printed() : e.error(); }

// A path in the text report: invisible bytes as \xHH, so that no file name
// can end a line or forge another.
std::string shown_path(const std::string& path) { return visible_text(path); }

}  // namespace

std::string json_string(std::string_view s) { return ::json_string(s, json_del::raw); }

std::string format_points(double p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", p);
  return buf;
}

std::string verdict_text(const outcome& o) {
  if (o.what != verdict::correct) return verdict_name(o.what);
  return o.how == equivalence::proved && !o.proof.empty() ? "correct (proved)" : "correct (tested)";
}

std::string verdict_counts(const std::vector<graded_item>& items) {
  std::size_t count[3] = {0, 0, 0};
  std::size_t proved = 0;
  for (const graded_item& it : items) {
    ++count[static_cast<int>(it.out->what)];
    if (it.out->what == verdict::correct && it.out->how == equivalence::proved && !it.out->proof.empty()) ++proved;
  }
  return std::to_string(count[0]) + " correct (" + std::to_string(proved) + " proved, " +
         std::to_string(count[0] - proved) + " tested), " + std::to_string(count[1]) + " wrong, " +
         std::to_string(count[2]) + " in error";
}

void write_text_item(std::ostream& out, const graded_item& it, const report_layout& l) {
  out << "== " << shown_path(it.sub->path) << ": " << verdict_text(*it.out);
  if (l.folders) out << " (" << format_points(it.score) << " of " << format_points(it.max_score) << ")";
  out << "\n" << it.message << "\n\n";
}

void write_text_summary(std::ostream& out, const std::vector<graded_item>& items, const report_layout& l) {
  struct folder_total {
    double score = 0;
    double max = 0;
  };
  std::map<std::string, folder_total> totals;
  std::vector<std::string> order;
  for (const graded_item& it : items) {
    if (l.folders) {
      if (totals.count(it.folder) == 0) order.push_back(it.folder);
      totals[it.folder].score += it.score;
      totals[it.folder].max += it.max_score;
    }
  }
  if (l.folders) {
    for (const std::string& f : order) {
      out << shown_path(f) << ": " << format_points(totals[f].score) << " of " << format_points(totals[f].max)
          << " points\n";
    }
  }
  out << items.size() << (items.size() == 1 ? " submission" : " submissions") << " graded: "
      << verdict_counts(items) << "\n";
}

void write_text(std::ostream& out, const std::vector<graded_item>& items, const report_layout& l) {
  for (const graded_item& it : items) write_text_item(out, it, l);
  write_text_summary(out, items, l);
}

void write_json_lines(std::ostream& out, const std::vector<graded_item>& items) {
  for (const graded_item& it : items) out << json_line(it);
}

std::string json_line(const graded_item& it) {
  {
    const outcome& o = *it.out;
    const comparison& d = o.diff;
    const counterexample* cx = o.cx ? &*o.cx : nullptr;
    std::string line = "{\"submission\":" + json_string(it.sub->path);
    line += ",\"exercise\":" + (it.ex->name.empty() ? std::string("null") : json_string(it.ex->name));
    line += ",\"verdict\":" + json_string(verdict_name(o.what));
    // A correct verdict is proved or tested; the proof is the prover's
    // certificate, a JSON object.
    const bool correct = o.what == verdict::correct;
    const bool proved = correct && o.how == equivalence::proved && !o.proof.empty();
    line += ",\"equivalence\":" + (!correct ? std::string("null") : proved ? "\"proved\"" : "\"tested\"");
    line += ",\"proof\":" + (proved ? o.proof : std::string("null"));
    line += ",\"score\":" + format_points(it.score);
    line += ",\"max_score\":" + format_points(it.max_score);
    line += ",\"message\":" + json_string(it.message);
    line += std::string(",\"header_differs\":") + (d.header_differs ? "true" : "false");
    line += ",\"missing\":" + string_array(d.missing);
    line += ",\"extra\":" + string_array(d.extra);
    line += ",\"missing_count\":" + std::to_string(d.missing_count);
    line += ",\"extra_count\":" + std::to_string(d.extra_count);
    const bool placed = o.what != verdict::correct && !o.database.empty();
    line += ",\"database\":" + optional_string(placed ? &o.database : nullptr);
    line += ",\"sample\":" + (placed && o.sample > 0 ? std::to_string(o.sample) : std::string("null"));
    line += std::string(",\"hidden\":") + (o.hidden ? "true" : "false");
    // The kind of database the verdict was reached on (a hidden one counts
    // as given): none for a verdict reached on no database.
    const bool somewhere = o.what != verdict::correct && (!o.database.empty() || o.hidden || o.kind == database_kind::built ||
                                                     o.kind == database_kind::prover);
    line += ",\"database_kind\":" + (somewhere ? json_string(database_kind_name(o.kind)) : std::string("null"));
    line += ",\"compared\":{\"given\":" + std::to_string(o.databases) + ",\"part\":" + std::to_string(o.samples) +
            ",\"built\":" + std::to_string(o.built) + "}";
    line += ",\"counterexample\":" + optional_string(cx != nullptr ? &cx->input : nullptr);
    line += ",\"counterexample_rows\":" + (cx != nullptr ? std::to_string(cx->row_count) : std::string("null"));
    line += ",\"counterexample_minimal\":" +
            (cx != nullptr ? std::string(cx->minimal ? "true" : "false") : std::string("null"));
    const std::string ref = cx != nullptr ? shown_to_student(cx->reference) : std::string();
    const std::string sub = cx != nullptr ? shown(cx->submission) : std::string();
    line += ",\"reference_result\":" + optional_string(cx != nullptr ? &ref : nullptr);
    line += ",\"submission_result\":" + optional_string(cx != nullptr ? &sub : nullptr);
    // The warnings' first lines; where the query goes wrong on the
    // counterexample, as byte ranges of its line.
    std::vector<std::string> warnings;
    for (const std::string& w : student_warnings(o, *it.sub)) warnings.push_back(first_line(w));
    line += ",\"warnings\":" + string_array(warnings);
    const where_wrong& w = o.where;
    line += ",\"trace\":" + (cx != nullptr && !w.trace.empty() ? json_string(w.trace) : std::string("null"));
    line += ",\"lost_at\":" + span_json(cx != nullptr ? w.lost_at : std::nullopt);
    line += ",\"extra_at\":" + span_json(cx != nullptr ? w.extra_at : std::nullopt);
    return line + "}\n";
  }
}

std::string gradescope_results(const std::vector<graded_item>& items, const report_layout& l,
                               const std::string& note) {
  double total = 0;
  std::string tests;
  for (const graded_item& it : items) {
    total += it.score;
    const bool by_exercise = l.folders && l.submission_args == 1;
    const std::string& name = by_exercise ? it.ex->name : it.sub->path;
    if (!tests.empty()) tests += ",\n";
    tests += "{\"name\":" + json_string(name) + ",\"score\":" + format_points(it.score) +
             ",\"max_score\":" + format_points(it.max_score) + ",\"status\":" +
             (it.out->what == verdict::correct ? "\"passed\"" : "\"failed\"") +
             ",\"output\":" + json_string(it.message) + ",\"output_format\":\"text\"" +
             ",\"visibility\":" + json_string(it.ex->visibility) + "}";
  }
  const std::string output = note.empty() ? std::string() : ",\"output\":" + json_string(note);
  return "{\"score\":" + format_points(total) + output + ",\"tests\":[\n" + tests + "\n]}\n";
}

std::string gradescope_failure(const std::string& message) {
  return "{\"score\":0,\"output\":" + json_string(message) + ",\"tests\":[]}\n";
}

}  // namespace grade
