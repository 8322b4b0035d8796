// Random relalg inputs for differential tests: tables with integer and
// text columns whose values carry blanks, commas, apostrophes, NUL and high
// bytes and repeat often, and nested queries over all six operations and
// every predicate form, with noise (blanks, surplus or missing
// parentheses, appended groups, extra operands, wrong-case keywords);
// and, when asked, the extended operations join, njoin, intersect and
// divide, drawn to meet their cases (shared columns, divisors whose
// columns the dividend has, or lacks).
// The same seed always gives the same input.
#ifndef RELALG_DIFFERENTIAL_GENERATOR_H
#define RELALG_DIFFERENTIAL_GENERATOR_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace diff {

struct generator_options {
  std::size_t max_rows = 8;      // rows per table, at most
  int max_depth = 4;             // nesting of operations in the query
  double noise = 0.15;           // chance of each kind of noise
  std::size_t max_product = 20000;  // rows a product may make, at most
  // Queries use join, njoin, intersect and divide too (run with
  // --extended), and tables may be named join or divide.
  bool extended = false;
};

class generator {
 public:
  explicit generator(uint64_t seed, generator_options options = {});

  // A whole input: the query line, then the table blocks.
  std::string input();

 private:
  struct column {
    std::string name;
    std::string type;
  };
  struct schema {
    std::string name;
    std::vector<column> cols;
    std::size_t rows = 0;
  };
  // An expression and the column names it is expected to have.
  struct expr {
    std::string text;
    std::vector<std::string> cols;
    std::size_t rows = 0;  // at most
  };

  bool chance(double p);
  std::size_t below(std::size_t n);
  template <class T>
  const T& pick(const std::vector<T>& v) {
    return v[below(v.size())];
  }

  std::string int_value();
  std::string text_value();
  std::string table_block(schema& s);
  expr expression(int depth);
  expr extended_expression(int depth);
  expr renamed_apart(const expr& e);
  std::string predicate(const std::vector<std::string>& cols, int depth);
  std::string comparison_operand(const std::vector<std::string>& cols);
  std::string fresh_name();
  std::string noisy(std::string query);

  std::mt19937_64 rng_;
  generator_options options_;
  std::vector<schema> tables_;
  int fresh_ = 0;
};

}  // namespace diff

#endif
