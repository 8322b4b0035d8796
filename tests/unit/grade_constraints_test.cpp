// Constraints grading infers from a teacher's databases: which keys,
// references, value sets and orders are found (and which accidents of the
// data are not), their text both ways, the teacher's changes, and the
// deletion that keeps references in a part of a database.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grade/constraint_text.h"
#include "grade/constraints.h"
#include "grade/exercise_facts.h"
#include "grade/infer_constraints.h"
#include "grade/instance.h"

namespace {

using grade::constraint;
using grade::typed_source;

typed_source typed(const std::string& text) {
  const auto t = grade::read_typed(grade::read_source(text), grade::default_engine_options());
  EXPECT_TRUE(t.has_value());
  return t.value_or(typed_source{});
}

std::vector<std::string> described(const std::vector<const typed_source*>& dbs) {
  std::vector<std::string> out;
  for (const constraint& c : grade::infer_constraints(dbs)) out.push_back(grade::describe(dbs[0]->sch, c));
  return out;
}

bool listed(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// Every sailor has reserved something here, yet that is no reference:
// reserves.sid is no key, so a division that is right only while it holds
// must stay catchable.
const char* const kSailors =
    "q\n"
    "sailors(sid int, sname text, rating int)\n"
    "1, 'Ann', 7\n2, 'Bo', 7\n3, 'Ann', 9\n\n"
    "boats(bid int, color text)\n"
    "10, 'red'\n11, 'red'\n12, 'green'\n13, 'green'\n\n"
    "reserves(sid int, bid int, day int)\n"
    "1, 10, 5\n1, 11, 6\n2, 10, 6\n3, 12, 5\n";

TEST(InferConstraints, KeysReferencesValuesOrder) {
  const typed_source db = typed(kSailors);
  const std::vector<std::string> got = described({&db});
  for (const char* want : {"key sailors(sid)", "key sailors(sname, rating)", "key boats(bid)", "key reserves(sid, bid)",
                           "key reserves(sid, day)", "reference reserves(sid) -> sailors(sid)",
                           "reference reserves(bid) -> boats(bid)", "values boats(color) = 'green', 'red'",
                           "order sailors", "order boats", "order reserves"}) {
    EXPECT_TRUE(listed(got, want)) << want;
  }
  for (const char* not_want : {"key sailors(sname)", "key sailors(rating)", "key sailors(sid, sname)",
                               "reference sailors(sid) -> reserves(sid)", "values sailors(sname) = 'Ann', 'Bo'"}) {
    EXPECT_FALSE(listed(got, not_want)) << not_want;
  }
}

TEST(InferConstraints, EveryDatabaseMustKeepThem) {
  const typed_source a = typed(kSailors);
  // The second database repeats a name and rating, holds a reservation of
  // an unknown boat, and lists its sailors out of order.
  const typed_source b = typed(
      "q\nsailors(sid int, sname text, rating int)\n5, 'Cy', 3\n4, 'Cy', 3\n\n"
      "boats(bid int, color text)\n10, 'red'\n\nreserves(sid int, bid int, day int)\n4, 99, 1\n");
  const std::vector<std::string> got = described({&a, &b});
  EXPECT_TRUE(listed(got, "key sailors(sid)"));
  EXPECT_FALSE(listed(got, "key sailors(sname, rating)"));
  EXPECT_TRUE(listed(got, "reference reserves(sid) -> sailors(sid)"));
  EXPECT_FALSE(listed(got, "reference reserves(bid) -> boats(bid)"));
  EXPECT_FALSE(listed(got, "order sailors"));
  // A table whose columns differ in another database is judged on the
  // databases where it matches.
  const typed_source c = typed("q\nsailors(sid int, name text)\n1, 'x'\n1, 'x'\n");
  EXPECT_TRUE(listed(described({&a, &c}), "key sailors(sid)"));
}

TEST(InferConstraints, FlagsButNoOtherIntegersHaveValueSets) {
  const typed_source db = typed("q\nR(id int, flag int, n int)\n1, 0, 5\n2, 1, 5\n3, 1, 7\n4, 0, 7\n");
  const std::vector<std::string> got = described({&db});
  EXPECT_TRUE(listed(got, "values R(flag) = 0, 1"));
  EXPECT_FALSE(listed(got, "values R(n) = 5, 7"));
}

TEST(InferConstraints, RowsHeldTwiceMeanNoKey) {
  const typed_source db = typed("q\nR(a int, b text)\n1, 'x'\n1, 'x'\n2, 'y'\n");
  const std::vector<std::string> got = described({&db});
  EXPECT_TRUE(std::none_of(got.begin(), got.end(), [](const std::string& s) { return s.rfind("key", 0) == 0; }));
  EXPECT_FALSE(listed(got, "order R"));
}

TEST(InferConstraints, ReferencesNarrowedByAFewValuedColumn) {
  // Models of type 'pc' are exactly the models of pc: both ways, each only
  // for the rows of one type.
  const typed_source db = typed(
      "q\nproduct(maker text, model int, type text)\n"
      "'A', 1, 'pc'\n'A', 2, 'laptop'\n'B', 3, 'pc'\n'B', 4, 'laptop'\n'C', 5, 'pc'\n'C', 6, 'laptop'\n\n"
      "pc(model int, speed int)\n1, 10\n3, 20\n5, 20\n\nlaptop(model int, screen int)\n2, 14\n4, 15\n6, 15\n");
  const std::vector<std::string> got = described({&db});
  EXPECT_TRUE(listed(got, "reference pc(model) -> product(model) where type = 'pc'"));
  EXPECT_TRUE(listed(got, "reference product(model) where type = 'pc' -> pc(model)"));
  EXPECT_TRUE(listed(got, "reference product(model) where type = 'laptop' -> laptop(model)"));
  EXPECT_FALSE(listed(got, "reference pc(model) -> product(model)"));  // the narrower one says more
  EXPECT_TRUE(listed(got, "values product(type) = 'laptop', 'pc'"));
}

TEST(ConstraintText, RoundTripsAndRefusals) {
  const typed_source db = typed(kSailors);
  for (const constraint& c : grade::infer_constraints({&db})) {
    const std::string text = grade::describe(db.sch, c);
    std::string why;
    const auto back = grade::parse_constraint(text, db.sch, why);
    ASSERT_TRUE(back.has_value()) << text << ": " << why;
    EXPECT_TRUE(*back == c) << text;
  }
  std::string why;
  const auto spaced = grade::parse_constraint("  key   sailors ( rating ,sname ) ", db.sch, why);
  ASSERT_TRUE(spaced.has_value()) << why;
  EXPECT_EQ(grade::describe(db.sch, *spaced), "key sailors(sname, rating)");
  const auto where = grade::parse_constraint("reference reserves(bid) -> boats(bid) where color = 'red'", db.sch, why);
  ASSERT_TRUE(where.has_value()) << why;
  EXPECT_EQ(grade::describe(db.sch, *where), "reference reserves(bid) -> boats(bid) where color = 'red'");

  const struct {
    const char* text;
    const char* why;
  } bad[] = {
      {"index sailors(sid)", "a constraint starts with key, reference, values or order, not 'index'"},
      {"key sailors", "expected TABLE(COLUMN, ...) in 'sailors'"},
      {"key sailors(sid) where sid = 1", "a key takes no where"},
      {"reference reserves(sid) sailors(sid)", "expected T(c) -> U(d)"},
      {"reference reserves(sid, bid) -> sailors(sid)", "a reference joins one column to one column"},
      {"values boats(color) =", "values needs at least one value"},
      {"key ships(sid)", "there is no table 'ships'"},
      {"key sailors(age)", "table 'sailors' has no column 'age'"},
      {"reference reserves(sid) -> sailors(sname)", "a reference joins two columns of the same kind (int or text)"},
      {"reference reserves(sid) where day = x -> sailors(sid)", "'x' is not an integer, and the column is an int column"},
  };
  for (const auto& b : bad) {
    std::string w;
    EXPECT_FALSE(grade::parse_constraint(b.text, db.sch, w).has_value()) << b.text;
    EXPECT_EQ(w, b.why) << b.text;
  }
}

TEST(Constraints, KeepReferencesDropsRowsLeftWithoutPartner) {
  const typed_source db = typed(kSailors);
  const std::vector<constraint> cs = grade::infer_constraints({&db});
  // Rows: sailors 0-2, boats 3-6, reserves 7-10. Without sailor 1 (row 0)
  // its two reservations go; without boat 12 (row 5) sailor 3's goes.
  EXPECT_EQ(grade::keep_references(cs, db.data, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
            (grade::row_set{1, 2, 3, 4, 5, 6, 9, 10}));
  EXPECT_EQ(grade::keep_references(cs, db.data, {0, 1, 2, 3, 4, 6, 7, 8, 9, 10}),
            (grade::row_set{0, 1, 2, 3, 4, 6, 7, 8, 9}));
  // Reservation 3-12 has no boat 12 in the part, 2-10 no sailor 2.
  EXPECT_EQ(grade::keep_references(cs, db.data, {2, 9, 10}), (grade::row_set{2}));
  EXPECT_FALSE(grade::first_broken(cs, grade::part_of(db.data, {0, 3, 7})).has_value());
  EXPECT_TRUE(grade::first_broken(cs, grade::part_of(db.data, {3, 7})).has_value());
}

TEST(ExerciseFacts, TeacherChanges) {
  grade::exercise ex;
  ex.reference_path = "ref.txt";
  ex.databases.push_back({"ref.txt", grade::read_source(kSailors)});
  const auto study = [&](std::vector<grade::constraint_change> ch) {
    std::vector<bool> taken;
    grade::exercise_facts f = grade::study_exercise(ex, ch, taken, grade::default_engine_options());
    std::vector<std::string> out;
    for (const constraint& c : f.constraints) out.push_back(grade::describe(f.dbs[0].sch, c));
    return out;
  };
  const std::vector<std::string> plain = study({});
  auto got = study({{false, "key sailors(sname, rating)", "--drop-constraint"}});
  EXPECT_EQ(got.size() + 1, plain.size());
  EXPECT_FALSE(listed(got, "key sailors(sname, rating)"));
  got = study({{false, "all", "m:1"}, {true, "key boats(color, bid)", "m:2"}});
  EXPECT_EQ(got, std::vector<std::string>{"key boats(bid, color)"});
  const struct {
    grade::constraint_change change;
    const char* message;
  } bad[] = {
      {{false, "key sailors(sname)", "--drop-constraint"},
       "relalg: --drop-constraint: cannot drop 'key sailors(sname)': exercise 'ref.txt' has no such constraint "
       "(--explain-constraints lists them)"},
      {{true, "key sailors(rating)", "manifest:3"},
       "relalg: manifest:3: cannot add 'key sailors(rating)': the database in 'ref.txt' does not keep it"},
  };
  for (const auto& b : bad) {
    try {
      study({b.change});
      ADD_FAILURE() << b.change.text;
    } catch (const grade::input_error& e) {
      EXPECT_EQ(std::string(e.what()), b.message);
    }
  }
  std::vector<bool> taken;
  grade::study_exercise(ex, {{true, "key ships(x)", "--add-constraint"}}, taken, grade::default_engine_options());
  EXPECT_EQ(taken, std::vector<bool>{false});
  EXPECT_THROW(grade::check_changes_taken({{true, "key ships(x)", "--add-constraint"}}, taken), grade::input_error);
}

TEST(Instance, WritableTexts) {
  const struct {
    const char* text;
    bool middle, last;
  } cases[] = {
      {"'Ann'", true, true},    {"Ann", true, true},      {"'a b'", true, true},  {"'a,b'", true, true},
      {"a b", false, false},    {"'open", false, true},   {"''", true, true},     {"", false, false},
      {"x'y z'", true, true},   {"'a' b", false, false},  {",x", false, false},   {"'x'y", true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(grade::writable_text(c.text, false), c.middle) << c.text;
    EXPECT_EQ(grade::writable_text(c.text, true), c.last) << c.text;
  }
}

TEST(Instance, RenderedRowsReadBackAsTheirValues) {
  typed_source db = typed("q\nR(a int, b text, c text)\n1, 'x y', z\n-3, 'o''k', w\n\nS(d text)\n'only'\n");
  grade::instance made = db.data;
  for (auto& t : made.tables) t.lines.assign(t.rows.size(), "");  // written from the values
  made.tables[0].rows.push_back({grade::value::of_int(7), grade::value::of_text("'p, q'"), grade::value::of_text("")});
  made.tables[0].lines.push_back("");
  const auto text = grade::render_instance("q", db.sch, made);
  ASSERT_TRUE(text.has_value());
  const typed_source back = typed(*text);
  ASSERT_EQ(back.data.tables.size(), 2u);
  EXPECT_EQ(back.data.tables[0].rows, made.tables[0].rows);
  EXPECT_EQ(back.data.tables[1].rows, made.tables[1].rows);
  // A text that cannot be written where it stands is refused.
  made.tables[1].rows[0][0] = grade::value::of_text("a b");
  EXPECT_FALSE(grade::render_instance("q", db.sch, made).has_value());
}

}  // namespace
