// How two results differ: header parts compared one by one, row lines
// matched as multisets through counts, and the order checked only when the
// multisets agree.
#include "grade/compare.h"

#include <string_view>
#include <unordered_map>

#include "grade/column_order.h"

namespace grade {

namespace {

// What of the headers differs, in words.
std::string header_difference(const evaluation& ref, const evaluation& sub) {
  std::vector<std::string> parts;
  if (ref.name() != sub.name()) parts.push_back("the table name");
  const std::vector<std::string> rn = ref.column_names();
  const std::vector<std::string> sn = sub.column_names();
  if (rn.size() != sn.size()) {
    parts.push_back("the number of columns");
  } else {
    if (rn != sn) parts.push_back("the column names");
    if (ref.column_types() != sub.column_types()) parts.push_back("the type words");
  }
  if (parts.empty()) return "the header line";
  std::string out = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) {
    out += i + 1 == parts.size() ? " and " : ", ";
    out += parts[i];
  }
  return out;
}

// The lines of `have` that `other` lacks, counted as multisets: their
// number, the first few, and the position of the first.
struct surplus {
  std::size_t count = 0;
  std::vector<std::string> first;
  std::size_t first_at = 0;
};

surplus rows_not_in(const std::vector<std::string_view>& have,
                    const std::vector<std::string_view>& other) {
  std::unordered_map<std::string_view, std::size_t> left;
  left.reserve(other.size());
  for (const std::string_view r : other) ++left[r];
  surplus s;
  for (std::size_t i = 0; i < have.size(); ++i) {
    const auto it = left.find(have[i]);
    if (it != left.end() && it->second > 0) {
      --it->second;
      continue;
    }
    if (s.count == 0) s.first_at = i;
    if (s.first.size() < kShownRows) s.first.emplace_back(have[i]);
    ++s.count;
  }
  return s;
}

}  // namespace

std::string shown_to_student(const evaluation& ref) {
  if (ref.ok()) return ref.printed();
  return ref.error().substr(0, ref.error().find('\n'));
}

bool same_result(const evaluation& ref, const evaluation& sub, match_rules rules) {
  if (!ref.ok() || !sub.ok()) return ref.ok() == sub.ok();
  if (ref.rows_text() == sub.rows_text() && (rules.rows_only || rules.any_column_order)) return true;
  if (rules.any_column_order) return match_columns(ref, sub).has_value();
  return rules.rows_only ? false : ref.printed() == sub.printed();
}

comparison compare(const evaluation& ref, const evaluation& sub, match_rules rules) {
  comparison c;
  c.differs = !same_result(ref, sub, rules);
  if (!c.differs) return c;
  const bool rows_only = rules.rows_only || rules.any_column_order;
  if (ref.ok() != sub.ok()) {
    c.reference_failed = !ref.ok();
    c.submission_failed = !sub.ok();
    c.failure = ref.ok() ? sub.error() : shown_to_student(ref);
    return c;
  }
  c.expected_header = std::string(ref.header());
  c.got_header = std::string(sub.header());
  if (!rows_only && ref.header() != sub.header()) {
    c.header_differs = true;
    c.header_what = header_difference(ref, sub);
  }
  const std::vector<std::string_view> want = ref.row_lines();
  const std::vector<std::string_view> got = sub.row_lines();
  const surplus missing = rows_not_in(want, got);
  const surplus extra = rows_not_in(got, want);
  c.missing = missing.first;
  c.missing_count = missing.count;
  c.extra = extra.first;
  c.extra_count = extra.count;
  if (missing.count > 0) c.witnesses.push_back(ref.cells(missing.first_at));
  if (extra.count > 0) c.witnesses.push_back(sub.cells(extra.first_at));
  if (missing.count == 0 && extra.count == 0 && want != got) {
    c.order_differs = true;
    std::size_t i = 0;
    while (want[i] == got[i]) ++i;
    c.order_row = i + 1;
    c.order_expected = std::string(want[i]);
    c.order_got = std::string(got[i]);
    c.witnesses.push_back(ref.cells(i));
    c.witnesses.push_back(sub.cells(i));
  }
  return c;
}

}  // namespace grade
