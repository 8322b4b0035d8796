// Writing the certificate of a proof.
#include "prove/certificate.h"

#include <cstdio>

namespace prove {

namespace {

// A JSON string literal: UTF-8 as it is, and any byte outside valid UTF-8
// standing for the code point of the same number.
void string_literal(std::string& out, const std::string& s) {
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len > 1) {
      if (i + len > s.size()) len = 0;
      for (std::size_t k = 1; k < len; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) len = 0;
      }
    }
    if (len > 1) {
      out.append(s, i, len);
      i += len;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
    ++i;
  }
  out += '"';
}

template <class T, class F>
void list(std::string& out, const std::vector<T>& xs, F each) {
  out += '[';
  for (std::size_t k = 0; k < xs.size(); ++k) {
    if (k > 0) out += ", ";
    each(xs[k]);
  }
  out += ']';
}

std::vector<std::string> names_of(const conjunct& c) {
  std::vector<std::string> out;
  for (const atom& a : c.atoms) out.push_back(a.table->name);
  return out;
}

}  // namespace

certificate_case certify(const proof_case& c, const std::vector<std::pair<int32_t, homomorphism>>& maps) {
  certificate_case out;
  out.i = c.i;
  out.j = c.j;
  out.choices = c.choices;
  out.occurrences = names_of(c.w);
  for (const auto& [k, h] : maps) {
    const ucq& u = *c.negatives[static_cast<std::size_t>(k)].u;
    out.maps.push_back({k, h, names_of(u.disjuncts[static_cast<std::size_t>(h.disjunct)])});
  }
  return out;
}

std::string write_certificate(const std::string& form, bool rows_only, std::size_t preorders,
                              std::size_t cases, const std::vector<certificate_check>& checks) {
  std::string out = "{\"form\": ";
  string_literal(out, form);
  out += ", \"rows_only\": ";
  out += rows_only ? "true" : "false";
  out += ", \"preorders\": " + std::to_string(preorders) + ", \"cases\": " + std::to_string(cases);
  out += ", \"checks\": ";
  const auto number = [&](const auto& n) { out += std::to_string(n); };
  const auto name = [&](const std::string& s) { string_literal(out, s); };
  list(out, checks, [&](const certificate_check& ch) {
    out += "{\"rows_of\": " + std::to_string(ch.rows_of) + ", \"in\": ";
    out += ch.in == 0 ? "null" : std::to_string(ch.in);
    out += ", \"cases\": ";
    list(out, ch.cases, [&](const certificate_case& c) {
      out += "{\"case\": [" + std::to_string(c.i) + ", " + std::to_string(c.j) + ", ";
      list(out, c.choices, number);
      out += "], \"occurrences\": ";
      list(out, c.occurrences, name);
      out += ", \"maps\": ";
      list(out, c.maps, [&](const certificate_case::map& m) {
        out += "{\"negative\": " + std::to_string(m.negative) + ", \"disjunct\": " +
               std::to_string(m.h.disjunct) + ", \"occurrences\": ";
        list(out, m.h.atoms, number);
        out += ", \"tables\": ";
        list(out, m.occurrences, name);
        out += '}';
      });
      out += '}';
    });
    out += '}';
  });
  out += '}';
  return out;
}

}  // namespace prove
