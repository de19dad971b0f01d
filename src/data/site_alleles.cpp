// The one-character alleles of a whole list of texts, entered into a
// catalogue site by site through per-character tables.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "data/TAlleleDB.h"

namespace quintle {

namespace {

// Characters given a table of their own; a list of texts with more kinds of
// characters than this enters the rarer ones through the locus lookup.
constexpr std::size_t kMaxPlanes = 16;

}  // namespace

// One character's table over the sites: its allele at each site, the number
// of texts that carry it there, and whether the table created that allele.
struct TAlleleDB::SiteAlleles::Plane {
    explicit Plane(std::size_t sites) : alleles(sites, nullptr), carriers(sites, 0), created(sites, 0) {}
    std::vector<TAllele*> alleles;
    std::vector<std::uint32_t> carriers;
    std::vector<std::uint8_t> created;
};

TAlleleDB::SiteAlleles::SiteAlleles(TAlleleDB& db, std::size_t sites, double weight)
    : db_(db), sites_(sites), weight_(weight) {
    byChar_.fill(nullptr);
}

TAlleleDB::SiteAlleles::~SiteAlleles() = default;

TAlleleDB::SiteAlleles::Plane* TAlleleDB::SiteAlleles::plane_of(unsigned char c) {
    if (planes_.size() == kMaxPlanes) return nullptr;
    planes_.push_back(std::make_unique<Plane>(sites_));
    return byChar_[c] = planes_.back().get();
}

TAllele* TAlleleDB::SiteAlleles::first_allele(Plane& plane, unsigned char c, std::size_t site) {
    // The locus is appended when new; sites come in order, so it gets the
    // site's index. Each locus keeps its alleles in the order in which the
    // texts show them.
    int const locus = static_cast<int>(site);
    TLocus* l = db_.locus_for_insert(locus);
    bool created = false;
    long const pos = l->find_or_append(static_cast<char>(c), locus, created);
    plane.created[site] = created ? 1 : 0;
    return plane.alleles[site] = l->alleles.data[pos];
}

TAllele* TAlleleDB::SiteAlleles::insert_untabled(unsigned char c, std::size_t site) {
    int const locus = static_cast<int>(site);
    TLocus* l = db_.locus_for_insert(locus);
    int const pos = l->insert(static_cast<char>(c), weight_, locus);
    return l->alleles.data[pos];
}

std::size_t TAlleleDB::SiteAlleles::enter(std::string_view text, TAllele** row) {
    std::size_t const n = std::min(text.size(), sites_);
    Text entered{text.substr(0, n)};
    for (std::size_t s = 0; s < n; ++s) {
        auto const c = static_cast<unsigned char>(text[s]);
        Plane* p = byChar_[c];
        if (p == nullptr) p = plane_of(c);
        if (p == nullptr) {
            row[s] = insert_untabled(c, s);
            entered.untabled = true;
            continue;
        }
        TAllele* a = p->alleles[s];
        if (a == nullptr) a = first_allele(*p, c, s);
        row[s] = a;
        ++p->carriers[s];
    }
    texts_.push_back(entered);
    return texts_.size() - 1;
}

void TAlleleDB::SiteAlleles::again(std::size_t k) {
    Text& t = texts_[k];
    ++t.copies;
    if (!t.untabled) return;
    // Those alleles gain their weight at once, as they did the first time.
    for (std::size_t s = 0; s < t.text.size(); ++s) {
        auto const c = static_cast<unsigned char>(t.text[s]);
        if (byChar_[c] == nullptr) insert_untabled(c, s);
    }
}

void TAlleleDB::SiteAlleles::finish() {
    // enter() counted each text once; the copies that again() announced
    // count now.
    for (Text const& t : texts_) {
        if (t.copies < 2) continue;
        for (std::size_t s = 0; s < t.text.size(); ++s) {
            Plane* p = byChar_[static_cast<unsigned char>(t.text[s])];
            if (p != nullptr) p->carriers[s] += t.copies - 1;
        }
    }
    // As single insertions add them, text after text: a new allele starts
    // with the weight and gains it once per further text.
    std::size_t most = 0;
    for (Text const& t : texts_) most += t.copies;
    std::vector<double> sums(most + 1, 0.0);
    for (std::size_t k = 1; k < sums.size(); ++k) sums[k] = k == 1 ? weight_ : sums[k - 1] + weight_;
    for (auto const& p : planes_) {
        for (std::size_t s = 0; s < sites_; ++s) {
            TAllele* a = p->alleles[s];
            std::uint32_t const n = p->carriers[s];
            if (a == nullptr || n == 0) continue;
            if (p->created[s] != 0) {
                a->weight = sums[n];
            } else {
                for (std::uint32_t i = 0; i < n; ++i) a->weight += weight_;
            }
            p->carriers[s] = 0;
            p->created[s] = 0;
        }
    }
    texts_.clear();
}

}  // namespace quintle
