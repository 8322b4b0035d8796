// Writing the certificate of a proof.
#include "prove/certificate.h"

#include "engine/json.h"

namespace prove {

namespace {

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
  append_json_string(out, form);
  out += ", \"rows_only\": ";
  out += rows_only ? "true" : "false";
  out += ", \"preorders\": " + std::to_string(preorders) + ", \"cases\": " + std::to_string(cases);
  out += ", \"checks\": ";
  const auto number = [&](const auto& n) { out += std::to_string(n); };
  const auto name = [&](const std::string& s) { append_json_string(out, s); };
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
