// The reference itself against the hand-checked end-to-end cases: every
// tests/cases/NAME/input.txt run without options must give expected.txt and
// the case's status, so the reference is known right where people have
// looked. Cases that pass options (an "args" file) are the program's own,
// but for those whose only option is --extended, which the reference reads
// too.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "compare.h"
#include "reference.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Reference, MatchesEveryEndToEndCase) {
  int cases = 0;
  for (const auto& e : fs::directory_iterator(CASES_DIR)) {
    const fs::path dir = e.path();
    if (!fs::exists(dir / "input.txt")) continue;
    const std::string args = fs::exists(dir / "args") ? slurp(dir / "args") : "";
    const bool extended = args == "--extended\n" || args == "--extended";
    if (!args.empty() && !extended) continue;
    ++cases;
    int want_status = 0;
    if (fs::exists(dir / "status")) want_status = std::stoi(slurp(dir / "status"));
    const ref::outcome got = ref::run_text(slurp(dir / "input.txt"), extended);
    EXPECT_TRUE(diff::same_run(got.status, got.output, want_status, slurp(dir / "expected.txt")))
        << dir.filename();
  }
  EXPECT_GT(cases, 100);
}

}  // namespace
