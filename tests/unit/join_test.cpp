// The equality join against the product it stands for: every query is
// evaluated twice, once as read (products made, then selected) and once
// rewritten into joins, and the printed results must be the same bytes.
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database.h"
#include "engine/evaluator.h"
#include "engine/parser.h"
#include "table.h"
#include "engine/errors.h"
#include "engine/rewrite.h"
#include "engine/schema.h"
#include "engine/loader.h"
#include "engine/pipeline.h"

namespace {

std::string printed(const relation& r) {
  std::ostringstream out;
  out << table_of(r);
  return out.str();
}

// The result of the query over the input's tables, or its failure, with
// and without the join rewrite; and whether the rewrite made a join.
struct both {
  std::string plain;
  std::string joined;
  bool rewritten = false;
};

both evaluate_both(const std::string& input) {
  database db;
  const std::string query = load_tables(input, db.tables, false);
  both out;
  const auto run = [&](bool rewrite) {
    plan p = parse_query(query, db.tables);
    if (rewrite) {
      std::vector<node_schema> schemas = plan_schemas(p);
      rewrite_joins(p, schemas);
      out.rewritten = !p.joins.empty();
    }
    try {
      return printed(evaluator(eval_limits{}).evaluate(p));
    } catch (const std::exception& e) {
      return std::string("failed: ") + e.what();
    }
  };
  out.plain = run(false);
  out.joined = run(true);
  return out;
}

class generator {
 public:
  explicit generator(unsigned seed) : rng_(seed) {}

  // Tables A, B, C, D with distinct column names, values drawn from small
  // pools (repeated keys, 0 and the empty string, mixed kinds where asked).
  std::string tables(std::size_t rows, bool mixed) {
    std::string out;
    const char* names[] = {"A", "B", "C", "D"};
    const char* cols[][3] = {{"a", "b", "c"}, {"d", "e", "f"}, {"g", "h", "i"}, {"j", "k", "m"}};
    for (int t = 0; t < 4; ++t) {
      const int w = 1 + static_cast<int>(rng_() % 3);
      std::vector<bool> is_int;
      out += names[t];
      out += '(';
      for (int c = 0; c < w; ++c) {
        is_int.push_back(rng_() % 3 != 0);
        out += (c > 0 ? ", " : "") + std::string(cols[t][c]) + (is_int.back() ? " int" : " text");
      }
      out += ")\n";
      const std::size_t n = rng_() % 5 == 0 ? 0 : rows / 2 + rng_() % (rows + 1);
      for (std::size_t r = 0; r < n; ++r) {
        for (int c = 0; c < w; ++c) {
          if (c > 0) out += ", ";
          out += is_int[c] ? std::to_string(static_cast<int>(rng_() % 7) - 1) : texts_[rng_() % texts_.size()];
        }
        out += '\n';
      }
      out += '\n';
    }
    if (mixed) {
      // A table whose columns mix integers and strings, as union makes them.
      out += "M(a int, d text)\n0, ''\n1, 'x'\n\nN(a text, d int)\n'', 0\n'x', 1\n0, 2\n\n";
    }
    return out;
  }

  // An operand of a product; each table is used once in a query, so that
  // most products are not refused for columns they share.
  std::string leaf(bool mixed) {
    const int r = static_cast<int>(rng_() % 10);
    if (r == 0 && mixed && !used_[4]) {
      used_[4] = true;
      return "union(M,rename(N,Q(a,d)))";
    }
    if (r == 1 && !used_[0]) {
      used_[0] = true;
      return "select(A,GT(a,0))";
    }
    if (r == 2 && !used_[1]) {
      used_[1] = true;
      return "rename(B,BB(dd,ee,ff))";
    }
    const char* names[] = {"A", "B", "C", "D"};
    for (int tries = 0; tries < 8; ++tries) {
      const unsigned k = rng_() % 4;
      if (!used_[k]) {
        used_[k] = true;
        return names[k];
      }
    }
    return names[rng_() % 4];
  }

  std::string product(int depth, bool mixed) {
    if (depth > 0 && rng_() % 2 == 0) {
      if (rng_() % 6 == 0) {
        return "rename(product(" + leaf(mixed) + "," + leaf(mixed) + "),R(p,q,r,s,t,u,v,w,x))";
      }
      return "product(" + product(depth - 1, mixed) + "," + product(depth - 1, mixed) + ")";
    }
    return leaf(mixed);
  }

