// Loading, reading and writing the formula for --notation.
#include "notation/run.h"

#include <exception>

#include "engine/failure.h"
#include "engine/schema.h"
#include "engine/session.h"

namespace relalg_notation {

const char* const notation_help =
    "  --notation[=FORM]\n"
    "                instead of evaluating, write the query as a formula\n"
    "                (sigma, pi, rho, ...); FORM is unicode (the default) or\n"
    "                latex; OUTPUT defaults to standard output\n";

bool read_notation_option(std::string_view arg, notation_options& o, std::string& error) {
  if (arg == "--notation") {
    o.on = true;
    o.form = notation_form::unicode;
    return true;
  }
  if (arg.substr(0, 11) != "--notation=") return false;
  const std::string_view name = arg.substr(11);
  if (const auto form = notation_named(name)) {
    o.on = true;
    o.form = *form;
  } else {
    error = "--notation takes unicode or latex, not '" + std::string(name) + "'";
  }
  return true;
}

int run_notation(std::string_view input, notation_form form, output_sink& out, std::vector<diagnostic>& messages,
                 bool extended) {
  try {
    // The rows stay unparsed views of the input: only headers are read.
    const session s(input);
    const plan p = s.read(s.query(), {false, extended});
    const std::vector<node_schema> schemas = plan_schemas(p);
    const node_schema& root = schemas[static_cast<std::size_t>(p.root)];
    if (!root.ok) {
      diagnostic d;
      d.span = root.at;
      d.message = root.error;
      d.suggestion = root.suggestion;
      messages.push_back(std::move(d));
      return exit_failed;
    }
    out.write(write_formula(p, form) + "\n");
  } catch (...) {
    messages.push_back(failure_diagnostic(std::current_exception()));
    return exit_failed;
  }
  return out.ok() ? exit_ok : exit_failed;
}

}  // namespace relalg_notation
