// --notation as a run of the program: the input's tables loaded (headers
// only: no row is needed) and its query read into a plan, as for
// evaluation, then the formula written instead of the result. Also the
// command-line option that asks for it.
#ifndef RELALG_NOTATION_RUN_H
#define RELALG_NOTATION_RUN_H

#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/pipeline.h"
#include "notation/notation.h"

namespace relalg_notation {

struct notation_options {
  bool on = false;  // write the formula instead of evaluating
  notation_form form = notation_form::unicode;
};

// Reads one command-line argument into o: --notation (Unicode) or
// --notation=FORM. Returns false when it is neither; for an unknown FORM,
// returns true and sets `error` to the message.
bool read_notation_option(std::string_view arg, notation_options& o, std::string& error);

// The lines --help gives the option.
extern const char* const notation_help;

// Writes the formula of the input's query and a line feed to out. Returns
// exit_ok, or exit_failed with the message in `messages` when the query has
// no result: exactly the message a plain run gives (placed in the query
// line). Nothing is written to out then. With `extended`, the query may use
// join, njoin, intersect and divide.
int run_notation(std::string_view input, notation_form form, output_sink& out, std::vector<diagnostic>& messages,
                 bool extended = false);

}  // namespace relalg_notation

#endif
