// Giving a preorder values. Integers between two constants count up from
// the lower one (down from the upper one when there is no lower); free
// integers are small positive numbers. Strings are short quoted letters
// where they fit ('a', 'b', ...), like the strings of users' tables, or
// else the lower bound extended by a letter.
#include "prove/realize.h"

#include <algorithm>
#include <optional>
#include <set>

namespace prove {

namespace {

using bound = std::optional<value>;

// A string strictly between lo and hi (either missing: no bound).
std::optional<std::string> text_between(const std::optional<std::string>& lo, const std::optional<std::string>& hi) {
  const std::string a = lo.value_or("");
  if (!hi) return a + "a";
  const std::string& b = *hi;
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i < a.size()) return a + "a";  // a[i] < b[i]: anything after a stays below b
  // a is a proper prefix of b: a byte below b's next one, or b's next one
  // followed by something below the rest of b.
  const auto c = static_cast<unsigned char>(b[i]);
  for (const char d : std::string("aA0#!")) {
    if (static_cast<unsigned char>(d) < c) return a + d;
  }
  if (c > 0) return a + static_cast<char>(c - 1) + "a";
  if (i + 1 < b.size()) {
    const std::optional<std::string> rest = text_between(std::nullopt, b.substr(i + 1));
    if (rest) return a + '\0' + *rest;
  }
  return std::nullopt;
}

// k values strictly between lo and hi, ascending, none in `used`.
bool fill(kind k, const bound& lo, const bound& hi, std::size_t count, std::vector<value>& out) {
  if (k == kind::integer) {
    int64_t start = 1;
    if (lo) {
      start = static_cast<int64_t>(lo->i) + 1;
    } else if (hi) {
      start = std::min<int64_t>(1, static_cast<int64_t>(hi->i) - static_cast<int64_t>(count));
    }
    for (std::size_t n = 0; n < count; ++n) {
      const int64_t v = start + static_cast<int64_t>(n);
      if (v > INT32_MAX || (hi && v >= hi->i)) return false;
      out.push_back(value::of_int(static_cast<int32_t>(v)));
    }
    return true;
  }
  // Quoted letters that fit, else a chain of strings from the lower bound.
  std::vector<std::string> pool;
  for (char c = 'a'; c <= 'z'; ++c) {
    const std::string s = std::string("'") + c + "'";
    if ((!lo || lo->s < s) && (!hi || s < hi->s)) pool.push_back(s);
  }
  if (pool.size() >= count) {
    for (std::size_t n = 0; n < count; ++n) out.push_back(value::of_text(pool[n]));
    return true;
  }
  std::optional<std::string> at = lo ? std::optional<std::string>(lo->s) : std::nullopt;
  const std::optional<std::string> top = hi ? std::optional<std::string>(hi->s) : std::nullopt;
  for (std::size_t n = 0; n < count; ++n) {
    at = text_between(at, top);
    if (!at || (lo && !(lo->s < *at)) || (top && !(*at < *top))) return false;
    out.push_back(value::of_text(*at));
  }
  return true;
}

// The value of every class of one kind's layout.
bool class_values(const kind_layout& l, std::vector<value>& out) {
  int32_t classes = 0;
  for (const int32_t r : l.rank) classes = std::max(classes, r + 1);
  std::vector<bound> fixed(static_cast<std::size_t>(classes));
  for (std::size_t c = 0; c < l.constants.size(); ++c) fixed[static_cast<std::size_t>(l.rank[c])] = l.constants[c];
  out.assign(static_cast<std::size_t>(classes), value());
  bound lo;
  std::size_t run_start = 0;
  for (std::size_t c = 0; c <= fixed.size(); ++c) {
    if (c < fixed.size() && !fixed[c]) continue;
    const bound hi = c < fixed.size() ? fixed[c] : bound();
    std::vector<value> run;
    if (!fill(l.k, lo, hi, c - run_start, run)) return false;
    std::copy(run.begin(), run.end(), out.begin() + static_cast<std::ptrdiff_t>(run_start));
    if (c < fixed.size()) out[c] = *fixed[c];
    lo = hi;
    run_start = c + 1;
  }
  return true;
}

}  // namespace