  std::string column() {
    const char* c[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "m", "dd", "p", "q", "r", "zz"};
    return c[rng_() % (sizeof c / sizeof *c)];
  }
  std::string comparison() {
    const char* ops[] = {"EQ", "EQ", "EQ", "NEQ", "LT", "GTE"};
    const char* literals[] = {"0", "1", "''", "'x'", "-1"};
    const std::string x = column();
    const std::string y = rng_() % 4 == 0 ? literals[rng_() % 5] : column();
    return std::string(ops[rng_() % 6]) + "(" + x + "," + y + ")";
  }
  std::string condition(int depth) {
    const int r = static_cast<int>(rng_() % 10);
    if (depth > 0 && r < 5) return "AND(" + condition(depth - 1) + "," + condition(depth - 1) + ")";
    if (depth > 0 && r == 5) return "OR(" + condition(depth - 1) + "," + condition(depth - 1) + ")";
    if (depth > 0 && r == 6) return "NOT(" + condition(depth - 1) + ")";
    return comparison();
  }
  std::string query(bool mixed) {
    for (bool& u : used_) u = false;
    const std::string operand = product(2, mixed);
    // Most conditions hold an equality of two operands' first columns.
    std::vector<std::string> firsts;
    const char* first[] = {"a", "d", "g", "j", "a"};
    for (int t = 0; t < 5; ++t) {
      if (used_[t]) firsts.push_back(first[t]);
    }
    std::string cond = condition(2);
    if (firsts.size() >= 2 && rng_() % 4 != 0) {
      const std::string key = "EQ(" + firsts[rng_() % firsts.size()] + "," + firsts[rng_() % firsts.size()] + ")";
      cond = rng_() % 2 == 0 ? "AND(" + key + "," + cond + ")" : "AND(" + cond + "," + key + ")";
    }
    std::string q = "select(" + operand + "," + cond + ")";
    if (rng_() % 3 == 0) q = "project(" + q + "," + column() + "," + column() + ")";
    if (rng_() % 5 == 0) q = "union(" + q + "," + q + ")";
    return q;
  }

 private:
  std::mt19937 rng_;
  bool used_[5] = {};
  std::vector<std::string> texts_ = {"'x'", "'y'", "''", "'0'", "'B'", "'a b'"};
};

TEST(Join, SameRowsAsTheProductOnRandomQueries) {
  int joins = 0;
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    generator g(seed);
    const bool mixed = seed % 4 == 0;
    const std::string input = g.query(mixed) + "\n" + g.tables(6, mixed);
    const both b = evaluate_both(input);
    joins += b.rewritten ? 1 : 0;
    ASSERT_EQ(b.joined, b.plain) << "seed " << seed << "\n" << input.substr(0, input.find('\n'));
  }
  EXPECT_GT(joins, 300);  // the generator reaches the join often enough to matter
}

