// Databases grading builds: every one keeps every constraint and reads back
// as the values it was built from, none is handed out twice, the kinds come
// in their order, the same seed gives the same databases; and the pieces
// they are built from (neighbours of constants, the shapes of queries).
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grade/built.h"
#include "grade/constraint_text.h"
#include "grade/exercise_facts.h"
#include "grade/query_shape.h"

namespace {

const char* const kShop =
    "q\n"
    "product(maker text, model int, type text)\n"
    "'A', 1, 'pc'\n'A', 2, 'laptop'\n'B', 3, 'pc'\n'B', 4, 'laptop'\n'C', 5, 'pc'\n'C', 6, 'laptop'\n\n"
    "pc(model int, speed int, price int)\n1, 10, 500\n3, 20, 700\n5, 20, 900\n\n"
    "laptop(model int, screen int)\n2, 14\n4, 16\n6, 16\n";

grade::exercise_facts facts_of(const std::string& text) {
  grade::exercise ex;
  ex.reference_path = "ref.txt";
  ex.databases.push_back({"ref.txt", grade::read_source(text)});
  std::vector<bool> taken;
  return grade::study_exercise(ex, {}, taken, grade::default_engine_options());
}

TEST(BuiltDatabases, ValidReadBackDistinctAndInOrder) {
  const grade::exercise_facts f = facts_of(kShop);
  ASSERT_TRUE(f.typed);
  const struct {
    const char* reference;
    const char* submission;
    std::size_t kinds;  // of databases handed out
  } pairs[] = {
      {"project(select(product(product, rename(pc, p(pm, speed, price))), AND(EQ(model, pm), GTE(price, 700))), maker)",
       "project(select(product, OR(EQ(maker, 'B'), EQ(maker, 'C'))), maker)", 4},
      {"minus(project(select(product, EQ(type, 'laptop')), maker), project(select(product, EQ(type, 'pc')), maker))",
       "project(select(product, EQ(type, 'laptop')), maker)", 4},
      // No constants, and the canonical databases are cuts of the
      // teacher's data that the structural ones made already.
      {"project(laptop, model)", "nosuch", 2},
  };
  for (const auto& p : pairs) {
    SCOPED_TRACE(p.reference);
    grade::database_builder b(f, {p.reference, p.submission}, 7);
    std::set<std::string> texts;
    std::set<grade::built_kind> kinds;
    int last_kind = 0;
    for (int i = 0; i < 400; ++i) {
      const auto item = b.next();
      if (!item) break;
      kinds.insert(item->db.kind);
      EXPECT_GE(static_cast<int>(item->db.kind), last_kind) << "kinds out of order";
      last_kind = static_cast<int>(item->db.kind);
      EXPECT_TRUE(texts.insert(item->text).second) << "handed out twice:\n" << item->text;
      const auto broken = grade::first_broken(f.constraints, item->db.data);
      EXPECT_FALSE(broken.has_value()) << grade::describe(f.dbs[0].sch, f.constraints[*broken]) << "\n" << item->text;
      EXPECT_EQ(item->text.substr(0, item->text.find('\n')), p.reference);
      const auto back = grade::read_typed(grade::read_source(item->text), grade::default_engine_options());
      ASSERT_TRUE(back.has_value());
      for (std::size_t t = 0; t < f.dbs[0].sch.tables.size(); ++t) {
        EXPECT_EQ(back->data.tables[t].rows, item->db.data.tables[t].rows) << item->text;
      }
    }
    EXPECT_EQ(kinds.size(), p.kinds);
  }
}

TEST(BuiltDatabases, SameSeedSameDatabases) {
  const grade::exercise_facts f = facts_of(kShop);
  const auto run = [&](std::uint64_t seed) {
    grade::database_builder b(f, {"project(select(pc, GT(price, 600)), model)", "project(pc, model)"}, seed);
    std::vector<std::string> out;
    for (int i = 0; i < 150; ++i) {
      if (auto item = b.next()) out.push_back(item->text);
    }
    return out;
  };
  EXPECT_EQ(run(3), run(3));
  EXPECT_NE(run(3), run(4));
}

TEST(BuiltDatabases, BoundaryRowsSitOnTheConstant) {
  // GT where GTE was meant shows only on a row at the constant, which the
  // teacher's data lacks.
  const grade::exercise_facts f = facts_of(kShop);
  grade::database_builder b(f, {"project(select(pc, GTE(price, 600)), model)", "project(select(pc, GT(price, 600)), model)"}, 1,
                            grade::build_phases::targeted);
  bool at = false, below = false;
  for (int i = 0; i < 100; ++i) {
    const auto item = b.next();
    if (!item) break;
    for (const grade::row_values& r : item->db.data.tables[1].rows) {
      at = at || r[2].i == 600;
      below = below || r[2].i == 599;
    }
  }
  EXPECT_TRUE(at && below);
}

TEST(BuiltDatabases, Neighbours) {
  using grade::value;
  const struct {
    value k;
    std::vector<value> want;
  } cases[] = {
      {value::of_int(8), {value::of_int(7), value::of_int(9)}},
      {value::of_int(INT32_MIN), {value::of_int(INT32_MIN + 1)}},
      {value::of_text("'red'"), {value::of_text("'rec'"), value::of_text("'reda'")}},
      {value::of_text("'a!'"), {value::of_text("'a'"), value::of_text("'a!a'")}},
      {value::of_text("M"), {value::of_text("L"), value::of_text("Ma")}},
      {value::of_text("''"), {value::of_text("'a'")}},
  };
  for (const auto& c : cases) {
    const std::vector<value> got = grade::neighbours(c.k);
    EXPECT_EQ(got, c.want) << c.k.text();
    for (const value& v : got) {
      EXPECT_TRUE(v.is_int || grade::writable_text(v.s, false)) << v.s;
      EXPECT_NE(v, c.k);
    }
  }
}

TEST(QueryShape, BranchesOfTheLanguage) {
  const grade::exercise_facts f = facts_of(kShop);
  const grade::schema& sch = f.dbs[0].sch;
  // A product orders its columns by name; the condition's names resolve
  // through that order and the renaming.
  grade::query_shape s = grade::shape_of(
      "project(select(product(pc, rename(laptop, l(lmodel, screen))), AND(EQ(model, lmodel), OR(GT(price, 5), "
      "NOT(LT(screen, 15))))), model)",
      sch);
  ASSERT_TRUE(s.complete);
  ASSERT_EQ(s.branches.size(), 2u);
  for (const grade::query_branch& b : s.branches) {
    ASSERT_EQ(b.atoms.size(), 2u);
    ASSERT_EQ(b.conds.size(), 2u);
    EXPECT_EQ(b.conds[0].op, grade::shape_op::eq);
    const grade::var_place x = grade::place_of(b, sch, b.conds[0].a.var);
    const grade::var_place y = grade::place_of(b, sch, b.conds[0].b.var);
    EXPECT_EQ(x.table, 1u);  // pc.model
    EXPECT_EQ(x.column, 0u);
    EXPECT_EQ(y.table, 2u);  // laptop.model
    EXPECT_EQ(y.column, 0u);
  }
  EXPECT_EQ(s.branches[0].conds[1].op, grade::shape_op::gt);
  EXPECT_EQ(s.branches[1].conds[1].op, grade::shape_op::gte);  // NOT LT
  // A difference adds branches of the rows it removes; an unknown column
  // compares as the integer 0.
  s = grade::shape_of("minus(project(pc, model), project(select(pc, EQ(nosuch, 1)), model))", sch);
  ASSERT_EQ(s.branches.size(), 2u);
  EXPECT_FALSE(s.branches[0].removal);
  EXPECT_TRUE(s.branches[1].removal);
  EXPECT_FALSE(s.branches[1].conds[0].a.is_var);
  EXPECT_EQ(s.branches[1].conds[0].a.constant, grade::value::of_int(0));
  // No shape for a query that fails.
  EXPECT_TRUE(grade::shape_of("product(pc, laptop)", sch).branches.empty());
  EXPECT_TRUE(grade::shape_of("nosuch", sch).branches.empty());
  // The extended operations are read as their definitions, only when asked.
  const std::string joined = "join(pc, rename(laptop, l(lmodel, screen)), EQ(model, lmodel))";
  EXPECT_TRUE(grade::shape_of(joined, sch).branches.empty());
  s = grade::shape_of(joined, sch, true);
  ASSERT_EQ(s.branches.size(), 1u);
  EXPECT_EQ(s.branches[0].atoms.size(), 2u);
  EXPECT_EQ(s.branches[0].conds[0].op, grade::shape_op::eq);
}

}  // namespace
