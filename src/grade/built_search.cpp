// The search over built databases: each one loaded from its input text,
// both queries evaluated on it (the reference's outcome on the random ones
// comes from the exercise's preparation).
#include "grade/built_search.h"

#include "grade/compare.h"

namespace grade {

std::optional<built_difference> search_built(const prepared_exercise& pe, const std::string& query,
                                             const std::string& name, const grade_options& o,
                                             const engine_options& eo, std::size_t& compared, bool failures) {
  if (pe.facts == nullptr || o.build == 0) return std::nullopt;
  const exercise& ex = *pe.ex;
  const auto differs = [&](const evaluation& ref, const evaluation& sub) {
    if (!ref.ok()) return false;
    ++compared;
    if (!sub.ok()) return failures;
    return !same_result(ref, sub, rules_of(o));
  };
  const std::size_t budget = build_budget(o, ex.reference_query.size() + query.size());
  // Both queries read once: every built database has the tables of the
  // exercise's first database.
  const prepared_query reference = pe.databases[0].db->prepare(ex.reference_query);
  const prepared_query submission = pe.databases[0].db->prepare(query);
  std::size_t made = 0;
  database_builder targeted(*pe.facts, {ex.reference_query, query}, o.seed, build_phases::targeted);
  for (; made < budget; ++made) {
    std::optional<database_builder::item> item = targeted.next();
    if (!item) break;
    auto src = std::make_shared<const source>(read_source(std::move(item->text)));
    engine_db e(*src, eo);
    evaluation ref = e.evaluate(reference, ex.reference_path);
    evaluation sub = e.evaluate(submission, name);
    if (differs(ref, sub)) return built_difference{std::move(src), std::move(item->db), std::move(ref), std::move(sub)};
  }
  for (std::size_t k = 0; k < pe.built.size() && made < budget; ++k, ++made) {
    const shared_database& s = pe.built[k];
    evaluation sub = engine_db(*s.src, eo).evaluate(submission, name);
    if (differs(s.reference, sub)) return built_difference{s.src, s.db, s.reference, std::move(sub)};
  }
  return std::nullopt;
}

}  // namespace grade
