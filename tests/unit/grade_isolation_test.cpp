// Worker processes under limits (a job that runs long, fills memory,
// crashes or throws ends with the reason, the others unharmed; a stop
// signal ends the run), and outcomes carried over a pipe: every field
// survives the round trip, and no cut or altered bytes are taken.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "grade/feedback.h"
#include "grade/isolation.h"
#include "grade/report.h"
#include "grade/wire.h"

namespace {

using grade::job_end;

struct ended {
  std::size_t job;
  job_end end;
};

std::vector<ended> run(std::size_t n, std::size_t jobs, const grade::worker_limits& l,
                       const std::function<void(std::size_t, grade::channel&)>& work, bool* finished = nullptr) {
  grade::stop_signals stop;
  std::vector<ended> out;
  const bool f = grade::run_workers(n, jobs, l, stop, work,
                                    [&](std::size_t i, job_end&& e) { out.push_back({i, std::move(e)}); });
  if (finished != nullptr) *finished = f;
  return out;
}

TEST(Workers, EachJobEndsWithItsReasonAndTheOthersFinish) {
  grade::worker_limits l;
  l.seconds = 0.5;
  l.megabytes = 64;
  const auto start = std::chrono::steady_clock::now();
  const std::vector<ended> got = run(6, 3, l, [](std::size_t i, grade::channel& ch) {
    ch.send("job " + std::to_string(i));
    switch (i) {
      case 1:  // runs past the deadline (and ends by itself if not stopped)
        std::this_thread::sleep_for(std::chrono::seconds(30));
        break;
      case 2: {  // fills memory, 8 MB at a time, 1 GB at most
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int k = 0; k < 128; ++k) {
          blocks.emplace_back(new char[8 << 20]);
          std::memset(blocks.back().get(), k, 8 << 20);
        }
        break;
      }
      case 3:  // dies of a signal (one that sanitizers leave alone)
        std::abort();
      case 4:
        throw std::runtime_error("thrown");
      default:
        break;
    }
    ch.send("done");
  });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(got.size(), 6u);
  std::vector<job_end::kind> how(6, job_end::not_started);
  for (const ended& e : got) {
    how[e.job] = e.end.how;
    ASSERT_FALSE(e.end.messages.empty());
    EXPECT_EQ(e.end.messages[0], "job " + std::to_string(e.job));
    if (e.end.how == job_end::finished) {
      EXPECT_EQ(e.end.messages.back(), "done");
    }
  }
  EXPECT_EQ(how[0], job_end::finished);
  EXPECT_EQ(how[1], job_end::time_limit);
  EXPECT_EQ(how[2], job_end::memory_limit);
  EXPECT_EQ(how[3], job_end::killed);
  EXPECT_EQ(how[4], job_end::exited);
  EXPECT_EQ(how[5], job_end::finished);
  EXPECT_LT(seconds, 20);  // the deadline was kept (generously: a shared machine)
  for (const ended& e : got) {
    const std::string why = e.end.why(l);
    if (e.job == 1) {
      EXPECT_EQ(why, "exceeded the time limit of 0.5 s");
    } else if (e.job == 2) {
      EXPECT_EQ(why, "exceeded the memory limit of 64 MB");
    } else if (e.job == 3) {
      EXPECT_EQ(why.rfind("ended with signal 6", 0), 0u) << why;
    }
  }
}

TEST(Workers, AStopSignalEndsTheRunAndKillsTheWorkers) {
  grade::worker_limits l;
  l.seconds = 60;
  grade::stop_signals stop;
  const auto start = std::chrono::steady_clock::now();
  std::size_t done = 0;
  const bool finished = grade::run_workers(
      4, 2, l, stop,
      [](std::size_t i, grade::channel&) {
        if (i == 0) {
          kill(getppid(), SIGTERM);
          return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(30));
      },
      [&](std::size_t, job_end&&) { ++done; });
  EXPECT_FALSE(finished);
  EXPECT_EQ(stop.received(), SIGTERM);
  EXPECT_LE(done, 1u);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20);
}

