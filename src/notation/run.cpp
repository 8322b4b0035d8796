// Loading, reading and writing the formula for --notation.
#include "notation/run.h"

#include <new>
#include <stdexcept>

#include "engine/diagnostic.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "engine/schema.h"

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

int run_notation(std::string_view input, notation_form form, const std::string& input_name,
                 output_sink& out, std::string& messages) {
  try {
    table_map tables;
    // The rows stay unparsed views of the input: only headers are read.
    const std::string query = load_tables(input, tables, true);
    const plan p = parse_query(query, tables);
    const std::vector<node_schema> schemas = plan_schemas(p);
    const node_schema& root = schemas[static_cast<std::size_t>(p.root)];
    if (!root.ok) {
      messages += format_diagnostic(input_name, p.line, {severity::error, 1, root.at, root.error, {}});
      return exit_failed;
    }
    out.write(write_formula(p, form) + "\n");
  } catch (const std::bad_alloc&) {
    messages += "relalg: out of memory: the tables and results of this query do not fit\n";
    return exit_failed;
  } catch (const std::exception& e) {
    messages += std::string("relalg: ") + e.what() + "\n";
    return exit_failed;
  }
  return out.ok() ? exit_ok : exit_failed;
}

}  // namespace relalg_notation
