// The line index and the carving of operand texts out of it.
#include "engine/query_text.h"

#include <bit>

// ---- The index -----------------------------------------------------------------

void query_line::bits::finish() {
  uint32_t total = 0;
  for (std::size_t w = 0; w < words_.size(); ++w) {
    before_[w] = total;
    total += static_cast<uint32_t>(std::popcount(words_[w]));
  }
}

uint32_t query_line::bits::rank(uint32_t i) const {
  const uint64_t below = (uint64_t{1} << (i % 64)) - 1;
  return before_[i / 64] + static_cast<uint32_t>(std::popcount(words_[i / 64] & below));
}

uint32_t query_line::bits::next(uint32_t from, uint32_t to) const {
  if (from >= to) return to;
  std::size_t w = from / 64;
  uint64_t word = words_[w] & (~uint64_t{0} << (from % 64));
  const std::size_t last = (to - 1) / 64;
  while (word == 0) {
    if (++w > last) return to;
    word = words_[w];
  }
  const auto at = static_cast<uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
  return at < to ? at : to;
}

query_line::query_line(std::string_view text)
    : text_(text), opens_(text.size()), closes_(text.size()), commas_(text.size()) {
  std::vector<uint32_t> stack;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '(') {
      opens_.set(i);
      stack.push_back(static_cast<uint32_t>(closer_.size()));
      closer_.push_back(kNoPos);
      if (stack.size() > max_depth_) max_depth_ = static_cast<uint32_t>(stack.size());
    } else if (c == ')') {
      closes_.set(i);
      if (!stack.empty()) {
        closer_[stack.back()] = static_cast<uint32_t>(i);
        stack.pop_back();
      }
    } else if (c == ',') {
      commas_.set(i);
    }
  }
  opens_.finish();
  closes_.finish();
  commas_.finish();
}

// ---- Texts ---------------------------------------------------------------------

query_text text_reader::whole() {
  const auto from = static_cast<uint32_t>(pieces_.size());
  pieces_.push_back({0, line_.size()});
  query_text t = make(from);
  t.unbalanced = true;
  return t;
}

uint32_t text_reader::first_open(const query_text& t) const {
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece& p = piece(t, k);
    const uint32_t at = line_.next_open(p.begin, p.end);
    if (at < p.end) return at;
  }
  return kNoPos;
}

std::string text_reader::bytes(const query_text& t, uint32_t stop) const {
  std::string out;
  const std::string_view s = line_.text();
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece& p = piece(t, k);
    if (p.begin >= stop) break;
    const uint32_t end = p.end < stop ? p.end : stop;
    long depth = 0;
    for (uint32_t i = p.begin; i < end; ++i) {
      const char c = s[i];
      if (c == ' ') continue;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (c == ',' && depth == 0 && t.drop_commas) continue;
      out += c;
    }
  }
  return out;
}

std::string text_reader::bytes_at(const query_text& t, std::vector<uint32_t>& where) const {
  std::string out;
  where.clear();
  const std::string_view s = line_.text();
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece& p = piece(t, k);
    long depth = 0;
    for (uint32_t i = p.begin; i < p.end; ++i) {
      const char c = s[i];
      if (c == ' ') continue;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (c == ',' && depth == 0 && t.drop_commas) continue;
      out += c;
      where.push_back(i);
    }
  }
  return out;
}

query_text text_reader::operands(const query_text& t, uint32_t open, std::vector<parse_note>* notes) {
  const bool outermost = t.unbalanced;
  const auto from = static_cast<uint32_t>(pieces_.size());
  // The piece that holds the "(".
  uint32_t k = 0;
  while (k + 1 < t.count && piece(t, k).end <= open) ++k;
  uint32_t end = piece(t, k).end;
  const uint32_t close = line_.close_of(open);
  if (close == kNoPos || close >= end) {
    // Never closed: the operands run to the end of the text.
    pieces_.push_back({open + 1, end});
    for (++k; k < t.count; ++k) pieces_.push_back(piece(t, k));
    if (notes != nullptr) notes->push_back({note_kind::unclosed, {open, open + 1}, {}});
    return make(from);
  }
  pieces_.push_back({open + 1, close});
  // After the closing parenthesis the text is at depth 0: the inside of
  // every later group at depth 0 is appended, the rest dropped. Only the
  // whole line can fall below depth 0, through surplus ")".
  uint32_t pos = close + 1;
  long depth = 0;
  for (;;) {
    if (pos >= end) {
      if (++k >= t.count) break;
      pos = piece(t, k).begin;
      end = piece(t, k).end;
      depth = 0;
      continue;
    }
    const uint32_t q = line_.next_open(pos, end);
    if (notes != nullptr) {
      const uint32_t surplus = line_.next_close(pos, q);
      if (surplus < q) notes->push_back({note_kind::surplus_close, {surplus, surplus + 1}, {}});
      for (uint32_t i = pos; i < q; ++i) {
        const char c = line_.text()[i];
        if (c != ' ' && c != ')' && !(c == ',' && t.drop_commas)) {
          uint32_t j = q;
          while (j > i && line_.text()[j - 1] == ' ') --j;
          notes->push_back({note_kind::text_ignored, {i, j}, {}});
          break;
        }
      }
    }
    if (q >= end) {
      pos = end;
      continue;
    }
    if (outermost) depth -= line_.closes_between(pos, q);
    if (depth < 0) {
      // An opening parenthesis below depth 0 only climbs back.
      ++depth;
      pos = q + 1;
      continue;
    }
    const uint32_t c = line_.close_of(q);
    if (notes != nullptr) notes->push_back({note_kind::group_appended, {q, c == kNoPos ? end : c + 1}, {}});
    if (c == kNoPos || c >= end) {
      pieces_.push_back({q + 1, end});
      for (++k; k < t.count; ++k) pieces_.push_back(piece(t, k));
      break;
    }
    pieces_.push_back({q + 1, c});
    pos = c + 1;
  }
  return make(from);
}

