// The catalog of named tables.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database.h"

namespace {

using names = std::vector<std::string>;

TEST(Database, AddtableStoresUnderNameAndReturnsIt) {
  database db;
  EXPECT_EQ(db.addtable("R(a int, b text)"), "R");
  EXPECT_EQ(db.addtable("S (x int)"), "S ");
  EXPECT_EQ(db.addtable("(c int)"), "");
  EXPECT_EQ(db.tables.size(), 3u);
  ASSERT_TRUE(db.istable("R"));
  EXPECT_EQ(db.tables.at("R").colnames, (names{"a", "b"}));
  EXPECT_TRUE(db.istable("S "));
  EXPECT_FALSE(db.istable("S"));
  EXPECT_TRUE(db.istable(""));
}

TEST(Database, AddtableReplacesWholeTable) {
  database db;
  db.addtable("R(a int)");
  db.addline("R", "1");
  db.addline("R", "2");
  EXPECT_EQ(db.addtable("R(b text, c text)"), "R");
  const table t = db.gettable("R");
  EXPECT_EQ(t.colnames, (names{"b", "c"}));
  EXPECT_TRUE(t.rows.empty());
  db.addline("R", "'x' 'y'");
  ASSERT_EQ(db.gettable("R").rows.size(), 1u);
  EXPECT_EQ(db.gettable("R").rows.front()[1].sval, "'y'");
}

TEST(Database, AddlineOnUnknownNameCreatesEmptyTable) {
  database db;
  db.addline("Q", "1 2 3");
  ASSERT_TRUE(db.istable("Q"));
  const table t = db.gettable("Q");
  EXPECT_EQ(t.name, "");  // the implicit entry's own name is empty
  EXPECT_TRUE(t.colnames.empty());
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_TRUE(t.rows.front().empty());
}

TEST(Database, GettableCreatesEntryAndReturnsCopy) {
  database db;
  EXPECT_FALSE(db.istable("Z"));
  const table z = db.gettable("Z");
  EXPECT_EQ(z.name, "");
  EXPECT_TRUE(z.colnames.empty());
  EXPECT_TRUE(z.rows.empty());
  EXPECT_TRUE(db.istable("Z"));

  db.addtable("R(a int)");
  db.addline("R", "1");
  table copy = db.gettable("R");
  copy.rows.clear();
  copy.name = "changed";
  EXPECT_EQ(db.gettable("R").rows.size(), 1u);
  EXPECT_EQ(db.gettable("R").name, "R");
}

TEST(Database, IstableIsExact) {
  database db;
  db.addtable("R(a int)");
  for (const char* other : {"r", "R ", " R", "R\r", "", "RR"}) {
    EXPECT_FALSE(db.istable(other)) << "'" << other << "'";
  }
  EXPECT_TRUE(db.istable("R"));
  EXPECT_EQ(db.tables.size(), 1u);  // istable never creates
}

TEST(Database, FindNeverCreates) {
  database db;
  db.addtable("R(a int)");
  EXPECT_EQ(db.find("S"), nullptr);
  EXPECT_EQ(db.find(""), nullptr);
  EXPECT_EQ(db.tables.size(), 1u);
  stored_table* r = db.find("R");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->name, "R");
  r->add_row("5");  // the mutable overload reaches the stored table
  EXPECT_EQ(db.gettable("R").rows.size(), 1u);
  const database& cdb = db;
  ASSERT_NE(cdb.find("R"), nullptr);
  EXPECT_EQ(cdb.find("R")->row_count(), 1u);
  EXPECT_EQ(cdb.find("R "), nullptr);
}

TEST(Database, CopiesAreDeep) {
  database a;
  a.addtable("R(a int)");
  a.addline("R", "1");
  database b(a);
  b.addline("R", "2");
  b.addtable("S(x int)");
  EXPECT_EQ(a.gettable("R").rows.size(), 1u);
  EXPECT_FALSE(a.istable("S"));

  database c;
  c = a;
  c.addtable("R(z text)");
  EXPECT_EQ(a.gettable("R").colnames, (names{"a"}));
  EXPECT_EQ(c.gettable("R").colnames, (names{"z"}));
}

}  // namespace
