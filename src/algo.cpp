// The interpreter's dispatch over the engine's pieces.
#include "algo.h"

#include "engine/errors.h"
#include "engine/parser.h"
#include "engine/session.h"
#include "engine/vocabulary.h"

algo::algo(database catalog) : db(std::move(catalog)) {
  // Each operation's handler, under the name the language gives it.
  const std::pair<plan_op, handler> handlers[] = {
      {plan_op::union_, &algo::union_},   {plan_op::minus, &algo::minus},   {plan_op::product, &algo::product},
      {plan_op::project, &algo::project}, {plan_op::rename, &algo::rename}, {plan_op::select, &algo::select},
  };
  for (const auto& [op, h] : handlers) opmap.emplace(std::string(operation_name(op)), h);
}

algo::~algo() = default;

table algo::interpreter(std::string text) {
  if (db.istable(text)) return db.gettable(text);
  const call_parts c = split_call(text);
  const auto h = c.has_open ? opmap.find(c.name) : opmap.end();
  if (h != opmap.end()) return (this->*(h->second))(c.args);
  // No table by that name, or no such operation: the engine's failure.
  session s(db.tables);
  s.parse_rows();
  const answer a = s.run(s.prepare(std::move(text)));
  if (!a.ok()) throw evaluation_error(a.failure().message);
  return table_of(a.result());
}

table algo::union_(std::string args) {
  const auto [a, b] = param2(std::move(args));
  const table x = interpreter(a);
  const table y = interpreter(b);
  return x + y;
}

table algo::minus(std::string args) {
  const auto [a, b] = param2(std::move(args));
  const table x = interpreter(a);
  const table y = interpreter(b);
  return x - y;
}

table algo::product(std::string args) {
  const auto [a, b] = param2(std::move(args));
  const table x = interpreter(a);
  const table y = interpreter(b);
  return x * y;
}

table algo::project(std::string args) {
  const auto [e, cols] = paramproj(std::move(args));
  return ::project(interpreter(e), cols);
}

table algo::rename(std::string args) {
  const auto [e, names] = paramren(std::move(args));
  return ::rename(interpreter(e), names);
}

table algo::select(std::string args) {
  const auto [e, condition] = param2(std::move(args));
  return ::select(interpreter(e), condition);
}

std::pair<std::string, std::string> algo::param2(std::string args) { return split_operands(args); }

std::pair<std::string, std::vector<std::string>> algo::paramproj(std::string args) {
  return split_projection(args);
}

std::pair<std::string, std::vector<std::string>> algo::paramren(std::string args) {
  return split_renaming(args);
}
