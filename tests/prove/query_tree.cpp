// The generator's query trees: printing and headers.
#include "query_tree.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace proofgen {

std::string cond::text() const {
  switch (k) {
    case cmp: return op + "(" + x + "," + y + ")";
    case unknown: return "eq(" + x + "," + y + ")";
    case neg: return "NOT(" + kids[0].text() + ")";
    default: return std::string(k == all ? "AND(" : "OR(") + kids[0].text() + "," + kids[1].text() + ")";
  }
}

std::string expr::text() const {
  const auto list = [](const std::vector<std::string>& v) {
    std::string s;
    for (std::size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + v[i];
    return s;
  };
  switch (k) {
    case table: return name;
    case rename: return "rename(" + kids[0].text() + "," + name + "(" + list(cols) + "))";
    case select: return "select(" + kids[0].text() + "," + c.text() + ")";
    case project: return "project(" + kids[0].text() + "," + list(cols) + ")";
    default:
      return std::string(k == product ? "product(" : k == union_ ? "union(" : "minus(") + kids[0].text() + "," +
             kids[1].text() + ")";
  }
}

header base(const std::string& t) {
  if (t == "R") return {true, "R", {"a", "b"}, {true, true}, true};
  if (t == "S") return {true, "S", {"c", "d"}, {true, false}, true};
  return {true, "T", {"e", "f"}, {false, true}, true};
}

header head(const expr& e) {
  header h;
  switch (e.k) {
    case expr::table: return base(e.name);
    case expr::rename:
      h = head(e.kids[0]);
      h.name = e.name;
      h.cols = e.cols;
      return h;
    case expr::select:
      h = head(e.kids[0]);
      h.name.clear();
      return h;
    case expr::project: {
      const header l = head(e.kids[0]);
      h.ok = l.ok;
      for (const std::string& c : e.cols) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < l.cols.size(); ++i) {
          if (l.cols[i] == c) at = i;
        }
        h.cols.push_back(l.cols.empty() ? c : l.cols[at]);
        h.ints.push_back(l.cols.empty() || l.ints[at]);
      }
      return h;
    }
    case expr::product: {
      const header l = head(e.kids[0]), r = head(e.kids[1]);
      std::vector<std::pair<std::string, bool>> all;
      for (std::size_t i = 0; i < l.cols.size(); ++i) all.emplace_back(l.cols[i], l.ints[i]);
      for (std::size_t i = 0; i < r.cols.size(); ++i) all.emplace_back(r.cols[i], r.ints[i]);
      std::sort(all.begin(), all.end());
      h.ok = l.ok && r.ok;
      for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0 && all[i].first == all[i - 1].first) h.ok = false;
        h.cols.push_back(all[i].first);
        h.ints.push_back(all[i].second);
      }
      return h;
    }
    default:
      h = head(e.kids[0]);
      h.ok = h.ok && head(e.kids[1]).ok;
      h.ordered = false;
      if (e.k == expr::minus) h.name.clear();
      return h;
  }
}

void names_in(const cond& c, std::vector<std::string>& out) {
  if (c.k == cond::cmp || c.k == cond::unknown) {
    for (const std::string* s : {&c.x, &c.y}) {
      if (!s->empty() && std::isalpha(static_cast<unsigned char>((*s)[0]))) out.push_back(*s);
    }
  }
  for (const cond& k : c.kids) names_in(k, out);
}

}  // namespace proofgen
