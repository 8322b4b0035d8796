// A command-line door to the independent checker, for the grading tests:
//
//     proof_check TABLES REFERENCE SUBMISSION CERTIFICATE [--rows-only]
//
// TABLES is an input file whose tables the two queries are read against;
// REFERENCE and SUBMISSION are files whose first lines are the queries;
// CERTIFICATE holds the proof grading gave (its JSON object). Prints "ok"
// and exits 0 when the certificate proves the pair, else prints what is
// wrong with it and exits 1; 2 for a file that cannot be read.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "checker.h"
#include "engine/loader.h"
#include "engine/parser.h"

namespace {

bool slurp(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && !(argc == 6 && std::string(argv[5]) == "--rows-only")) {
    std::cerr << "usage: proof_check TABLES REFERENCE SUBMISSION CERTIFICATE [--rows-only]\n";
    return 2;
  }
  std::string tables_text, reference, submission, certificate;
  if (!slurp(argv[1], tables_text) || !slurp(argv[2], reference) || !slurp(argv[3], submission) ||
      !slurp(argv[4], certificate)) {
    std::cerr << "proof_check: cannot read a file\n";
    return 2;
  }
  table_map tables;
  load_tables(tables_text, tables, false);
  const plan a = parse_query(first_line(reference), tables);
  const plan b = parse_query(first_line(submission), tables);
  const std::string problem = proofcheck::check(a, b, argc == 6, certificate);
  std::cout << (problem.empty() ? std::string("ok") : problem) << "\n";
  return problem.empty() ? 0 : 1;
}