// Keys repeat, so matches multiply; enough rows for both threads, a hash
// table well past its first growth and a sort of many rows. The result is
// sorted as 64-bit codes when its columns fit in them, and as rows when
// they do not (spread integers need 31 bits each).
TEST(Join, LargeJoinsMatchTheProduct) {
  const struct {
    const char* query;
    bool spread;
    int rows;  // of E; the three-table products are large to make
  } cases[] = {
      {"select(product(E,P),EQ(sid,id))", false, 70000},
      {"project(select(product(E,P),AND(EQ(sid,id),GT(grade,10))),name,course,grade)", false, 70000},
      {"select(product(E,P),EQ(sid,id))", true, 70000},
      {"project(select(product(E,P),EQ(sid,id)),sid,grade,name)", true, 70000},
      {"project(select(product(E,P),EQ(sid,id)),name,grade)", true, 70000},
      {"select(product(product(E,P),Q),AND(EQ(sid,id),EQ(name,qname)))", false, 20000},
      {"project(select(product(Q,product(E,P)),AND(EQ(qname,name),EQ(id,sid))),qv,course,grade)", true, 20000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    std::mt19937 rng(7);
    const auto texts = [&](std::size_t k) { return "'w" + std::to_string(k % 97) + "'"; };
    // Keys 0..299, or the same keys spread over most of the integers.
    const auto key = [&](long k) { return std::to_string(c.spread ? k * 7000001 - 1000000000 : k); };
    std::string input = std::string(c.query) + "\nE(sid int, course text, grade int)\n";
    for (int i = 0; i < c.rows; ++i) {
      // Every row differs (grade is its number), so no row can go missing
      // behind a repeat.
      const long grade = c.spread ? i * 30000L - 1000000000 : i;
      input += key(rng() % 300) + ", " + texts(rng()) + ", " + std::to_string(grade) + "\n";
    }
    input += "\nP(id int, name text)\n";
    for (int i = 0; i < 300; ++i) input += key(i % 260) + ", " + texts(rng() % 7) + "\n";
    input += "\nQ(qname text, qv int)\n";
    for (int i = 0; i < 2; ++i) input += texts(i) + ", " + std::to_string(i) + "\n";
    const both b = evaluate_both(input);
    EXPECT_TRUE(b.rewritten);
    EXPECT_EQ(b.joined, b.plain);
    EXPECT_GT(b.plain.size(), 50000u) << b.plain.substr(0, 300);
  }
}

// Conditions that are not a conjunction with a crossing equality keep the
// product's evaluation.
TEST(Join, OnlyConjunctionsWithACrossingEqualityAreRewritten) {
  const std::string tables = "\nR(a int, b text)\n1, 'x'\n2, 'y'\n\nS(c int, d text)\n1, 'x'\n3, 'z'\n";
  const struct {
    const char* query;
    bool join;
  } cases[] = {
      {"select(product(R,S),EQ(a,c))", true},
      {"select(product(R,S),AND(GT(a,0),AND(EQ(b,d),NEQ(a,5))))", true},
      {"select(rename(product(R,S),T(p,q,r,s)),EQ(p,r))", true},
      {"select(product(product(R,S),rename(R,U(e,f))),AND(EQ(a,c),EQ(c,e)))", true},
      {"select(product(R,S),OR(EQ(a,c),EQ(b,d)))", false},
      {"select(product(R,S),NOT(EQ(a,c)))", false},
      {"select(product(R,S),EQ(a,b))", false},   // both of one operand
      {"select(product(R,S),EQ(a,1))", false},   // a literal
      {"select(product(R,S),EQ(a,zz))", false},  // no such column
      {"select(product(R,R),EQ(a,b))", false},   // the product is refused
      {"select(product(R,S),x)", false},         // not a predicate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const both b = evaluate_both(std::string(c.query) + tables);
    EXPECT_EQ(b.rewritten, c.join);
    EXPECT_EQ(b.joined, b.plain);
  }
}

// An integer key meets a text key as the comparison does: 0 equals the
// empty text, and no integer equals another text (not even '0'). Either
// side may be the one hashed, so each is made the smaller in turn.
TEST(Join, IntegerAndTextKeysMeetByTheComparisonRules) {
  // S's rows 4 and 7 have no value for b: the empty text.
  const std::string ints = "R(a int, p int)\n0, 1\n1, 2\n0, 3\n";
  const std::string texts = "S(q int, b text)\n4\n5, x\n6, 0\n7\n";
  const std::string more_ints = ints + "2, 8\n3, 9\n4, 10\n5, 11\n";
  const std::string more_texts = texts + "12, a\n13, b\n14, c\n15, d\n";
  for (const std::string& tables : {"\n" + more_ints + "\n" + texts, "\n" + ints + "\n" + more_texts}) {
    for (const char* query : {"select(product(R,S),EQ(a,b))", "select(product(S,R),EQ(b,a))"}) {
      SCOPED_TRACE(std::string(query) + tables);
      const both b = evaluate_both(query + tables);
      EXPECT_TRUE(b.rewritten);
      EXPECT_EQ(b.joined, b.plain);
      EXPECT_NE(b.plain.find("\n0,,1,4\n"), std::string::npos) << b.plain;
      EXPECT_EQ(b.plain.find(",6"), std::string::npos) << b.plain;
    }
  }
}

// The limits apply to what the join builds, not to the product it never
// makes; a product that must be made is refused as before.
TEST(Join, LimitsApplyToTheRowsBuilt) {
  std::string input = "select(product(E,P),EQ(sid,id))\nE(sid int)\n";
  for (int i = 0; i < 2000; ++i) input += std::to_string(i) + "\n";
  input += "\nP(id int)\n";
  for (int i = 0; i < 2000; ++i) input += std::to_string(i) + "\n";
  run_options o;
  o.limits.row_limit = 100000;  // the product would hold 4,000,000 rows
  const run_result joined = run_text(input, o);
  EXPECT_EQ(joined.status, exit_ok) << joined.messages;
  const run_result product = run_text("product(E,P)" + input.substr(input.find('\n')), o);
  EXPECT_EQ(product.status, exit_failed);
  EXPECT_NE(product.messages.find("more than the limit of 100000"), std::string::npos);
  o.limits.row_limit = 1999;  // the join keeps 2,000 rows
  const run_result refused = run_text(input, o);
  EXPECT_EQ(refused.status, exit_failed);
  EXPECT_NE(refused.messages.find("number more than the limit of 1999 set by --max-rows"), std::string::npos)
      << refused.messages;
}

}  // namespace
