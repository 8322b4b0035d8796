// The translation of hand-built plans: refusals with evaluation's messages
// and places, the order clause, and relalg's integer-against-string
// comparison rules written out as SQL.
#include <gtest/gtest.h>

#include <deque>

#include "sql/script.h"
#include "sql/translate.h"

namespace relalg_sql {
namespace {

struct plan_maker {
  plan p;
  std::deque<stored_table> tables;
  table_map catalog;

  int32_t node(plan_op op, int32_t left, int32_t right, source_span span) {
    plan_node n;
    n.op = op;
    n.left = left;
    n.right = right;
    n.span = span;
    p.nodes.push_back(n);
    return static_cast<int32_t>(p.nodes.size() - 1);
  }
  int32_t table(const std::string& name, std::vector<std::string> cols, std::vector<std::string> types,
                source_span span = {}) {
    if (!catalog.contains(name)) catalog.emplace(name, stored_table(name, std::move(cols), std::move(types)));
    const int32_t i = node(plan_op::table, -1, -1, span);
    p.nodes[static_cast<std::size_t>(i)].arg = static_cast<int32_t>(p.tables.size());
    p.tables.push_back(&catalog.at(name));
    return i;
  }
  int32_t binary(plan_op op, int32_t l, int32_t r, source_span span = {}) { return node(op, l, r, span); }
  int32_t listed(plan_op op, int32_t child, const std::vector<std::string>& names, source_span span = {}) {
    const int32_t i = node(op, child, -1, span);
    std::vector<plan_name> list;
    for (const std::string& n : names) list.push_back({n, {}});
    p.nodes[static_cast<std::size_t>(i)].arg = static_cast<int32_t>(p.name_lists.size());
    p.name_lists.push_back(std::move(list));
    return i;
  }
  int32_t fail(const std::string& message, source_span span) {
    const int32_t i = node(plan_op::fail, -1, -1, span);
    p.nodes[static_cast<std::size_t>(i)].arg = static_cast<int32_t>(p.messages.size());
    p.messages.push_back(message);
    return i;
  }
  int32_t cond(cond_op op, int32_t l = -1, int32_t r = -1) {
    cond_node c;
    c.op = op;
    c.left = l;
    c.right = r;
    p.conds.nodes.push_back(c);
    return static_cast<int32_t>(p.conds.nodes.size() - 1);
  }
  static cond_operand col(const std::string& name) {
    cond_operand o;
    o.is_literal = false;
    o.text = name;
    return o;
  }
  static cond_operand lit(t_object v) {
    cond_operand o;
    o.is_int = v.is_int;
    o.ival = v.ival;
    o.text = v.sval;
    return o;
  }
  int32_t compare(cond_op op, cond_operand x, cond_operand y) {
    const int32_t i = cond(op);
    p.conds.nodes[static_cast<std::size_t>(i)].operands = static_cast<int32_t>(p.conds.operands.size());
    p.conds.operands.push_back(std::move(x));
    p.conds.operands.push_back(std::move(y));
    return i;
  }
  int32_t select(int32_t child, int32_t root, int32_t first_fail = -1, source_span span = {}) {
    const int32_t i = node(plan_op::select, child, -1, span);
    p.nodes[static_cast<std::size_t>(i)].arg = static_cast<int32_t>(p.conditions.size());
    p.conditions.push_back({root, first_fail});
    return i;
  }
  std::string sql(int32_t root, dialect d = dialect::sqlite) {
    p.root = root;
    return translate_query(p, name_tables(d, schemas_of(catalog)), d);
  }
  // The refusal's message and span, or "translated".
  std::string refused(int32_t root, source_span* where = nullptr) {
    try {
      sql(root);
    } catch (const refusal& r) {
      if (where != nullptr) *where = r.span;
      return r.what();
    }
    return "translated";
  }
};

TEST(SqlTranslate, RefusesWithEvaluationsMessageAndPlace) {
  struct refusal_case {
    const char* what;
    std::function<int32_t(plan_maker&)> build;
    std::string message;
    source_span span;
  };
  const std::vector<refusal_case> cases = {
      {"product of operands sharing a name",
       [](plan_maker& m) {
         return m.binary(plan_op::product, m.table("R", {"a", "b"}, {"int", "text"}),
                         m.table("S", {"b"}, {"int"}), {0, 14});
       },
       "product: column 'b' appears in both operands; use rename to make the column names distinct",
       {0, 14}},
      {"product of an operand with a name twice",
       [](plan_maker& m) {
         return m.binary(plan_op::product, m.table("R", {"x", "x"}, {"int", "int"}),
                         m.table("S", {"b"}, {"int"}), {3, 9});
       },
       "product: column 'x' appears twice in one operand; use rename to make the column names distinct",
       {3, 9}},
      {"rename with too few names",
       [](plan_maker& m) {
         return m.listed(plan_op::rename, m.table("R", {"a", "b"}, {"int", "int"}), {"N", "x"}, {0, 17});
       },
       "rename: expected 3 names (the table name and 2 column names), got 2; write rename(E,N(c1,...,cn))",
       {0, 17}},
      {"project of a table without columns",
       [](plan_maker& m) { return m.listed(plan_op::project, m.table("Z", {}, {}), {"a"}, {0, 12}); },
       "project: the table has no columns to project onto (listed: 'a')", {0, 12}},
      {"the left operand fails before the right",
       [](plan_maker& m) {
         return m.binary(plan_op::union_, m.fail("no table named 'A'", {6, 7}),
                         m.fail("no table named 'B'", {8, 9}));
       },
       "no table named 'A'", {6, 7}},
      {"the operand fails before the condition",
       [](plan_maker& m) {
         const int32_t bad = m.cond(cond_op::fail);
         m.p.conds.nodes.back().span = {9, 12};
         return m.select(m.fail("no table named 'Q'", {7, 8}), bad, bad);
       },
       "no table named 'Q'", {7, 8}},
      {"a failing condition is raised where it stands",
       [](plan_maker& m) {
         m.p.messages.push_back("select: 'x' is not a predicate");
         const int32_t bad = m.cond(cond_op::fail);
         m.p.conds.nodes.back().span = {11, 12};
         m.p.conds.nodes.back().message = static_cast<int32_t>(m.p.messages.size() - 1);
         const int32_t ok = m.compare(cond_op::eq, plan_maker::col("a"), plan_maker::lit(1));
         return m.select(m.table("R", {"a"}, {"int"}), m.cond(cond_op::or_, ok, bad), bad);
       },
       "select: 'x' is not a predicate", {11, 12}},
      {"union of different widths",
       [](plan_maker& m) {
         return m.binary(plan_op::union_, m.table("R", {"a", "b"}, {"int", "int"}),
                         m.table("S", {"c"}, {"int"}), {0, 10});
       },
       "union: cannot be written in SQL: the operands have 2 and 1 columns, and the rows of a SQL table "
       "all have one width",
       {0, 10}},
  };
  for (const refusal_case& c : cases) {
    plan_maker m;
    const int32_t root = c.build(m);
    source_span where{99, 99};
    EXPECT_EQ(m.refused(root, &where), c.message) << c.what;
    EXPECT_EQ(where.begin, c.span.begin) << c.what;
    EXPECT_EQ(where.end, c.span.end) << c.what;
  }
}

TEST(SqlTranslate, UnionOfOtherKindsKeepsTheFirstOfEqualRows) {
  plan_maker m;
  const int32_t u = m.binary(plan_op::union_, m.table("R", {"a", "b"}, {"int", "text"}),
                             m.table("S", {"c", "d"}, {"int", "int"}));
  const std::string sql = m.sql(u);
  // The second column mixes kinds: an integer part and a text part.
  EXPECT_NE(sql.find("SELECT 0 AS part, k AS o, c1 AS c1, CAST(NULL AS INTEGER) AS c2, c2 AS t2 FROM n0"),
            std::string::npos) << sql;
  EXPECT_NE(sql.find("PARTITION BY u.c1, '', COALESCE(u.c2, 0), COALESCE(u.t2, '') COLLATE BINARY "
                     "ORDER BY u.part, u.o"),
            std::string::npos) << sql;
  EXPECT_NE(sql.find("SELECT r.c1 AS \"a\", COALESCE(r.t2, r.c2) AS \"b\""), std::string::npos) << sql;
  EXPECT_NE(sql.find("ORDER BY r.c1, CASE WHEN r.t2 COLLATE BINARY <> '' THEN 1 ELSE 0 END, COALESCE(r.c2, 0), "
                     "COALESCE(r.t2, '') COLLATE BINARY;"),
            std::string::npos) << sql;
  // A condition on the mixed column looks at each row's kind.
  const std::string sel = m.sql(m.select(u, m.compare(cond_op::lt, plan_maker::col("b"), plan_maker::lit(5))));
  EXPECT_NE(sel.find("WHERE (CASE WHEN t2 IS NULL THEN (c2 < 5) ELSE (1 = 0) END)"), std::string::npos) << sel;
}

TEST(SqlTranslate, MinusOfOtherWidthsOrKindsIsTranslated) {
  plan_maker m;
  const int32_t r = m.table("R", {"a"}, {"int"});
  EXPECT_NE(m.sql(m.binary(plan_op::minus, r, m.table("S", {"b", "c"}, {"int", "int"}))).find("SELECT DISTINCT"),
            std::string::npos);
  const std::string mixed = m.sql(m.binary(plan_op::minus, r, m.table("T", {"s"}, {"text"})));
  EXPECT_NE(mixed.find("(a.c1 = 0 AND '' = b.c1 COLLATE BINARY)"), std::string::npos) << mixed;
}

TEST(SqlTranslate, OrderFollowsInputOrSortedCells) {
  plan_maker m;
  const int32_t r = m.table("R", {"a", "b"}, {"int", "text"});
  const int32_t sel = m.select(r, m.cond(cond_op::other));
  const std::string kept = m.sql(m.listed(plan_op::rename, sel, {"N", "x", "y"}));
  EXPECT_NE(kept.find("-- result: N(x int, y text)\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find("SELECT r.c1 AS \"x\", r.c2 AS \"y\""), std::string::npos) << kept;
  EXPECT_NE(kept.find("ORDER BY r.k;"), std::string::npos) << kept;
  const int32_t proj = m.listed(plan_op::project, r, {"b", "a", "nope"});
  EXPECT_NE(m.sql(proj).find("ORDER BY r.c1 COLLATE BINARY, r.c2, r.c3;"), std::string::npos);
  EXPECT_NE(m.sql(proj, dialect::postgres).find("ORDER BY r.c1 COLLATE \"C\", r.c2, r.c3;"), std::string::npos);
  EXPECT_NE(m.sql(proj).find("-- result: (b text, a int, a int)"), std::string::npos);
}

TEST(SqlTranslate, MixedKindComparisonsFollowRelalgsRules) {
  // n an int column, s a string column.
  struct rule {
    cond_op op;
    bool int_left;
    const char* where;
  };
  const std::vector<rule> rules = {
      {cond_op::eq, true, "((c1 = 0) AND (c2 COLLATE BINARY = ''))"},
      {cond_op::neq, false, "((c1 <> 0) OR (c2 COLLATE BINARY <> ''))"},
      {cond_op::lt, true, "(c1 < 0)"},
      {cond_op::lt, false, "(1 = 0)"},
      {cond_op::lte, true, "(1 = 1)"},
      {cond_op::lte, false, "(c1 >= 0)"},
      {cond_op::gt, true, "(1 = 0)"},
      {cond_op::gt, false, "(c1 < 0)"},
      {cond_op::gte, true, "(c1 >= 0)"},
      {cond_op::gte, false, "(1 = 1)"},
  };
  for (const rule& r : rules) {
    plan_maker m;
    const int32_t t = m.table("R", {"n", "s"}, {"int", "text"});
    const auto n = plan_maker::col("n");
    const auto s = plan_maker::col("s");
    const int32_t c = r.int_left ? m.compare(r.op, n, s) : m.compare(r.op, s, n);
    const std::string sql = m.sql(m.select(t, c));
    EXPECT_NE(sql.find(std::string("WHERE ") + r.where + ")"), std::string::npos)
        << static_cast<int>(r.op) << (r.int_left ? " int left\n" : " string left\n") << sql;
  }
}

TEST(SqlTranslate, ConstantsAreDecidedAsRelalgDecidesThem) {
  const std::vector<std::pair<t_object, t_object>> pairs = {
      {t_object(5), t_object(std::string("'abc'"))}, {t_object(std::string("'abc'")), t_object(5)},
      {t_object(-1), t_object(std::string(""))},    {t_object(0), t_object(std::string(""))},
      {t_object(std::string("'B'")), t_object(std::string("'a'"))}, {t_object(3), t_object(-7)}};
  const std::vector<std::pair<cond_op, bool (*)(const t_object&, const t_object&)>> ops = {
      {cond_op::eq, [](const t_object& a, const t_object& b) { return a == b; }},
      {cond_op::neq, [](const t_object& a, const t_object& b) { return a != b; }},
      {cond_op::lt, [](const t_object& a, const t_object& b) { return a < b; }},
      {cond_op::lte, [](const t_object& a, const t_object& b) { return a <= b; }},
      {cond_op::gt, [](const t_object& a, const t_object& b) { return a > b; }},
      {cond_op::gte, [](const t_object& a, const t_object& b) { return a >= b; }}};
  for (const auto& [x, y] : pairs) {
    for (const auto& [op, truth] : ops) {
      plan_maker m;
      // "missing" is no column of R: it reads as the integer 0.
      const int32_t c = m.cond(cond_op::and_, m.compare(op, plan_maker::lit(x), plan_maker::lit(y)),
                               m.compare(cond_op::eq, plan_maker::col("missing"), plan_maker::lit(0)));
      const std::string sql = m.sql(m.select(m.table("R", {"a"}, {"int"}), c));
      const std::string want = truth(x, y) ? "WHERE (1 = 1))" : "WHERE (1 = 0))";
      EXPECT_NE(sql.find(want), std::string::npos) << static_cast<int>(op) << "\n" << sql;
    }
  }
}

TEST(SqlTranslate, DeepConditionsAreRefusedNotOverflowed) {
  plan_maker m;
  int32_t c = m.compare(cond_op::eq, plan_maker::col("a"), plan_maker::lit(1));
  for (int i = 0; i < 100000; ++i) c = m.cond(cond_op::not_, c);
  m.p.conds.nodes[static_cast<std::size_t>(c)].span = {0, 5};
  EXPECT_EQ(m.refused(m.select(m.table("R", {"a"}, {"int"}), c)),
            "select: the condition is nested 100001 levels deep; SQL is written for at most 400");
}

TEST(SqlTranslate, DeepQueriesAreRefusedWhereTheEnginesStop) {
  plan_maker m;
  std::vector<int32_t> level{m.table("R", {"a"}, {"int"})};
  for (int i = 0; i < 100000; ++i) {
    level.push_back(m.binary(plan_op::union_, m.table("R", {"a"}, {"int"}), level.back(),
                             {static_cast<uint32_t>(100000 - i), 200000}));
  }
  // Walked without recursion, refused at the node that is one too deep.
  source_span where;
  EXPECT_EQ(m.refused(level.back(), &where),
            "the query is nested more than 2000 levels deep here, deeper than SQL for SQLite is written");
  EXPECT_EQ(where.begin, 100000u - 1999u);
  const std::string sql = m.sql(level[1999]);
  EXPECT_NE(sql.find("n3998 AS (SELECT"), std::string::npos);
  // PostgreSQL computes the subqueries of deep queries one by one.
  EXPECT_NE(m.sql(level[30], dialect::postgres).find("n0 AS MATERIALIZED (SELECT"), std::string::npos);
  EXPECT_NE(m.sql(level[5], dialect::postgres).find("n0 AS (SELECT"), std::string::npos);
}

TEST(SqlScript, RefusesValuesTheEngineCannotHold) {
  plan_maker m;
  stored_table t("T", {"a", "s"}, {"int", "text"});
  t.add_row("1, 'ok'");
  t.add_row(std::string_view("2, 'a\0b'", 9));
  m.catalog.emplace("T", std::move(t));
  const int32_t q = m.table("T", {}, {});
  m.p.root = q;
  std::string out;
  try {
    write_script(m.p, m.catalog, dialect::sqlite, false, [&](std::string& s) {
      out += s;
      s.clear();
    });
    FAIL() << "written: " << out;
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(),
                 "cannot write table 'T' as SQL: row 2, column 's': it holds a NUL byte, which SQL text cannot hold");
  }
  EXPECT_EQ(out, "");
  // The query alone reads no value.
  write_script(m.p, m.catalog, dialect::sqlite, true, [&](std::string& s) {
    out += s;
    s.clear();
  });
  EXPECT_EQ(out.rfind("-- result: T(a int, s text)\nWITH\n", 0), 0u) << out;
}

}  // namespace
}  // namespace relalg_sql