// An outcome with every field set, and its texts made of odd bytes.
grade::outcome full_outcome() {
  grade::outcome o;
  o.what = grade::verdict::wrong;
  o.database = "db\n\xff.txt";
  o.sample = 3;
  o.failure = "relalg: x";
  o.search_stopped = "exceeded the time limit of 1 s";
  o.databases = 2;
  o.samples = 7;
  o.kind = grade::database_kind::built;
  o.built_what = "a row for each table";
  o.built = 1850;
  o.how = grade::equivalence::tested;
  o.proof = "{\"form\": \"sets\"}";
  o.proof_refuted = true;
  grade::comparison& c = o.diff;
  c.differs = c.header_differs = c.order_differs = true;
  c.header_what = "the column names";
  c.expected_header = "(a int)";
  c.got_header = "(b int)";
  c.missing = {"1", std::string("\0x", 2)};
  c.extra = {""};
  c.missing_count = 1000000;
  c.extra_count = 1;
  c.order_row = 4;
  c.order_expected = "5";
  c.order_got = "6";
  c.witnesses = {{"1", "'a'"}, {}};
  grade::counterexample& x = o.cx.emplace();
  x.rows.rows = {0, 4, 4000000000u};
  x.rows.dropped = {false, true};
  x.row_count = 3;
  x.input = "q\nT(a int)\n1\n";
  x.reference = grade::evaluation::restored(true, false, "", "(a int)\n1\n");
  x.submission = grade::evaluation::restored(false, true, "relalg: FILE:1:1: error: e\nq\n^", "");
  x.minimal = true;
  x.takes_partners = true;
  x.tests = 42;
  o.warnings = {"relalg: s.txt:1:3: warning: w\nq\n  ^\n", ""};
  o.where.trace = "R -> R(a int): 1 row\n";
  o.where.lost_at = source_span{2, 9};
  o.where.extra_at = source_span{0, 0};
  o.where.lost = "the row (1) of R is lost at select(R, GT(a, 1)) (1:3)";
  o.where.extra = "x";
  return o;
}

TEST(Wire, EveryFieldSurvivesTheRoundTrip) {
  const grade::outcome o = full_outcome();
  grade::outcome back;
  ASSERT_TRUE(grade::decode(grade::encode(o), back));
  EXPECT_EQ(grade::encode(back), grade::encode(o));
  // What the reports make of it is the same.
  grade::exercise ex;
  grade::submission_input sub;
  sub.path = "s.txt";
  const grade::grade_options opts;
  grade::graded_item a;
  a.ex = &ex;
  a.sub = &sub;
  a.out = &o;
  a.message = grade::feedback(o, sub, opts);
  grade::graded_item b = a;
  b.out = &back;
  b.message = grade::feedback(back, sub, opts);
  EXPECT_EQ(a.message, b.message);
  EXPECT_EQ(grade::json_line(a), grade::json_line(b));
  EXPECT_EQ(back.cx->submission.error(), o.cx->submission.error());
  EXPECT_EQ(back.cx->reference.row_count(), 1u);
  // A proved verdict keeps its proof, and the prover's database its kind.
  grade::outcome proved;
  proved.how = grade::equivalence::proved;
  proved.proof = o.proof;
  ASSERT_TRUE(grade::decode(grade::encode(proved), back));
  EXPECT_EQ(back.how, grade::equivalence::proved);
  EXPECT_EQ(back.proof, proved.proof);
  a.out = &back;
  EXPECT_NE(grade::json_line(a).find(",\"equivalence\":\"proved\",\"proof\":{\"form\": \"sets\"},"), std::string::npos);
  grade::outcome found = o;
  found.kind = grade::database_kind::prover;
  ASSERT_TRUE(grade::decode(grade::encode(found), back));
  EXPECT_EQ(back.kind, grade::database_kind::prover);
}

TEST(Wire, CutOrAlteredBytesAreRefused) {
  const std::string bytes = grade::encode(full_outcome());
  grade::outcome back;
  for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(grade::decode(bytes.substr(0, n), back)) << n;
  EXPECT_FALSE(grade::decode(bytes + "x", back));
  std::string wrong_version = bytes;
  wrong_version[7] ^= 1;
  EXPECT_FALSE(grade::decode(wrong_version, back));
  // A length far beyond the bytes sent: refused before anything is made of it.
  std::string huge = bytes;
  for (int i = 0; i < 8; ++i) huge[16 + i] = '\xff';  // the length of the first text
  EXPECT_FALSE(grade::decode(huge, back));
}

}  // namespace
