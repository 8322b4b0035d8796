// The grading run's order of work. Items are listed in the report's order
// (submission by submission, in folder mode each one's exercises in turn);
// a query that several submissions of one exercise hold is one job, graded
// once, in the place of its first item; jobs start in that order, so items
// are decided, and can be written, from the first on.
#include "grade/schedule.h"

#include <iostream>
#include <map>
#include <utility>

#include "engine/show_text.h"
#include "grade/feedback.h"
#include "grade/wire.h"

namespace grade {

namespace {

struct job {
  std::size_t exercise = 0;
  const submission_input* first = nullptr;
  std::vector<std::size_t> items;
};

bool over_limit(const job_end& e) { return e.how == job_end::time_limit || e.how == job_end::memory_limit; }

// The message of a query whose worker did not finish its work.
std::string worker_failure(const job_end& e, const worker_limits& l, const std::string& path) {
  const std::string who = "relalg: " + visible_text(path) + ": ";
  if (over_limit(e)) return who + "grading this query " + e.why(l) + " (all its evaluations together)";
  return who + "the grader's worker for this query " + e.why(l);
}

// Runs the preparation of an exercise in a worker first, so that a
// reference that exceeds the limits stops grading with a message instead
// of taking the grader down. Returns the stop signal, or 0.
int probe_reference(const exercise& ex, const exercise_facts& facts, const grade_options& o,
                    const engine_options& eo, const worker_limits& limits, stop_signals& stop) {
  job_end end;
  const bool ran = run_workers(
      1, 1, limits, stop,
      [&](std::size_t, channel& ch) {
        try {
          prepare_exercise(ex, &facts, o, eo, false);
          ch.send("");
        } catch (const input_error& x) {
          ch.send(x.what());
        }
      },
      [&](std::size_t, job_end&& e) { end = std::move(e); });
  if (!ran) return stop.received();
  if (end.how == job_end::finished && end.messages.size() == 1) {
    if (!end.messages[0].empty()) throw input_error(end.messages[0]);
    return 0;
  }
  const std::string what = over_limit(end) ? end.why(limits) : "could not be evaluated: its worker " + end.why(limits);
  throw input_error("relalg: the reference query in " + quoted_path(ex.reference_path) + " " + what +
                    " on the exercise's databases (a reference is held to the limits of the submissions: "
                    "--time-limit and --memory-limit)");
}

}  // namespace

run_result grade_all(const grading_inputs& in, const std::vector<exercise_facts>& facts, const grade_options& o,
                     const engine_options& eo,
                     const worker_limits& limits, stop_signals& stop, std::vector<outcome>& outcomes,
                     std::vector<graded_item>& items, const std::function<void(const graded_item&)>& decided) {
  run_result result;
  std::vector<graded_item> all;
  for (std::size_t k = 0; k < o.submissions.size(); ++k) {
    for (std::size_t e = 0; e < in.exercises.size(); ++e) {
      graded_item it;
      it.ex = &in.exercises[e];
      it.sub = &in.submissions[e][k];
      it.folder = in.folders ? o.submissions[k] : std::string();
      it.max_score = in.folders ? it.ex->points : 1;
      all.push_back(std::move(it));
    }
  }
  result.total = all.size();
  outcomes.assign(all.size(), outcome());
  std::vector<bool> done(all.size(), false);
  std::size_t next = 0;  // the first item not yet handed on
  const auto decide = [&](std::size_t i, outcome out) {
    outcomes[i] = std::move(out);
    graded_item& it = all[i];
    it.out = &outcomes[i];
    it.message = feedback(*it.out, *it.sub, o);
    it.score = it.out->what == verdict::correct ? it.max_score : 0;
    done[i] = true;
    for (; next < all.size() && done[next]; ++next) {
      items.push_back(all[next]);
      decided(items.back());
    }
  };

  std::vector<job> jobs;
  std::map<std::pair<std::size_t, std::string>, std::size_t> by_query;
  std::vector<bool> needed(in.exercises.size(), false);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const submission_input& s = *all[i].sub;
    if (s.missing || !s.readable) continue;
    const std::size_t e = static_cast<std::size_t>(all[i].ex - in.exercises.data());
    const auto [at, fresh] = by_query.emplace(std::make_pair(e, s.query), jobs.size());
    if (fresh) jobs.push_back({e, &s, {}});
    jobs[at->second].items.push_back(i);
    needed[e] = true;
  }

  // The exercises, prepared here once and shared by every worker.
  std::vector<prepared_exercise> prepared(in.exercises.size());
  for (std::size_t e = 0; e < in.exercises.size(); ++e) {
    if (!needed[e]) continue;
    if (const int sig = probe_reference(in.exercises[e], facts[e], o, eo, limits, stop); sig != 0) {
      result.signal = sig;
      break;
    }
    prepared[e] = prepare_exercise(in.exercises[e], &facts[e], o, eo);
    // The reference's warnings are the teacher's alone.
    for (const std::string& w : prepared[e].reference_warnings) std::cerr << w;
  }

  // Items decided without grading: a missing file, an unreadable one.
  for (std::size_t i = 0; i < all.size(); ++i) {
    const submission_input& s = *all[i].sub;
    if (s.missing) {
      outcome out;
      out.what = verdict::wrong;
      decide(i, std::move(out));
    } else if (!s.readable) {
      outcome out;
      out.what = verdict::error;
      out.failure = "relalg: " + s.problem;
      decide(i, std::move(out));
    }
  }
  // After a stop, every decided item is kept, in order, past the ones not
  // decided.
  const auto keep_decided = [&] {
    for (std::size_t i = next; i < all.size(); ++i) {
      if (!done[i]) continue;
      items.push_back(all[i]);
      decided(items.back());
    }
  };
  if (result.signal != 0) {
    keep_decided();
    return result;
  }

  const bool finished = run_workers(
      jobs.size(), o.jobs, limits, stop,
      [&](std::size_t j, channel& ch) {
        const job& jb = jobs[j];
        const outcome out = grade_query(prepared[jb.exercise], jb.first->query, jb.first->path, o, eo,
                                        [&](const outcome& verdict) { ch.send(encode(verdict)); });
        ch.send(encode(out));
      },
      [&](std::size_t j, job_end&& end) {
        const job& jb = jobs[j];
        outcome out;
        bool worker_failed = false;
        if (end.how == job_end::finished) {
          worker_failed = end.messages.empty() || !decode(end.messages.back(), out);
          if (worker_failed) end.how = job_end::garbled;
        } else if (!end.messages.empty() && decode(end.messages.front(), out) && out.what == verdict::wrong) {
          // The verdict was known; a limit stopped the search for a
          // counterexample.
          out.cx.reset();
          out.search_stopped = end.why(limits);
        } else {
          worker_failed = true;
        }
        for (const std::size_t i : jb.items) {
          outcome mine = worker_failed ? outcome() : out;
          if (worker_failed) {
            mine.what = verdict::error;
            mine.failure = worker_failure(end, limits, all[i].sub->path);
          } else {
            rename_file(mine.failure, jb.first->path, all[i].sub->path);
            for (std::string& w : mine.warnings) rename_file(w, jb.first->path, all[i].sub->path);
          }
          decide(i, std::move(mine));
        }
      });
  if (!finished) {
    result.signal = stop.received();
    keep_decided();
  }
  return result;
}

}  // namespace grade
