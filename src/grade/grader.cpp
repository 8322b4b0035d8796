// The grading loop. Databases are taken one at a time and every submission
// still undecided is evaluated on each, so only one database is loaded at a
// time and the reference runs once per database. Submissions with the same
// query text are graded once. A submission fails (error) when its query
// fails on a database where the reference does not; it is wrong when the
// results differ on some database; the first database in order where that
// happens is the one reported. Distinct queries are evaluated on several
// threads, each with a database of its own, and each result depends only on
// its own query, so the output does not depend on the threads.
#include "grade/grader.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace grade {

namespace {

std::uint64_t splitmix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double unit(std::uint64_t& state) { return static_cast<double>(splitmix(state) >> 11) * 0x1.0p-53; }

// A positioned message about the file `from` as about the file `to`: the
// same query, submitted twice.
void rename_file(std::string& message, const std::string& from, const std::string& to) {
  const std::string was = "relalg: " + from + ":1:";
  if (from != to && message.rfind(was, 0) == 0) message.replace(0, was.size(), "relalg: " + to + ":1:");
}

std::string without_prefix(const std::string& message) {
  const std::string prefix = "relalg: ";
  return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

// One distinct query and where its grading stands.
struct candidate {
  std::size_t first;  // the first submission holding it
  outcome out;
  bool decided = false;  // wrong or in error
  std::size_t db = 0;    // the database where it went wrong
  row_set where;         // and its rows there
};

// Calls work(w, i) once for every i < n, on up to `jobs` threads; w is the
// thread's number (0 for the calling thread), so that work can keep state
// per thread. The first exception thrown is rethrown once all have ended.
void spread(std::size_t n, std::size_t jobs,
            const std::function<void(std::size_t, std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  std::exception_ptr error;
  std::mutex error_lock;
  const auto run = [&](std::size_t w) {
    try {
      for (std::size_t i = next++; i < n; i = next++) work(w, i);
    } catch (...) {
      const std::lock_guard<std::mutex> hold(error_lock);
      if (!error) error = std::current_exception();
      next = n;
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t w = 1; w < std::min(jobs, n); ++w) {
    try {
      threads.emplace_back(run, w);
    } catch (const std::system_error&) {
      break;  // fewer threads, same work
    }
  }
  run(0);
  for (std::thread& t : threads) t.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace

const char* verdict_name(verdict v) {
  switch (v) {
    case verdict::correct: return "correct";
    case verdict::wrong: return "wrong";
    case verdict::error: return "error";
  }
  return "error";
}

row_set random_rows(const source& db, std::uint64_t seed, std::size_t d, std::size_t k) {
  std::uint64_t state = seed;
  splitmix(state);
  state ^= 0xD1B54A32D192ED03ull * (d + 1);
  splitmix(state);
  state ^= 0x8CB92BA72F3D8DD7ull * k;
  row_set rows;
  for (const source_table& t : db.tables) {
    const double share = unit(state);
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      if (unit(state) < share) rows.push_back(t.first + static_cast<std::uint32_t>(i));
    }
  }
  return rows;
}

std::vector<outcome> grade_exercise(const exercise& ex, const std::vector<submission_input>& subs,
                                    const grade_options& o, const engine_options& eo) {
  std::vector<outcome> result(subs.size());
  std::vector<candidate> cands;
  std::vector<long> cand_of(subs.size(), -1);
  std::map<std::string, std::size_t> by_query;
  for (std::size_t i = 0; i < subs.size(); ++i) {
    if (subs[i].missing) {
      result[i].what = verdict::wrong;
    } else if (!subs[i].readable) {
      result[i].what = verdict::error;
      result[i].failure = "relalg: " + subs[i].problem;
    } else {
      const auto [it, fresh] = by_query.emplace(subs[i].query, cands.size());
      if (fresh) cands.push_back({i, {}, false, 0, {}});
      cand_of[i] = static_cast<long>(it->second);
    }
  }

  const auto reference_on = [&](engine_db& e, std::size_t d, std::size_t sample) {
    evaluation ref = e.evaluate(ex.reference_query, ex.reference_path);
    if (!ref.ok() && sample == 0) {
      const std::string where = d == 0 ? std::string() : " on the database in '" + ex.databases[d].label + "'";
      if (ref.positioned()) {
        throw input_error(ref.error() + (d == 0 ? std::string() : "\nrelalg: note: the reference query fails" + where));
      }
      throw input_error("relalg: the reference query in '" + ex.reference_path + "' fails" + where + ": " +
                        without_prefix(ref.error()));
    }
    return ref;
  };
  const auto judge = [&](candidate& c, const evaluation& ref, const evaluation& sub, std::size_t d,
                         std::size_t sample, const row_set* rows) {
    if (!sub.ok() && ref.ok()) {
      c.out.what = verdict::error;
      c.out.failure = sub.error();
      c.out.diff = comparison();
    } else if (!c.decided && !same_result(ref, sub, o.rows_only)) {
      c.out.what = verdict::wrong;
      c.out.diff = compare(ref, sub, o.rows_only);
      c.where = rows != nullptr ? *rows : row_set();
    } else {
      return;
    }
    c.out.database = ex.databases[d].label;
    c.out.sample = sample;
    c.db = d;
    c.decided = true;
  };

  const std::size_t jobs = o.jobs;
  // The databases themselves. A query that is wrong on one is still run on
  // the others, since failing on any of them makes it an error.
  for (std::size_t d = 0; d < ex.databases.size() && !cands.empty(); ++d) {
    std::vector<std::unique_ptr<engine_db>> engines(jobs);
    engines[0] = std::make_unique<engine_db>(ex.databases[d].src, eo);
    const evaluation ref = reference_on(*engines[0], d, 0);
    std::vector<candidate*> todo;
    for (candidate& c : cands) {
      if (c.out.what != verdict::error) todo.push_back(&c);
    }
    spread(todo.size(), jobs, [&](std::size_t w, std::size_t i) {
      if (!engines[w]) engines[w] = std::make_unique<engine_db>(ex.databases[d].src, eo);
      candidate& c = *todo[i];
      ++c.out.databases;
      judge(c, ref, engines[w]->evaluate(subs[c.first].query, subs[c.first].path), d, 0, nullptr);
    });
  }
  // Random sub-databases, for the queries right on every database so far.
  for (std::size_t d = 0; d < ex.databases.size(); ++d) {
    const source& db = ex.databases[d].src;
    for (std::size_t k = 1; k <= o.search; ++k) {
      std::vector<candidate*> todo;
      for (candidate& c : cands) {
        if (!c.decided) todo.push_back(&c);
      }
      if (todo.empty()) break;
      const row_set rows = random_rows(db, o.seed, d, k);
      std::vector<std::unique_ptr<engine_db>> engines(jobs);
      engines[0] = std::make_unique<engine_db>(db, choice{rows, {}}, eo);
      const evaluation ref = reference_on(*engines[0], d, k);
      spread(todo.size(), jobs, [&](std::size_t w, std::size_t i) {
        if (!engines[w]) engines[w] = std::make_unique<engine_db>(db, choice{rows, {}}, eo);
        candidate& c = *todo[i];
        ++c.out.samples;
        judge(c, ref, engines[w]->evaluate(subs[c.first].query, subs[c.first].path), d, k, &rows);
      });
    }
  }

  // Counterexamples, with the cells of each database read once.
  std::map<std::size_t, std::vector<std::vector<std::string>>> cells;
  std::vector<candidate*> wrong;
  for (candidate& c : cands) {
    if (c.out.what != verdict::wrong) continue;
    const source& db = ex.databases[c.db].src;
    if (cells.count(c.db) == 0) cells[c.db] = engine_db(db, eo).row_cells(db);
    wrong.push_back(&c);
  }
  spread(wrong.size(), jobs, [&](std::size_t, std::size_t i) {
    candidate& c = *wrong[i];
    const source& db = ex.databases[c.db].src;
    counterexample_request req;
    req.db = &db;
    req.start = c.out.sample == 0 ? every_row(db).rows : c.where;
    req.reference_query = ex.reference_query;
    req.submission_query = subs[c.first].query;
    req.reference_name = ex.reference_path;
    // The file the student saves the counterexample as, in their messages.
    req.submission_name = "FILE";
    req.witnesses = c.out.diff.witnesses;
    req.cells = &cells.at(c.db);
    req.rows_only = o.rows_only;
    req.options = eo;
    c.out.cx = find_counterexample(req);
  });
  for (std::size_t i = 0; i < subs.size(); ++i) {
    if (cand_of[i] < 0) continue;
    const candidate& c = cands[static_cast<std::size_t>(cand_of[i])];
    result[i] = c.out;
    rename_file(result[i].failure, subs[c.first].path, subs[i].path);
  }
  return result;
}

}  // namespace grade
