// Loading an input text: the query line, then table blocks into the
// catalog. Rows can be kept as views of the input and parsed later, all
// tables at once, in pieces spread over two threads.
#ifndef RELALG_ENGINE_LOADER_H
#define RELALG_ENGINE_LOADER_H

#include <string>
#include <string_view>

#include "engine/catalog.h"

// Loads the table blocks of an input text into tables and returns the
// query, the input's first line. With keep_views, each table's row lines
// are only noted as pending (views of input, which must then outlive the
// tables); otherwise they are parsed and copied now.
std::string load_tables(std::string_view input, table_map& tables, bool keep_views);

// Builds a table from its header line and stores it under its name,
// replacing any table of that name; rows are added to what it returns.
stored_table& add_table(table_map& tables, std::string_view header);

// Parses every pending row line of every table, spreading the work over
// two threads; rows keep their input order.
void parse_all_pending(table_map& tables);

// The echo of an input is the input itself followed by this: the line feed
// its last line may lack, and the empty line the final read adds.
std::string_view echo_suffix(std::string_view input);

#endif
