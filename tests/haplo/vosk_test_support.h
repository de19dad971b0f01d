#pragma once

// Shared by the phasing tests: unphased individuals built by hand into a
// phenotype table and an allele base laid out as a run lays them out (every
// locus starts with the recessive blank "null"), the phasing sample built
// from them, and a stand-in for the gametes' codes that tests can set freely.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle::vosk_test {

// Alleles of one gamete, one name per locus ("?" missing).
using Gamete = std::vector<std::string>;

// One-character alleles from a string: "AC?T" gives {"A", "C", "?", "T"}.
inline Gamete chars(std::string const& text) {
    Gamete g;
    for (char c : text) g.emplace_back(1, c);
    return g;
}

class Individuals {
public:
    explicit Individuals(int nLoci) : nLoci_(nLoci) {
        for (int l = 0; l < nLoci; ++l) db.InsertAllPos(l, my_string("null"), 0.0);
        db.blanksInserted = 1;
    }
    // Alleles enter their locus's list in order of first appearance.
    void add(Gamete const& g1, Gamete const& g2, std::string name = "") {
        if (name.empty()) name = "i" + std::to_string(table.size() + 1);
        auto* p = new TPhenotype(my_string(name.c_str()), 1.0);
        p->set_pseudo_hapl(haplotype(g1).release(), 0);
        p->set_pseudo_hapl(haplotype(g2).release(), 1);
        table.add(p);
    }
    void add(std::string const& g1, std::string const& g2) { add(chars(g1), chars(g2)); }
    // Position of an allele in its locus's list.
    int code(int locus, char const* name) {
        TLocus const* l = db.loci.data[locus];
        for (long p = 0; p < l->alleles.count; ++p)
            if (l->alleles.data[p] != nullptr && l->alleles.data[p]->name == my_string(name))
                return static_cast<int>(p);
        return -100;
    }
    std::unique_ptr<TGenotSample> sample(char missing = '?') {
        return std::make_unique<TGenotSample>(table, &db, s, missing, ProfileSettings::DataType == MICROSAT);
    }

    TAlleleDB db{0};
    TPhenDB table;
    settings s;

private:
    std::unique_ptr<TPopHaplotype> haplotype(Gamete const& g) {
        auto h = std::make_unique<TPopHaplotype>();
        for (int l = 0; l < nLoci_; ++l) {
            int const pos = db.InsertAllPos(l, my_string(g[static_cast<std::size_t>(l)].c_str()), 1.0);
            h->alleles.Add(db.loci.data[l]->alleles.data[pos]);
        }
        return h;
    }
    int nLoci_;
};

// A stretch of the shared stream: its first n numbers after seeding it with
// -seed, the stream then seeded again so that the code under test draws the
// same ones.
class RecordedStream {
public:
    RecordedStream(long seed, int n) : seed_(seed) {
        initialize_ran3(-seed);
        long one = 1;
        for (int i = 0; i < n; ++i) u.push_back(ran3(&one));
        initialize_ran3(-seed);
    }
    // The number of draws made since the seeding (-1 when more than were
    // recorded), the stream left where it was.
    int made() const {
        long one = 1;
        double const next = ran3(&one);
        int at = -1;
        for (std::size_t i = 0; i < u.size() && at < 0; ++i)
            if (u[i] == next) at = static_cast<int>(i);
        initialize_ran3(-seed_);
        for (int i = 0; i < at; ++i) ran3(&one);
        return at;
    }
    std::vector<double> u;

private:
    long seed_;
};

}  // namespace quintle::vosk_test