bool realize(const conjunct& w, const kind_layout& ints, const kind_layout& texts, std::vector<value>& out) {
  out.assign(w.terms.size(), value());
  std::vector<bool> done(w.terms.size(), false);
  std::set<std::string> used_text;
  std::set<int32_t> used_int;
  for (const kind_layout* l : {&ints, &texts}) {
    std::vector<value> v;
    if (!class_values(*l, v)) return false;
    for (std::size_t s = 0; s < l->terms.size(); ++s) {
      const auto t = static_cast<std::size_t>(l->terms[s]);
      out[t] = v[static_cast<std::size_t>(l->rank[l->constants.size() + s])];
      done[t] = true;
    }
    for (const value& x : v) {
      if (x.k == kind::integer) used_int.insert(x.i);
      else used_text.insert(x.s);
    }
  }
  for (std::size_t t = 0; t < w.terms.size(); ++t) {
    const term& x = w.terms[t];
    if (x.constant) {
      out[t] = x.v;
      if (x.v.k == kind::integer) used_int.insert(x.v.i);
      else used_text.insert(x.v.s);
      done[t] = true;
    }
  }
  // Terms outside the layouts: values of their own. A row line cannot write
  // an empty string before a cell that is not empty or 0, so one free
  // integer after an empty string takes 0 when no other term has it.
  if (used_int.count(0) == 0) {
    for (const atom& a : w.atoms) {
      bool after_empty = false;
      for (const int32_t t : a.args) {
        const auto i = static_cast<std::size_t>(t);
        if (done[i] && out[i].k == kind::text && out[i].s.empty()) after_empty = true;
        if (after_empty && !done[i] && w.terms[i].k == kind::integer && used_int.count(0) == 0) {
          out[i] = value::of_int(0);
          done[i] = true;
          used_int.insert(0);
        }
      }
    }
  }
  int32_t next_int = 1;
  char next_letter = 'a';
  std::string next_chain = "v";
  for (std::size_t t = 0; t < w.terms.size(); ++t) {
    if (done[t]) continue;
    if (w.terms[t].k == kind::integer) {
      while (used_int.count(next_int) != 0) ++next_int;
      out[t] = value::of_int(next_int);
      used_int.insert(next_int);
      continue;
    }
    std::string s;
    do {
      if (next_letter <= 'z') {
        s = std::string("'") + next_letter++ + "'";
      } else {
        s = "'" + next_chain + "'";
        next_chain += "v";
      }
    } while (used_text.count(s) != 0);
    out[t] = value::of_text(s);
    used_text.insert(s);
  }
  return true;
}

bool row_line(const std::vector<value>& cells, std::string& out) {
  out.clear();
  if (cells.empty()) {
    out.assign(1, '-');  // a table without columns: any line is a row
    return true;
  }
  // Trailing empty strings (and zeros after them) are left out: a row line
  // that ends early gives its missing cells the empty string or 0.
  std::size_t end = cells.size();
  while (end > 0) {
    const value& c = cells[end - 1];
    if (c.k == kind::text ? !c.s.empty() : c.i != 0) break;
    --end;
  }
  if (end == 0) {
    out.assign(1, ',');  // every cell empty or 0: a line of one separator
    return true;
  }
  for (std::size_t i = 0; i < end; ++i) {
    const value& c = cells[i];
    if (i > 0) out += ", ";
    if (c.k == kind::integer) {
      out += std::to_string(c.i);
      continue;
    }
    if (c.s.empty() || c.s.find_first_of(" ,\n") != std::string::npos) return false;
    if (i + 1 < end && std::count(c.s.begin(), c.s.end(), '\'') == 1) return false;
    out += c.s;
  }
  return true;
}

}  // namespace prove
