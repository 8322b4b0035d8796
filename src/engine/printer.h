// The printed form of a result: the header line, then one line per row, in
// large chunks handed to a sink as they fill, formatted two blocks at a time
// on two threads for large results. A table that is still its row lines
// prints straight from them, without being built.
#ifndef RELALG_ENGINE_PRINTER_H
#define RELALG_ENGINE_PRINTER_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "engine/relation.h"

// Takes a full buffer: it must consume the bytes and clear the buffer.
using spill_fn = std::function<void(std::string&)>;

// Appends "NAME(col type, col type)\n".
void print_header(std::string_view name, const std::vector<std::string>& colnames,
                  const std::vector<std::string>& coltypes, std::string& buf);

// Appends the printed form of t to buf, handing buf to spill whenever it
// grows past chunk bytes; what is left at the end stays in buf. The order
// of the bytes spilled and left is the order of the printed form.
void print_relation(const relation& t, std::string& buf, const spill_fn& spill,
                    std::size_t chunk = 1 << 20);

// The row lines of a table whose integer columns is_int marks, parsed and
// printed in one pass.
void print_lines(std::string_view lines, const std::vector<bool>& is_int, std::string& buf);

// The row lines that keep accepts, each parsed into cells first and printed
// only when kept.
void print_lines_if(std::string_view lines, const std::vector<bool>& is_int,
                    const std::function<bool(const cell*, uint32_t)>& keep, std::string& buf);

// Prints a table whose rows are still its pending row lines, parsing each
// only to print it, so that the rows never all exist at once. Pieces of
// about a megabyte are handled two at a time, one per thread.
void stream_table(const stored_table& t, std::string& buf, const spill_fn& spill);

#endif
