// Handing out built databases: the builders run one kind at a time, as the
// previous kind runs out, so that a submission caught early costs no more
// than the kinds it took; each candidate is repaired, written as input
// text, and handed out unless it could not be made valid or its text was
// handed out before.
#include "grade/built.h"

namespace grade {

namespace {

constexpr std::size_t kRandomBatch = 64;
// Random batches in a row that give nothing new before the random builder
// counts as spent (the queries' tables admit few databases).
constexpr std::size_t kFruitless = 4;

}  // namespace

const char* built_kind_name(built_kind k) {
  switch (k) {
    case built_kind::structural: return "structural";
    case built_kind::boundary: return "boundary";
    case built_kind::canonical: return "canonical";
    case built_kind::random: return "random";
  }
  return "random";
}

database_builder::database_builder(const exercise_facts& facts, const std::vector<std::string>& queries,
                                   std::uint64_t seed, build_phases phases)
    : ctx_(facts, queries, seed), query_(queries.at(0)) {
  if (phases == build_phases::random) phase_ = 3;
  last_ = phases == build_phases::targeted ? 2 : 3;
  // The teacher's own database is compared already.
  instance base = ctx_.base();
  apply_order(ctx_.constraints(), base);
  if (std::optional<std::string> text = render_instance(query_, ctx_.sch(), base)) {
    seen_.insert(text->substr(query_.size()));
  }
}

void database_builder::refill() {
  queue_.clear();
  at_ = 0;
  switch (phase_) {
    case 0: build_structural(ctx_, queue_); break;
    case 1: build_boundary(ctx_, queue_); break;
    case 2: build_canonical(ctx_, queue_); break;
    default: build_random(ctx_, kRandomBatch, queue_); break;
  }
  if (phase_ < 3 || last_ < 3) ++phase_;
}

std::optional<database_builder::item> database_builder::next() {
  while (true) {
    if (at_ == queue_.size()) {
      if (phase_ > last_ || (phase_ >= 3 && fruitless_ >= kFruitless)) return std::nullopt;
      const bool random = phase_ >= 3;
      refill();
      if (random) ++fruitless_;
      continue;
    }
    built_database db = std::move(queue_[at_++]);
    ++made_;
    if (!ctx_.repair(db.data)) {
      ++dropped_;
      continue;
    }
    std::optional<std::string> text = render_instance(query_, ctx_.sch(), db.data);
    if (!text || !seen_.insert(text->substr(query_.size())).second) {
      ++dropped_;
      continue;
    }
    if (db.kind == built_kind::random) fruitless_ = 0;
    return item{std::move(db), std::move(*text)};
  }
}

}  // namespace grade
