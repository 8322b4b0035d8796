// The executable against the reference on large inputs: what the
// in-process entry leaves out, reading files, standard input and pipes,
// copying the echo file to file in the kernel and writing to standard
// output, around the pipeline that prints a bare-table query straight from
// its row lines. Each input runs with file paths, with "-" for both
// (standard input a file), and through a pipe; relalg_ref runs on the same
// files so scripts can rely on it.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare.h"
#include "reference.h"

namespace fs = std::filesystem;

namespace {

using S = std::string;

S slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const fs::path& p, const S& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Runs a shell command; its exit status, or -1 when it did not exit.
int shell(const S& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Row lines of R(a int, b text, c text) for about `bytes` bytes: values
// with blanks, commas, NUL and high bytes, CR bytes at some line ends,
// blank-only lines, repeats.
std::vector<S> rows_of_about(std::size_t bytes, uint64_t seed) {
  std::mt19937_64 r(seed);
  static const std::vector<S> odd = {S("n\0ul", 4), "\x80\xff", "'q, r'", "O'Brien,", "\t7", "x"};
  std::vector<S> rows;
  std::size_t size = 0;
  while (size < bytes) {
    S line;
    if (rows.size() % 1009 == 3) {
      line = "  ";
    } else if (rows.size() % 17 == 0 && !rows.empty()) {
      line = rows[r() % rows.size()];
    } else {
      line += std::to_string(static_cast<int>(r() % 200001) - 100000);
      line += r() % 2 ? ", '" : " '";
      for (int k = 0; k < 12; ++k) line += static_cast<char>('a' + r() % 26);
      line += " z' ";
      line += odd[r() % odd.size()];
      if (r() % 7 == 0) line += "\r";
    }
    size += line.size() + 1;
    rows.push_back(line);
  }
  return rows;
}

S lines(const S& header, const std::vector<S>& rows) {
  S out = header + "\n";
  for (const S& row : rows) out.append(row).append("\n");
  return out;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("relalg_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the program every way on input (and relalg_ref too, with_ref) and
  // compares each output and status with the reference's.
  void expect_all_ways_match(const S& input, int want_status, bool with_ref = false) {
    const ref::outcome want = ref::run_text(input);
    ASSERT_EQ(want.status, want_status);
    const fs::path in = dir_ / "in.txt";
    const fs::path out = dir_ / "out.txt";
    spit(in, input);
    const S prog = RELALG_BIN;
    const S refb = RELALG_REF_BIN;
    std::vector<std::pair<S, S>> ways = {
        {"files", "'" + prog + "' '" + in.string() + "' '" + out.string() + "'"},
        {"- -", "'" + prog + "' - - <'" + in.string() + "' >'" + out.string() + "'"},
        {"pipe", "cat '" + in.string() + "' | '" + prog + "' - '" + out.string() + "'"},
    };
    if (with_ref) {
      ways.emplace_back("relalg_ref files", "'" + refb + "' '" + in.string() + "' '" + out.string() + "'");
      ways.emplace_back("relalg_ref - -", "'" + refb + "' - - <'" + in.string() + "' >'" + out.string() + "'");
    }
    for (const auto& [way, command] : ways) {
      SCOPED_TRACE(way);
      fs::remove(out);
      const int status = shell(command + " 2>/dev/null");
      EXPECT_TRUE(diff::same_run(status, slurp(out), want.status, want.output));
    }
  }

  fs::path dir_;
};

const std::size_t kStreamBytes = diff::kSanitized ? (3 << 20) : (4 << 20);

TEST_F(Cli, BareTableQueryStreamsASeveralMegabyteTable) {
  // An earlier R is replaced; the last line has no line feed.
  S input = "R\n" + lines("R(a int, b text)", {"1 'old'", "2 'old'"}) + "\n" +
            lines("S(x int)", {"5"}) + "\n" + lines("R(a int, b text, c text)", rows_of_about(kStreamBytes, 1));
  input.pop_back();
  expect_all_ways_match(input, 0, true);
}

TEST_F(Cli, BareTableQueryStreamsATableFollowedByOthers) {
  const S input = "R\n\n" + lines("R(a int, b text, c text)", rows_of_about(kStreamBytes / 2, 2)) + "\n\n" +
                  lines("S(x int)", {"5", "6"});
  expect_all_ways_match(input, 0);
}

TEST_F(Cli, BareTableQueryOverAStringColumnTableAndOneWithoutColumns) {
  const S input = "T\n" + lines("T", rows_of_about(kStreamBytes / 2, 3));
  expect_all_ways_match(input, 0);
  const S strings = "R\n" + lines("R(a text, b INT, c)", rows_of_about(kStreamBytes / 2, 4));
  expect_all_ways_match(strings, 0);
}

TEST_F(Cli, EvaluatedQueryOverLargeTables) {
  const S input = "union(select(R,GT(a,0)),project(S,a,b,c))\n" +
                  lines("R(a int, b text, c text)", rows_of_about(kStreamBytes / 4, 5)) + "\n" +
                  lines("S(c text, b text, a int)", rows_of_about(kStreamBytes / 8, 6));
  expect_all_ways_match(input, 0, true);
}

TEST_F(Cli, FailingQueryOverALargeInputKeepsTheWholeEcho) {
  const S input = "union(R,Nosuch)\n" + lines("R(a int, b text, c text)", rows_of_about(kStreamBytes, 7));
  expect_all_ways_match(input, 1);
}

}  // namespace
