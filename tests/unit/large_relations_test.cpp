// The operators on inputs large enough to take their hashed and two-thread
// paths, checked against a plain model: rows as values, sorted and collapsed
// by the list sort, filtered and combined one by one.
#include <algorithm>
#include <list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/operators.h"

#include "logic.h"
#include "table.h"
#include "table_builders.h"

namespace {

using S = std::string;

// Values drawn so that rows repeat, the integer 0 meets the empty text,
// texts share prefixes longer than a sort entry's inline bytes, and some
// hold zero bytes (which the sort encoding escapes).
t_object value(std::mt19937& rng) {
  switch (rng() % 7) {
    case 0: return t_object(static_cast<int>(rng() % 5) - 2);
    case 1: return t_object(S(""));
    case 2: return t_object(static_cast<int>(rng()));
    case 3: return t_object(S("shared-prefix-longer-than-the-inline-bytes-") + S(1, 'a' + rng() % 3));
    case 4: return t_object(S("z\0", 2) + S(1, static_cast<char>(rng() % 2)));
    case 5: return t_object(S(1, 'a' + rng() % 4));
    default: return t_object(S("'q ") + std::to_string(rng() % 4) + "'");
  }
}

// n rows over cols; unless full, one row in 50 is short (only built tables
// have those).
table random_table(std::mt19937& rng, const std::vector<std::string>& cols, std::size_t n,
                   bool full = false) {
  std::vector<row> rows;
  for (std::size_t i = 0; i < n; ++i) {
    row r;
    const std::size_t w = !full && rng() % 50 == 0 ? rng() % cols.size() : cols.size();
    for (std::size_t k = 0; k < w; ++k) r.push_back(value(rng));
    rows.push_back(std::move(r));
  }
  return make_table("T", cols, std::vector<std::string>(cols.size(), "text"), std::move(rows));
}

std::list<row> collapsed(std::list<row> rows) {
  sort_and_collapse(rows);
  return rows;
}

// Cells a row lacks read as the integer 0.
t_object cell_at(const row& r, std::size_t i) { return i < r.size() ? r[i] : t_object(0); }

void expect_rows(const std::list<row>& got, const std::list<row>& want) {
  ASSERT_EQ(got.size(), want.size());
  std::size_t i = 0;
  for (auto g = got.begin(), w = want.begin(); g != got.end(); ++g, ++w, ++i) {
    ASSERT_TRUE(row_equal(*g, *w)) << "row " << i;
  }
}

class LargeRelations : public ::testing::Test {
 protected:
  std::mt19937 rng{20261208};
};

TEST_F(LargeRelations, UnionAndMinusMatchTheModel) {
  // Sizes on both sides of the two-thread threshold.
  for (const std::size_t n : {3000, 90000}) {
    SCOPED_TRACE(n);
    const table a = random_table(rng, {"x", "y"}, n);
    const table b = random_table(rng, {"x", "y"}, n / 2);

    std::list<row> both = a.rows;
    both.insert(both.end(), b.rows.begin(), b.rows.end());
    expect_rows((a + b).rows, collapsed(both));

    // Both sides sorted and collapsed, then walked together.
    const std::list<row> x = collapsed(a.rows);
    const std::list<row> y = collapsed(b.rows);
    std::list<row> rest;
    auto j = y.begin();
    for (const row& r : x) {
      while (j != y.end() && row_order(*j, r) < 0) ++j;
      if (j == y.end() || !row_equal(*j, r)) rest.push_back(r);
    }
    expect_rows((a - b).rows, rest);
  }
}

TEST_F(LargeRelations, ProjectionMatchesTheModel) {
  const table t = random_table(rng, {"x", "y", "z"}, 80000);
  const struct {
    std::vector<std::string> cols;
    std::vector<std::size_t> at;
  } cases[] = {{{"z", "x"}, {2, 0}}, {{"y"}, {1}}, {{"x", "y", "z"}, {0, 1, 2}}, {{"z", "z"}, {2, 2}}};
  for (const auto& c : cases) {
    std::list<row> cut;
    for (const row& r : t.rows) {
      row x;
      for (const std::size_t i : c.at) x.push_back(cell_at(r, i));
      cut.push_back(std::move(x));
    }
    expect_rows(project(t, c.cols).rows, collapsed(cut));
  }
}

TEST_F(LargeRelations, ProductAndSelectOverProductMatchTheModel) {
  // Column names whose order interleaves the operands, and one that keeps
  // them in place; rows all of full width, or some short. Short rows make
  // equal combined rows of which only the first may be tested: 0 and '' are
  // equal, yet LT(b,c) can hold for one and not the other.
  const struct {
    std::vector<std::string> left, right;
    bool full;
  } layouts[] = {{{"b", "d"}, {"a", "c"}, false},
                 {{"a", "b"}, {"c", "d"}, false},
                 {{"b", "d"}, {"a", "c"}, true},
                 {{"a", "b"}, {"c", "d"}, true}};
  for (const auto& l : layouts) {
    const table a = random_table(rng, l.left, 400, l.full);
    const table b = random_table(rng, l.right, 300, l.full);
    std::vector<std::size_t> source;  // combined position for each laid-out column
    std::vector<std::string> names = l.left;
    names.insert(names.end(), l.right.begin(), l.right.end());
    std::vector<std::string> sorted_names = names;
    std::sort(sorted_names.begin(), sorted_names.end());
    for (const std::string& n : sorted_names) {
      source.push_back(static_cast<std::size_t>(std::find(names.begin(), names.end(), n) - names.begin()));
    }
    std::list<row> all;
    for (const row& p : a.rows) {
      for (const row& q : b.rows) {
        row x;
        for (const std::size_t s : source) x.push_back(s < 2 ? cell_at(p, s) : cell_at(q, s - 2));
        all.push_back(std::move(x));
      }
    }
    const std::list<row> want = collapsed(all);
    expect_rows((a * b).rows, want);

    const auto cond = std::make_unique<logic>("OR(EQ(a,d),AND(LT(b,c),NEQ(a,'')))");
    const cond_tree nodes = condition_nodes(*cond);
    const table fused = table_of(
        rel_select_product(relation_of(a), relation_of(b), condition_ref{&nodes, 0}, eval_limits{}));
    const table plain = select(a * b, *cond);
    expect_rows(fused.rows, plain.rows);
    EXPECT_EQ(fused.colnames, plain.colnames);
    EXPECT_EQ(fused.name, plain.name);
    EXPECT_LT(fused.rows.size(), want.size());
    EXPECT_GT(fused.rows.size(), 0u);
  }
}

}  // namespace
