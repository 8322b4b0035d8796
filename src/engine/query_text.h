// The lexer of the query and condition languages. Both are read by one
// scheme: a keyword is the text before the first "(", the operands are the
// text inside the outermost parentheses with every blank removed (the inside
// of later parenthesised groups appended, everything else after the closing
// parenthesis dropped), and operands split at commas of nesting depth 0.
//
// The line is indexed once: where every "(", ")" and "," stands, as bit sets
// with running counts, and which ")" closes each "(". A piece of text that
// the rules carve out is then a short list of ranges of the line, found by
// jumping from parenthesis to parenthesis, never copied or rescanned level
// by level, so reading costs time and memory linear in the line however the
// parentheses nest or fail to close.
#ifndef RELALG_ENGINE_QUERY_TEXT_H
#define RELALG_ENGINE_QUERY_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/plan.h"

constexpr uint32_t kNoPos = UINT32_MAX;

class query_line {
 public:
  // Indexes text, which must outlive the index.
  explicit query_line(std::string_view text);

  std::string_view text() const { return text_; }
  uint32_t size() const { return static_cast<uint32_t>(text_.size()); }

  // The first "(" (",", ")") in [from, to), or `to` when there is none.
  uint32_t next_open(uint32_t from, uint32_t to) const { return opens_.next(from, to); }
  uint32_t next_comma(uint32_t from, uint32_t to) const { return commas_.next(from, to); }
  uint32_t next_close(uint32_t from, uint32_t to) const { return closes_.next(from, to); }
  // How many ")" stand in [from, to).
  uint32_t closes_between(uint32_t from, uint32_t to) const {
    return closes_.rank(to) - closes_.rank(from);
  }
  // The ")" that closes the "(" at `open`, or kNoPos.
  uint32_t close_of(uint32_t open) const { return closer_[opens_.rank(open)]; }
  uint32_t count_opens() const { return opens_.rank(size()); }
  uint32_t count_commas() const { return commas_.rank(size()); }
  // The deepest nesting of parentheses.
  uint32_t max_depth() const { return max_depth_; }

 private:
  // A set of positions as one bit each, with a running count per word.
  class bits {
   public:
    explicit bits(std::size_t n) : words_(n / 64 + 1), before_(n / 64 + 1) {}
    void set(std::size_t i) { words_[i / 64] |= uint64_t{1} << (i % 64); }
    void finish();
    uint32_t rank(uint32_t i) const;            // set positions below i
    uint32_t next(uint32_t from, uint32_t to) const;

   private:
    std::vector<uint64_t> words_;
    std::vector<uint32_t> before_;
  };

  std::string_view text_;
  bits opens_;
  bits closes_;
  bits commas_;
  std::vector<uint32_t> closer_;  // by rank of the "("
  uint32_t max_depth_ = 0;
};

// A range [begin, end) of the line. Every piece of a text starts at the
// text's own depth 0 and never falls below it.
struct text_piece {
  uint32_t begin;
  uint32_t end;
};

// A text the reading rules assembled: the bytes of its pieces, less blanks,
// and less the commas at its own depth 0 when drop_commas (a second operand
// that absorbed the operands after it). It always has at least one piece,
// possibly empty, so that it has a place in the line.
struct query_text {
  uint32_t first = 0;  // pieces [first, first + count) of the reader's list
  uint32_t count = 0;
  bool drop_commas = false;
  // A text taken whole (the query line, or a text handed in on its own),
  // which may hold ")" that close more than it opened, and so fall below
  // depth 0, where no comma splits it and no group is appended.
  bool unbalanced = false;
};

// Carves texts out of one line; the pieces of every text it makes live in
// its list.
class text_reader {
 public:
  explicit text_reader(const query_line& line) : line_(line) {}

  const query_line& line() const { return line_; }

  // The whole line: the only text that holds blanks before its first "("
  // and that may fall below depth 0.
  query_text whole();

  // The first "(" of t, or kNoPos.
  uint32_t first_open(const query_text& t) const;
  // The bytes of t before position stop (all of them by default).
  std::string bytes(const query_text& t, uint32_t stop = kNoPos) const;
  // The same, with the line position of each byte.
  std::string bytes_at(const query_text& t, std::vector<uint32_t>& where) const;
  // The operand text of the call in t whose "(" stands at open. (Not for a
  // text that both dropped commas and may fall below depth 0: no reading
  // makes one.)
  query_text operands(const query_text& t, uint32_t open, std::vector<parse_note>* notes = nullptr);
  // Splits at the first comma of depth 0; the second part drops the later
  // ones. A text without one gives itself and an empty text at its end.
  std::pair<query_text, query_text> split_first(const query_text& t,
                                                std::vector<parse_note>* notes = nullptr);
  // Splits at every comma of depth 0.
  std::vector<query_text> split_all(const query_text& t);

  // From the first byte of the first piece to the end of the last.
  source_span span(const query_text& t) const;
  bool empty(const query_text& t) const;

 private:
  const text_piece& piece(const query_text& t, uint32_t k) const { return pieces_[t.first + k]; }
  // The commas of depth 0 in t, in order; only the first with first_only.
  std::vector<uint32_t> top_commas(const query_text& t, bool first_only) const;
  // The first of them, or kNoPos.
  uint32_t first_top_comma(const query_text& t) const;
  // The parts of t between the given commas (positions in t's pieces).
  std::vector<query_text> cut(const query_text& t, const std::vector<uint32_t>& commas);
  query_text make(uint32_t from) const {
    return query_text{from, static_cast<uint32_t>(pieces_.size()) - from, false};
  }

  const query_line& line_;
  std::vector<text_piece> pieces_;
};

#endif
