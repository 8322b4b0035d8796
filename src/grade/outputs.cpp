// Listing grading's input files and comparing each output with them.
#include "grade/outputs.h"

#include <utility>
#include <vector>

#include "engine/same_file.h"

namespace grade {

namespace {

// Every file grading reads, with what it is to grading.
std::vector<std::pair<std::string, std::string>> input_files(const grade_options& o, const grading_inputs* in) {
  std::vector<std::pair<std::string, std::string>> files;
  if (in == nullptr) {
    files.emplace_back(o.reference, "the reference");
    for (const std::string& d : o.databases) files.emplace_back(d, "the database");
    for (const std::string& s : o.submissions) files.emplace_back(s, "the submission");
    return files;
  }
  for (const exercise& ex : in->exercises) {
    files.emplace_back(ex.reference_path, "the reference");
    for (std::size_t d = 1; d < ex.databases.size(); ++d) files.emplace_back(ex.databases[d].label, "the database");
  }
  if (in->folders) {
    const std::string& r = o.reference;
    files.emplace_back(!r.empty() && r.back() == '/' ? r + kManifestName : r + "/" + kManifestName, "the manifest");
  }
  for (const auto& subs : in->submissions) {
    for (const submission_input& s : subs) {
      if (!s.missing) files.emplace_back(s.path, "the submission");
    }
  }
  return files;
}

}  // namespace

std::string output_clash(const grade_options& o, const grading_inputs* in) {
  std::vector<named_path> inputs;
  for (const auto& [path, role] : input_files(o, in)) inputs.push_back({role, path});
  std::vector<named_path> outputs;
  if (o.gradescope) outputs.push_back({"the Gradescope file", *o.gradescope});
  if (o.prairielearn) outputs.push_back({"the PrairieLearn file", *o.prairielearn});
  return ::output_clash(inputs, outputs);
}

}  // namespace grade
