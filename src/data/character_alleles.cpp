#include "data/character_alleles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "data/HaploDef.h"
#include "data/allele_row.h"

namespace quintle {

TAllele* CharacterAlleles::of(unsigned char c) {
    std::unique_ptr<TAllele>& a = alleles_[c];
    if (a == nullptr) {
        a = std::make_unique<TAllele>();
        a->name = static_cast<char>(c);
    }
    return a.get();
}

bool CharacterAlleles::fill_rows(HaploDef* const* defs, long n, char reserved) {
    if (defs == nullptr || n <= 0) return true;
    // The distinct texts first, as the catalogue's rows are made.
    DistinctTexts const found = distinct_texts(defs, n);
    std::vector<long> const& first = found.first;
    std::vector<std::string_view> const& distinct = found.texts;
    if (reserved != '\0')
        for (std::string_view const text : distinct)
            if (text.find(reserved) != std::string_view::npos) return false;

    // The rows of the distinct texts are filled in the order the texts were
    // met, so the shared alleles are made in order of first appearance.
    std::array<TAllele*, 256> byChar{};
    AlleleRowBlock block(found.slots);
    for (long i = 0; i < n; ++i) {
        HaploDef* h = defs[i];
        if (h == nullptr) continue;
        long const f = first[static_cast<std::size_t>(i)];
        if (f != i) {
            h->alleles = defs[f]->alleles;
            continue;
        }
        int const length = h->data.length();
        auto const* text = reinterpret_cast<unsigned char const*>(h->data.c_str());
        TAllele** row = h->alleles.fill(length, block);
        for (int s = 0; s < length; ++s) {
            TAllele* a = byChar[text[s]];
            if (a == nullptr) a = byChar[text[s]] = of(text[s]);
            row[s] = a;
        }
    }

    // Sites where some text differs from the first one holding the site.
    several_.clear();
    std::size_t sites = 0;
    std::size_t shortest = distinct.empty() ? 0 : distinct.front().size();
    for (std::string_view const text : distinct) {
        sites = std::max(sites, text.size());
        shortest = std::min(shortest, text.size());
    }
    varies_.assign(sites, 0);
    shortest_ = static_cast<long>(shortest);
    // Plain pointers: writes through the vector would make the compiler
    // reload its data pointer at every site.
    unsigned char* const differs = varies_.data();
    std::string_view const base = distinct.empty() ? std::string_view() : distinct.front();
    for (std::size_t t = 1; t < distinct.size(); ++t) {
        std::string_view const text = distinct[t];
        char const* const a = text.data();
        char const* const b = base.data();
        std::size_t const common = std::min(text.size(), base.size());
        for (std::size_t s = 0; s < common; ++s) differs[s] |= static_cast<unsigned char>(a[s] != b[s]);
        for (std::size_t s = common; s < text.size(); ++s) differs[s] = 1;
    }
    for (std::size_t s = 0; s < sites; ++s) {
        if (differs[s] == 0) continue;
        std::string states;
        for (std::string_view const text : distinct)
            if (s < text.size() && states.find(text[s]) == std::string::npos) states.push_back(text[s]);
        if (states.size() >= 2) several_.emplace(static_cast<long>(s), std::move(states));
    }
    return true;
}

std::string const* CharacterAlleles::several_states(long site) const {
    auto const it = several_.find(site);
    return it != several_.end() ? &it->second : nullptr;
}

}  // namespace quintle
