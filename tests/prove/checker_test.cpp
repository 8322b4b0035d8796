// The independent checker refuses certificates that do not prove their
// pair: maps taken away or pointed elsewhere, another form, a proof of
// another pair, text that is no certificate.
#include <gtest/gtest.h>

#include <string>

#include "checker.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "prove/decide.h"

namespace {

class CheckerTest : public ::testing::Test {
 protected:
  void SetUp() override { load_tables("R\nR(a int, b int)\n\nS(c int, d text)\n", tables_, false); }

  plan read(const std::string& q) { return parse_query(q, tables_); }

  std::string proof(const std::string& a, const std::string& b) {
    const prove::decision d = prove::decide(read(a), read(b));
    EXPECT_EQ(static_cast<int>(d.result), static_cast<int>(prove::verdict::proved)) << a << " vs " << b;
    return d.certificate;
  }

  std::string check(const std::string& a, const std::string& b, const std::string& certificate) {
    return proofcheck::check(read(a), read(b), false, certificate);
  }

  static std::string replaced(std::string s, const std::string& from, const std::string& to) {
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from << " in " << s;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
  }

  table_map tables_;
};

// A proof case by case: a < b in one preorder, b < a in the other.
const char* const kNeq = "select(R,NEQ(a,b))";
const char* const kLtGt = "select(R,OR(LT(a,b),GT(a,b)))";

TEST_F(CheckerTest, AcceptsTheProversCertificate) {
  EXPECT_EQ(check(kNeq, kLtGt, proof(kNeq, kLtGt)), "");
}

TEST_F(CheckerTest, RefusesAMapTakenAway) {
  const std::string cert = proof(kNeq, kLtGt);
  // The first case of the first check needs both disjuncts of the second
  // query; keep only the map into the first.
  const std::size_t maps = cert.find("\"maps\": [");
  const std::size_t second = cert.find("}, {\"negative\"", maps);
  ASSERT_NE(second, std::string::npos) << cert;
  const std::size_t end = cert.find("}]", second);
  const std::string cut = cert.substr(0, second + 1) + cert.substr(end + 1);
  EXPECT_NE(check(kNeq, kLtGt, cut), "");
}

TEST_F(CheckerTest, RefusesAMapPointedElsewhere) {
  const std::string a = "project(select(product(R,rename(R,T(x,y))),EQ(a,x)),a,b)";
  const std::string b = "project(R,a,b)";
  const std::string cert = proof(a, b);
  EXPECT_EQ(check(a, b, cert), "");
  // The first check maps R's one occurrence onto the case's first; the
  // case's second occurrence holds other values in column b.
  std::string moved = cert;
  const std::size_t at = moved.find("\"occurrences\": [0]");
  ASSERT_NE(at, std::string::npos) << cert;
  moved.replace(at, 18, "\"occurrences\": [1]");
  EXPECT_NE(check(a, b, moved), "");
}

TEST_F(CheckerTest, RefusesAnotherForm) {
  const std::string cert = proof(kNeq, kLtGt);
  EXPECT_NE(check(kNeq, kLtGt, replaced(cert, "\"form\": \"ordered\"", "\"form\": \"sets\"")), "");
}

TEST_F(CheckerTest, RefusesTheProofOfAnotherPair) {
  const std::string cert = proof("select(R,GT(a,1))", "select(R,GTE(a,2))");
  EXPECT_EQ(check("select(R,GT(a,1))", "select(R,GTE(a,2))", cert), "");
  EXPECT_NE(check("select(R,GT(a,1))", "select(R,GTE(a,1))", cert), "");
  EXPECT_NE(check("select(R,GT(a,1))", "select(R,GTE(b,2))", cert), "");
}

TEST_F(CheckerTest, RefusesAMapWhoseComparisonsDoNotFollow) {
  // Rows with a != b mapped onto LT(a,b) as if a < b followed: it holds in
  // some preorders only.
  const std::string forged =
      "{\"form\": \"ordered\", \"checks\": ["
      "{\"rows_of\": 1, \"in\": 2, \"cases\": [{\"case\": [0, 0, [0]], \"maps\": "
      "[{\"negative\": 0, \"disjunct\": 0, \"occurrences\": [0]}]}]}, "
      "{\"rows_of\": 2, \"in\": 1, \"cases\": [{\"case\": [0, 0, [0]], \"maps\": "
      "[{\"negative\": 0, \"disjunct\": 0, \"occurrences\": [0]}]}]}]}";
  EXPECT_NE(check(kNeq, "select(R,LT(a,b))", forged), "");
  EXPECT_NE(check("select(R,LTE(a,b))", "select(R,LT(a,b))", forged), "");
  // Every row mapped onto a comparison, in each direction.
  for (const char* c : {"LT(a,b)", "LTE(a,b)", "NEQ(a,b)", "GT(a,b)", "GTE(a,b)"}) {
    const std::string q = std::string("select(R,") + c + ")";
    EXPECT_NE(check("select(R,EQ(1,1))", q, forged), "") << q;
    EXPECT_NE(check(q, "select(R,EQ(1,1))", forged), "") << q;
  }
  EXPECT_EQ(check("select(R,GT(b,a))", "select(R,LT(a,b))", forged), "");
}

TEST_F(CheckerTest, RefusesWhatIsNoCertificate) {
  EXPECT_NE(check(kNeq, kLtGt, ""), "");
  EXPECT_NE(check(kNeq, kLtGt, "{\"form\": \"ordered\", \"checks\": []}"), "");
  EXPECT_NE(check(kNeq, kLtGt, "{\"form\": \"ordered\", \"checks\": [{\"rows_of\": 1, \"in\": 2, \"cases\": []}, "
                               "{\"rows_of\": 2, \"in\": 1, \"cases\": []}]}"),
            "");
}

TEST_F(CheckerTest, RefusesPairsWithDifferentHeadersOrFailures) {
  const std::string cert = proof("project(R,a)", "project(R,a)");
  EXPECT_NE(check("project(R,a)", "project(R,b)", cert), "");
  EXPECT_NE(check("project(R,a)", "project(product(R,R),a)", cert), "");
}

}  // namespace
