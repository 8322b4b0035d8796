// Runs the relalg binary on every tests/cases/<name>/input.txt, from inside
// the case's folder (so messages name the input "input.txt"), and checks
// the output file byte for byte against expected.txt. Optional files:
// "args" holds options to pass, one per line; "status" holds the expected
// exit status (default 0); "stderr" holds text that standard error must
// contain; "stderr.exact" holds all of it, where every time is written as
// "T" ("T ms", "time":T) (by default standard error is empty).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Times vary from run to run: "12.345 ms" becomes "T ms" and
// "\"time\":12.345" becomes "\"time\":T".
std::string without_times(const std::string& s) {
  const auto digit = [&](std::size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t j = i;
    while (digit(j)) ++j;
    const bool timed = j > i && (i == 0 || !digit(i - 1)) && j < s.size() && s[j] == '.' && digit(j + 1) &&
                       digit(j + 2) && digit(j + 3) && !digit(j + 4);
    if (timed && s.compare(j + 4, 3, " ms") == 0) {
      out += 'T';
      i = j + 4;
    } else if (timed && out.size() >= 7 && out.compare(out.size() - 7, 7, "\"time\":") == 0) {
      out += 'T';
      i = j + 4;
    } else {
      out.append(s, i, std::max(j, i + 1) - i);
      i = std::max(j, i + 1);
    }
  }
  return out;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(CASES_DIR)) {
    if (e.is_directory() && fs::exists(e.path() / "input.txt")) {
      names.push_back(e.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Case : public ::testing::TestWithParam<std::string> {};

TEST_P(Case, OutputMatches) {
  const fs::path dir = fs::path(CASES_DIR) / GetParam();
  const fs::path tmp = fs::temp_directory_path() / ("relalg_e2e_" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  const fs::path out = tmp / (GetParam() + ".out");
  const fs::path err = tmp / (GetParam() + ".err");
  std::string args;
  if (fs::exists(dir / "args")) {
    std::istringstream lines(slurp(dir / "args"));
    for (std::string a; std::getline(lines, a);) {
      if (!a.empty()) args += " '" + a + "'";
    }
  }
  const std::string cmd = "cd '" + dir.string() + "' && '" + RELALG_BIN + "'" + args + " input.txt '" +
                          out.string() + "' 2>'" + err.string() + "'";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw)) << "terminated abnormally: " << cmd;
  const int status = WEXITSTATUS(raw);

  int want_status = 0;
  if (fs::exists(dir / "status")) want_status = std::stoi(trim(slurp(dir / "status")));
  const std::string stderr_text = slurp(err);
  EXPECT_EQ(status, want_status) << "stderr: " << stderr_text;
  if (fs::exists(dir / "stderr.exact")) {
    EXPECT_EQ(without_times(stderr_text), slurp(dir / "stderr.exact"));
  } else if (fs::exists(dir / "stderr")) {
    const std::string want = trim(slurp(dir / "stderr"));
    EXPECT_NE(stderr_text.find(want), std::string::npos)
        << "stderr lacks: " << want << "\nstderr was: " << stderr_text;
  } else {
    EXPECT_EQ(stderr_text, "");
  }
  EXPECT_EQ(slurp(out), slurp(dir / "expected.txt"));
  fs::remove(out);
  fs::remove(err);
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(case_names()),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Case);

// The examples are written as a teacher would write them: no warning.
TEST(Examples, HaveNoWarnings) {
  int seen = 0;
  for (const auto& e : fs::recursive_directory_iterator(EXAMPLES_DIR)) {
    if (e.path().extension() != ".txt") continue;
    // Answers to grade (examples/grading/students/) hold a query alone.
    const std::string text = slurp(e.path());
    if (text.find_first_not_of('\n', std::min(text.find('\n'), text.size())) == std::string::npos) continue;
    ++seen;
    // The exercises written with join, njoin, intersect and divide
    // (examples/grading/extended/) are read as grading reads them there.
    const bool extended = e.path().string().find("/extended/") != std::string::npos;
    const fs::path err = fs::temp_directory_path() / ("relalg_warn_" + std::to_string(::getpid()));
    const std::string cmd = std::string("'") + RELALG_BIN + "' --warn " + (extended ? "--extended '" : "'") +
                            e.path().string() + "' /dev/null 2>'" + err.string() + "'";
    const int raw = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << e.path();
    EXPECT_EQ(slurp(err), "") << e.path();
    fs::remove(err);
  }
  EXPECT_GT(seen, 5);
}

}  // namespace
