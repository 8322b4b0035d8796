// The engine's door: a query prepared once and run on many databases, the
// path chosen for it, answers that outlive their session, failures as
// diagnostics, and runs from several threads at once.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/loader.h"
#include "engine/pipeline.h"
#include "engine/session.h"

namespace {

const char* const kTables =
    "R(a int, b text)\n1, 'x'\n2, 'y'\n3, 'x'\n\n"
    "S(c int, d text)\n1, 'p'\n3, 'q'\n";

// The output of the whole program for this query over these tables, less
// the echo: what every other way of running must print.
std::string program_result(const std::string& query, const std::string& tables) {
  const std::string input = query + "\n" + tables;
  const run_result r = run_text(input);
  if (r.status != exit_ok) return "failed: " + r.diagnostics.at(0).message;
  return r.output.substr(input.size() + echo_suffix(input).size());
}

// A session over these tables; it keeps the input text alive.
session over(const std::string& tables) {
  auto text = std::make_shared<const std::string>("Q\n" + tables);
  return session(*text, text);
}

std::string session_result(session& s, const prepared_query& q) {
  s.parse_rows();
  const answer a = s.run(q);
  return a.ok() ? a.printed() : "failed: " + a.failure().message;
}

TEST(Session, PreparedOnceAnswersEveryDatabaseWithTheSameTables) {
  const std::string other = "R(a int, b text)\n7, 'z'\n2, 'y'\n\nS(c int, d text)\n7, 'r'\n";
  const char* queries[] = {
      "R",
      "select(product(R,S),EQ(a,c))",
      "project(select(product(R,S),AND(EQ(a,c),NEQ(b,'y'))),b,d)",
      "union(project(R,a),project(S,c))",
      "minus(project(R,b),project(select(R,GT(a,1)),b))",
      "rename(R,T(x,y))",
      "select(R,EQ(zz,0))",
  };
  session first = over(kTables);
  first.parse_rows();
  session second = over(other);
  second.parse_rows();
  for (const char* query : queries) {
    SCOPED_TRACE(query);
    const prepared_query q = first.prepare(query);
    EXPECT_EQ(session_result(first, q), program_result(query, kTables));
    EXPECT_EQ(session_result(second, q), program_result(query, other));
  }
}

TEST(Session, OtherTablesReadTheQueryAgain) {
  // S is missing in the second database: the plan read against the first
  // must not run there as it was read, and the failure is the one the
  // second database gives.
  session first = over(kTables);
  session second = over("R(a int, b text)\n1, 'x'\n");
  const prepared_query q = first.prepare("union(R,S)");
  EXPECT_EQ(session_result(second, q), "failed: no table named 'S'; did you mean 'R'?");
  // A table of the same name with another header: read again too.
  session third = over("R(a int, b text)\n1, 'x'\n\nS(e int, d text)\n5, 'p'\n");
  const prepared_query j = first.prepare("select(product(R,S),EQ(a,c))");
  EXPECT_EQ(session_result(third, j),
            program_result("select(product(R,S),EQ(a,c))", "R(a int, b text)\n1, 'x'\n\nS(e int, d text)\n5, 'p'\n"));
}

TEST(Session, FailuresAreDiagnosticsWithTheirPlace) {
  session s = over(kTables);
  s.parse_rows();
  const answer bad = s.run(s.prepare("union(R,Sx)"));
  ASSERT_FALSE(bad.ok());
  EXPECT_TRUE(bad.failure().placed());
  EXPECT_EQ(bad.failure().span.begin, 8u);
  EXPECT_EQ(bad.failure().span.end, 10u);
  EXPECT_EQ(bad.failure().suggestion, "S");
  EXPECT_EQ(bad.printed(), "");
  const answer clash = s.run(s.prepare("product(R,R)"));
  ASSERT_FALSE(clash.ok());
  EXPECT_NE(clash.failure().message.find("appears in both operands"), std::string::npos);
}

TEST(Session, AnAnswerOutlivesItsSession) {
  std::string printed;
  answer kept = [] {
    session s = over(kTables);
    s.parse_rows();
    return s.run(s.prepare("select(R,EQ(b,'x'))"));
  }();
  ASSERT_TRUE(kept.ok());
  EXPECT_EQ(kept.result().rows.size(), 2u);
  EXPECT_EQ(kept.printed(), "(a int, b text)\n1,'x'\n3,'x'\n");
}

TEST(Session, RunsFromSeveralThreadsAtOnce) {
  std::string tables = "R(a int, b int)\n";
  for (int i = 0; i < 2000; ++i) tables += std::to_string(i % 97) + ", " + std::to_string(i % 13) + "\n";
  tables += "\nS(c int, d int)\n";
  for (int i = 0; i < 500; ++i) tables += std::to_string(i % 89) + ", " + std::to_string(i) + "\n";
  session s = over(tables);
  s.parse_rows();
  const char* queries[] = {"project(select(product(R,S),EQ(a,c)),b,d)", "union(project(R,a),project(S,c))",
                           "minus(project(R,b),project(select(R,GT(a,50)),b))"};
  std::vector<std::string> want;
  for (const char* q : queries) want.push_back(program_result(q, tables));
  std::vector<std::string> got(6 * 3);
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < 3; ++k) got[static_cast<std::size_t>(t * 3 + k)] = s.run(s.prepare(queries[k])).printed();
    });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i % 3]) << queries[i % 3];
}

TEST(Session, ThePathIsChosenInOnePlace) {
  const struct {
    const char* query;
    bool watched;
    eval_path path;
  } cases[] = {
      {"R", false, eval_path::table_lines},
      {"R", true, eval_path::whole},
      {"select(R,GT(a,1))", false, eval_path::stream},
      {"project(select(R,GT(a,1)),b)", false, eval_path::stream},
      {"project(select(R,GT(zz,1)),b)", false, eval_path::stream},
      {"select(R,zz)", false, eval_path::whole},  // fails: the failure is met by evaluation
      {"union(R,R)", false, eval_path::set_lines},
      {"minus(R,S)", false, eval_path::set_lines},
      {"select(product(R,S),EQ(a,c))", false, eval_path::joined},
      {"select(product(R,S),EQ(a,c))", true, eval_path::joined},
      {"select(product(R,S),GT(a,c))", false, eval_path::whole},
      {"rename(R,T(x,y))", false, eval_path::whole},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.query) + (c.watched ? " (watched)" : ""));
    session s = over(kTables);  // rows not parsed: the row-line paths are open
    const prepared_query q = s.prepare(c.query, {false, c.watched});
    EXPECT_EQ(q.path().path, c.path);
    EXPECT_FALSE(q.path().why.empty());
    // Every path prints what the program prints.
    std::string buf;
    std::string all;
    const answer a = s.print(q, {}, buf, [&all](std::string& b) {
      all += b;
      b.clear();
    });
    all += buf;
    EXPECT_EQ(a.ok() ? all : "failed: " + a.failure().message, program_result(c.query, kTables));
  }
}

}  // namespace