std::vector<uint32_t> text_reader::top_commas(const query_text& t, bool first_only) const {
  std::vector<uint32_t> commas;
  if (t.drop_commas) return commas;  // they are not part of the text
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece p = piece(t, k);
    if (t.unbalanced) {
      // A text that may fall below depth 0 is rare (a text handed in on its
      // own) and short: read it byte by byte.
      long depth = 0;
      for (uint32_t i = p.begin; i < p.end; ++i) {
        const char c = line_.text()[i];
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
          commas.push_back(i);
          if (first_only) return commas;
        }
      }
      continue;
    }
    // The commas before the next "(" stand at depth 0; the "(" is jumped to
    // its ")". Each search ends at the next "(", so each byte is looked at
    // once, however many levels the text has below it.
    uint32_t pos = p.begin;
    for (;;) {
      const uint32_t open = line_.next_open(pos, p.end);
      for (uint32_t c = line_.next_comma(pos, open); c < open; c = line_.next_comma(c + 1, open)) {
        commas.push_back(c);
        if (first_only) return commas;
      }
      if (open >= p.end) break;
      const uint32_t close = line_.close_of(open);
      if (close == kNoPos || close >= p.end) break;  // the rest is inside the group
      pos = close + 1;
    }
  }
  return commas;
}

std::vector<query_text> text_reader::cut(const query_text& t, const std::vector<uint32_t>& commas) {
  std::vector<query_text> parts;
  auto from = static_cast<uint32_t>(pieces_.size());
  std::size_t c = 0;
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece p = piece(t, k);
    uint32_t start = p.begin;
    for (; c < commas.size() && commas[c] < p.end; ++c) {
      pieces_.push_back({start, commas[c]});
      parts.push_back(make(from));
      parts.back().unbalanced = t.unbalanced;
      from = static_cast<uint32_t>(pieces_.size());
      start = commas[c] + 1;
    }
    pieces_.push_back({start, p.end});
  }
  parts.push_back(make(from));
  parts.back().unbalanced = t.unbalanced;
  // Without commas (as in a text that dropped its own) the text stays whole.
  if (parts.size() == 1) parts.back().drop_commas = t.drop_commas;
  return parts;
}

std::pair<query_text, query_text> text_reader::split_first(const query_text& t,
                                                           std::vector<parse_note>* notes) {
  const uint32_t comma = first_top_comma(t);
  if (comma == kNoPos) {
    const auto b_from = static_cast<uint32_t>(pieces_.size());
    const uint32_t at = piece(t, t.count - 1).end;
    pieces_.push_back({at, at});
    query_text b = make(b_from);
    b.unbalanced = t.unbalanced;
    return {t, b};
  }
  // The pieces before the comma, and those after it.
  uint32_t k = 0;
  while (piece(t, k).end <= comma) ++k;
  const auto a_from = static_cast<uint32_t>(pieces_.size());
  for (uint32_t i = 0; i < k; ++i) pieces_.push_back(piece(t, i));
  pieces_.push_back({piece(t, k).begin, comma});
  query_text a = make(a_from);
  a.unbalanced = t.unbalanced;
  const auto b_from = static_cast<uint32_t>(pieces_.size());
  pieces_.push_back({comma + 1, piece(t, k).end});
  for (uint32_t i = k + 1; i < t.count; ++i) pieces_.push_back(piece(t, i));
  query_text b = make(b_from);
  b.unbalanced = t.unbalanced;
  b.drop_commas = true;
  if (notes != nullptr) {
    query_text with_commas = b;
    with_commas.drop_commas = false;
    for (const uint32_t later : top_commas(with_commas, false)) {
      notes->push_back({note_kind::operand_merged, {later, later + 1}, {}});
    }
  }
  return {a, b};
}

uint32_t text_reader::first_top_comma(const query_text& t) const {
  if (t.drop_commas) return kNoPos;
  if (t.unbalanced) {
    const std::vector<uint32_t> c = top_commas(t, true);
    return c.empty() ? kNoPos : c.front();
  }
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece p = piece(t, k);
    uint32_t pos = p.begin;
    for (;;) {
      const uint32_t open = line_.next_open(pos, p.end);
      const uint32_t c = line_.next_comma(pos, open);
      if (c < open) return c;
      if (open >= p.end) break;
      const uint32_t close = line_.close_of(open);
      if (close == kNoPos || close >= p.end) break;
      pos = close + 1;
    }
  }
  return kNoPos;
}

std::vector<query_text> text_reader::split_all(const query_text& t) {
  return cut(t, top_commas(t, false));
}

source_span text_reader::span(const query_text& t) const {
  return {piece(t, 0).begin, piece(t, t.count - 1).end};
}

bool text_reader::empty(const query_text& t) const {
  const std::string_view s = line_.text();
  for (uint32_t k = 0; k < t.count; ++k) {
    const text_piece& p = piece(t, k);
    for (uint32_t i = p.begin; i < p.end; ++i) {
      if (s[i] != ' ' && !(t.drop_commas && s[i] == ',')) return false;
    }
  }
  return true;
}
