// Reading a submission: only a regular file, its first line at most 1 MB,
// a byte order mark and a carriage return around the query dropped, and
// whether lines follow it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "grade/submission_file.h"

namespace {

class SubmissionFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/relalg-subXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '";
    cmd += dir_;
    cmd += '\'';
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string path(const std::string& name) const {
    std::string p = dir_;
    p += '/';
    p += name;
    return p;
  }
  std::string file(const std::string& name, const std::string& text) {
    const std::string p = path(name);
    std::FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return p;
  }
  std::string dir_;
};

TEST_F(SubmissionFile, FirstLineWithMarksDropped) {
  const struct {
    std::string text, query;
    bool bom, cr, more;
  } cases[] = {
      {"q(R)\n", "q(R)", false, false, false},
      {"q(R)", "q(R)", false, false, false},
      {"\xEF\xBB\xBFq(R)\r\n", "q(R)", true, true, false},
      {"q(R)\r\n\r\n\n", "q(R)", false, true, false},
      {"q(R)\nR(a int)\n1\n", "q(R)", false, false, true},
      {"\xEF\xBBq(R)\n", "\xEF\xBBq(R)", false, false, false},  // half a mark is the query's
      {"q(R)\r\r\n", "q(R)\r", false, true, false},
      {"", "", false, false, false},
      {std::string(1 << 21, 'x'), "", false, false, false},
  };
  int i = 0;
  for (const auto& c : cases) {
    const grade::submission_text s = grade::read_submission_file(file(std::to_string(i++), c.text));
    if (c.text.size() > grade::kMaxQueryLine) {
      EXPECT_FALSE(s.ok);
      EXPECT_NE(s.problem.find("the first line is longer than 1 MB"), std::string::npos) << s.problem;
      continue;
    }
    ASSERT_TRUE(s.ok) << s.problem;
    EXPECT_EQ(s.query, c.query);
    EXPECT_EQ(s.dropped_bom, c.bom);
    EXPECT_EQ(s.dropped_cr, c.cr);
    EXPECT_EQ(s.ignored_lines, c.more) << c.text;
  }
  // A line of exactly 1 MB is read, and what follows it seen.
  std::string big_text(1 << 20, 'x');
  big_text += "\nmore\n";
  const grade::submission_text big = grade::read_submission_file(file("big", big_text));
  ASSERT_TRUE(big.ok);
  EXPECT_EQ(big.query.size(), std::size_t{1} << 20);
  EXPECT_TRUE(big.ignored_lines);
}

TEST_F(SubmissionFile, OnlyRegularFiles) {
  const std::string target = file("ref.txt", "secret(R)\n");
  const std::string link = path("link.txt");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  const std::string fifo = path("fifo.txt");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path, words;
  } cases[] = {
      {link, "is a symbolic link; submit the file itself"},
      {fifo, "is a FIFO, not a regular file"},
      {"/dev/zero", "is a character device, not a regular file"},
      {dir_, "is a folder, not a regular file"},
      {path("none.txt"), "cannot read"},
  };
  for (const auto& c : cases) {
    const grade::submission_text s = grade::read_submission_file(c.path);
    EXPECT_FALSE(s.ok) << c.path;
    EXPECT_NE(s.problem.find(c.words), std::string::npos) << s.problem;
    EXPECT_EQ(s.problem.find("secret"), std::string::npos);
  }
  EXPECT_TRUE(grade::something_at(link));
  EXPECT_FALSE(grade::something_at(path("none.txt")));
  const std::string dangling = path("dangling.txt");
  ASSERT_EQ(symlink("/nonexistent/x", dangling.c_str()), 0);
  EXPECT_TRUE(grade::something_at(dangling));
  EXPECT_NE(grade::read_submission_file(dangling).problem.find("symbolic link"), std::string::npos);
}

}  // namespace
