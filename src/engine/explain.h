// The explain output: the plan as an indented tree, one line per node with
// the operation and its arguments as written, the result's columns with
// their types, its row count and the time it took; with tracing, each
// intermediate table (its header and first rows) under its node. Also the
// same as one JSON document, spans included, for tools. A failing run
// explains the part that was evaluated and marks the node that failed.
#ifndef RELALG_ENGINE_EXPLAIN_H
#define RELALG_ENGINE_EXPLAIN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/observer.h"
#include "engine/path.h"
#include "engine/plan.h"
#include "engine/schema.h"

// Records what evaluation reports of each node.
class explain_recorder : public eval_observer {
 public:
  // With trace_rows >= 0, keeps that many rows of each node's result.
  explain_recorder(const plan& p, long trace_rows);

  void finished(int32_t node, const relation& result, double seconds) override;
  void failed(int32_t node) override;

  struct node_record {
    bool evaluated = false;
    bool failed = false;
    std::size_t rows = 0;
    double seconds = 0;  // operands included
    std::string header;  // "NAME(col type, ...)"
    std::vector<std::string> colnames;
    std::vector<std::string> coltypes;
    std::vector<std::vector<std::string>> trace;  // printed cells of the first rows
  };
  const std::vector<node_record>& records() const { return records_; }
  long trace_rows() const { return trace_rows_; }

 private:
  std::vector<node_record> records_;
  long trace_rows_;
};

// The path a run took, and the one a run that nothing watches would take.
struct explained_path {
  path_choice taken;
  path_choice plain;
};

// A node as explain output names it: its operation and arguments as
// written, operands abbreviated ("select(students, GT(year, 1))").
std::string node_label(const plan& p, int32_t node);

// The nodes whose results a node's result is made from, in order.
std::vector<int32_t> node_children(const plan& p, int32_t node);

// The tree as text: one line per node, then a line naming the path (none
// when path.taken.why is empty), each ended by "\n".
std::string explain_text(const plan& p, const std::vector<node_schema>& schemas,
                         const explain_recorder& r, const explained_path& path, bool times = true);

// The tree as one JSON document (ended by "\n"), with the path's name and
// reason. Strings are UTF-8: bytes that are not are written as the
// characters U+0080 to U+00FF.
std::string explain_json(const plan& p, const std::vector<node_schema>& schemas,
                         const explain_recorder& r, int status, const explained_path& path);

#endif
