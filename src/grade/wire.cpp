// Encoding outcomes: a flat sequence of fields, each number as 8 bytes in
// little-endian order and each text as its length and then its bytes. The
// reader checks every length against what is left, so no bytes can make it
// read out of bounds or allocate more than it was sent.
#include "grade/wire.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace grade {

namespace {

constexpr std::uint64_t kMagic = 0x33676172676c6172ull;  // "relalgr3", the format's version

class writer {
 public:
  void number(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  void text(std::string_view s) {
    number(s.size());
    out_.append(s);
  }
  void texts(const std::vector<std::string>& v) {
    number(v.size());
    for (const std::string& s : v) text(s);
  }
  void span(const std::optional<source_span>& s) {
    number(s ? 1 : 0);
    if (s) {
      number(s->begin);
      number(s->end);
    }
  }
  void result(const evaluation& e) {
    number(e.ok() ? 1 : 0);
    number(e.positioned() ? 1 : 0);
    text(e.error());
    text(e.printed());
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

class reader {
 public:
  explicit reader(std::string_view in) : in_(in) {}
  bool number(std::uint64_t& v) {
    if (in_.size() - pos_ < 8) return fail();
    v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(in_[pos_ + i])) << (8 * i);
    pos_ += 8;
    return true;
  }
  bool size(std::size_t& v) {
    std::uint64_t n = 0;
    // Every item sized this way takes at least a byte, so no such count
    // exceeds the bytes sent.
    if (!number(n) || n > in_.size()) return fail();
    v = static_cast<std::size_t>(n);
    return true;
  }
  // A count that sizes nothing here: any value.
  bool whole(std::size_t& v) {
    std::uint64_t n = 0;
    if (!number(n)) return false;
    v = static_cast<std::size_t>(n);
    return true;
  }
  bool flag(bool& v) {
    std::uint64_t n = 0;
    if (!number(n) || n > 1) return fail();
    v = n == 1;
    return true;
  }
  bool text(std::string& s) {
    std::size_t n = 0;
    if (!size(n) || in_.size() - pos_ < n) return fail();
    s.assign(in_.substr(pos_, n));
    pos_ += n;
    return true;
  }
  bool texts(std::vector<std::string>& v) {
    std::size_t n = 0;
    if (!size(n)) return false;
    v.assign(n, std::string());
    for (std::string& s : v) {
      if (!text(s)) return false;
    }
    return true;
  }
  bool span(std::optional<source_span>& s) {
    bool has = false;
    if (!flag(has)) return false;
    s.reset();
    if (!has) return true;
    std::uint64_t b = 0, e = 0;
    if (!number(b) || !number(e) || b > e || e > UINT32_MAX) return fail();
    s = source_span{static_cast<uint32_t>(b), static_cast<uint32_t>(e)};
    return true;
  }
  bool result(evaluation& e) {
    bool ok = false;
    bool positioned = false;
    std::string error, printed;
    if (!flag(ok) || !flag(positioned) || !text(error) || !text(printed)) return false;
    e = evaluation::restored(ok, positioned, std::move(error), std::move(printed));
    return true;
  }
  bool done() const { return ok_ && pos_ == in_.size(); }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }
  std::string_view in_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

std::string encode(const outcome& out) {
  writer w;
  w.number(kMagic);
  w.number(static_cast<std::uint64_t>(out.what));
  w.text(out.database);
  w.number(out.sample);
  w.text(out.failure);
  w.text(out.search_stopped);
  w.number(out.databases);
  w.number(out.samples);
  w.number(out.hidden ? 1 : 0);
  w.number(static_cast<std::uint64_t>(out.kind));
  w.text(out.built_what);
  w.number(out.built);
  w.number(static_cast<std::uint64_t>(out.how));
  w.text(out.proof);
  w.number(out.proof_refuted ? 1 : 0);
  const comparison& c = out.diff;
  w.number(c.differs);
  w.number(c.reference_failed);
  w.number(c.submission_failed);
  w.text(c.failure);
  w.number(c.header_differs);
  w.text(c.header_what);
  w.text(c.expected_header);
  w.text(c.got_header);
  w.texts(c.missing);
  w.texts(c.extra);
  w.number(c.missing_count);
  w.number(c.extra_count);
  w.number(c.order_differs);
  w.number(c.order_row);
  w.text(c.order_expected);
  w.text(c.order_got);
  w.number(c.witnesses.size());
  for (const std::vector<std::string>& row : c.witnesses) w.texts(row);
  w.number(out.cx ? 1 : 0);
  if (out.cx) {
    const counterexample& x = *out.cx;
    w.number(x.rows.rows.size());
    for (const std::uint32_t r : x.rows.rows) w.number(r);
    w.number(x.rows.dropped.size());
    for (const bool d : x.rows.dropped) w.number(d ? 1 : 0);
    w.number(x.row_count);
    w.text(x.input);
    w.result(x.reference);
    w.result(x.submission);
    w.number(x.minimal ? 1 : 0);
    w.number(x.takes_partners ? 1 : 0);
    w.number(x.tests);
  }
  w.texts(out.warnings);
  w.text(out.where.trace);
  w.span(out.where.lost_at);
  w.span(out.where.extra_at);
  w.text(out.where.lost);
  w.text(out.where.extra);
  return w.take();
}

bool decode(std::string_view bytes, outcome& out) {
  reader r(bytes);
  out = outcome();
  std::uint64_t magic = 0;
  std::uint64_t what = 0;
  if (!r.number(magic) || magic != kMagic || !r.number(what) || what > 2) return false;
  out.what = static_cast<verdict>(what);
  comparison& c = out.diff;
  std::size_t witnesses = 0;
  std::uint64_t kind = 0;
  std::uint64_t how = 0;
  if (!r.text(out.database) || !r.whole(out.sample) || !r.text(out.failure) || !r.text(out.search_stopped) ||
      !r.whole(out.databases) || !r.whole(out.samples) || !r.flag(out.hidden) || !r.number(kind) || kind > 3 ||
      !r.text(out.built_what) || !r.whole(out.built) || !r.number(how) || how > 2 || !r.text(out.proof) ||
      !r.flag(out.proof_refuted) || !r.flag(c.differs) || !r.flag(c.reference_failed) ||
      !r.flag(c.submission_failed) || !r.text(c.failure) || !r.flag(c.header_differs) ||
      !r.text(c.header_what) || !r.text(c.expected_header) || !r.text(c.got_header) || !r.texts(c.missing) ||
      !r.texts(c.extra) || !r.whole(c.missing_count) || !r.whole(c.extra_count) || !r.flag(c.order_differs) ||
      !r.whole(c.order_row) || !r.text(c.order_expected) || !r.text(c.order_got) || !r.size(witnesses)) {
    return false;
  }
  out.kind = static_cast<database_kind>(kind);
  out.how = static_cast<equivalence>(how);
  c.witnesses.resize(witnesses);
  for (std::vector<std::string>& row : c.witnesses) {
    if (!r.texts(row)) return false;
  }
  bool has_cx = false;
  if (!r.flag(has_cx)) return false;
  if (has_cx) {
    counterexample& x = out.cx.emplace();
    std::size_t n = 0;
    if (!r.size(n)) return false;
    x.rows.rows.resize(n);
    for (std::uint32_t& row : x.rows.rows) {
      std::uint64_t v = 0;
      if (!r.number(v) || v > UINT32_MAX) return false;
      row = static_cast<std::uint32_t>(v);
    }
    if (!r.size(n)) return false;
    x.rows.dropped.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      bool d = false;
      if (!r.flag(d)) return false;
      x.rows.dropped[i] = d;
    }
    if (!r.whole(x.row_count) || !r.text(x.input) || !r.result(x.reference) || !r.result(x.submission) ||
        !r.flag(x.minimal) || !r.flag(x.takes_partners) || !r.whole(x.tests)) {
      return false;
    }
  }
  if (!r.texts(out.warnings) || !r.text(out.where.trace) || !r.span(out.where.lost_at) ||
      !r.span(out.where.extra_at) || !r.text(out.where.lost) || !r.text(out.where.extra)) {
    return false;
  }
  return r.done();
}

}  // namespace grade
