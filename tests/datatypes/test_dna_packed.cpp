// The sample's packed comparison against the site-by-site one, on random
// alignments with ambiguity codes, gaps and missing data: the same counts
// for every pair, and the same matrix, messages and last-pair values as the
// pair operations give one pair after the other, under every distance
// method with and without gamma and several weights.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/HaploDef.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_distances.h"
#include "run/settings.h"
#include "support/process_state.h"

using namespace quintle;

namespace {

// Texts drawn around one ancestor: most sites constant, the others from
// `alphabet`; every third text (or, with `mostlyRepeats`, two texts in
// three) repeats an earlier one.
std::vector<std::string> alignment(std::mt19937& rng, int n, int sites, std::string const& alphabet,
                                   bool mostlyRepeats = false) {
    std::string ancestor;
    for (int s = 0; s < sites; ++s) ancestor += "ACGT"[rng() % 4];
    std::vector<std::string> texts;
    for (int i = 0; i < n; ++i) {
        if (mostlyRepeats ? i % 3 != 0 : i % 3 == 2) {
            texts.push_back(texts[rng() % texts.size()]);
            continue;
        }
        std::string t = ancestor;
        for (char& c : t)
            if (rng() % 5 == 0) c = alphabet[rng() % alphabet.size()];
        texts.push_back(t);
    }
    return texts;
}

struct Sample {
    std::vector<std::unique_ptr<HaploDef>> defs;
    PopulDNA pop;

    Sample(std::vector<std::string> const& texts, char missing) {
        pop.profile.MissingData = missing;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            auto def = std::make_unique<HaploDef>(my_string("h"));
            def->data = texts[i].c_str();
            pop.haplotypes.Add(new PHaploDef{def.get(), static_cast<int>(1 + i % 3)});
            defs.push_back(std::move(def));
        }
        pop.SampleSize = 0;
        pop.check_data();
        pop.allowedMissingLevel = 0.3;
    }
    char const* text(int i) const { return defs[static_cast<std::size_t>(i)]->data.c_str(); }
};

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

int pair_operation(PopulDNA& p, int method, char const* a, char const* b) {
    switch (method) {
        case 1: return p.jk_dist(a, b);
        case 2: return p.kim2p_dist(a, b);
        case 3: return p.p_dist(a, b);
        case 4: return p.tajnei_dist(a, b);
        case 5: return p.tamura_dist(a, b);
        case 6: return p.tamnei_dist(a, b);
        default: return p.diff_dist(a, b);
    }
}

// Size of the log so far, and what it gained since a size.
std::size_t log_size(test::LogGuard const& log) {
    _AOS_->flush();
    return static_cast<std::size_t>(std::filesystem::file_size(log.path()));
}

std::string log_since(test::LogGuard const& log, std::size_t from) {
    _AOS_->flush();
    std::ifstream in(log.path(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> report_lines(std::string const& log) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while ((at = log.find("from function", at)) != std::string::npos) {
        std::size_t const end = log.find('\n', at);
        lines.push_back(log.substr(at, end - at));
        at = end;
    }
    return lines;
}

}  // namespace

// Packed counts, site-loop counts and the counts of the two texts read
// directly agree for every ordered pair, with and without a site census,
// whatever the missing-data character (a base and a gap among them).
TEST(DnaPacked, CountsAgreeWithTheSiteLoopForEveryPair) {
    std::mt19937 rng(17);
    struct Case {
        char missing;
        char const* alphabet;
    };
    Case const cases[] = {{'?', "ACGT"}, {'?', "ACGT-?"}, {'?', "ACGT-?NRY"}, {'N', "ACGT-N"},
                          {'-', "ACGT-?"}, {'A', "ACGT-?"}, {'?', "ACGT-?0K"}};
    for (Case const& c : cases) {
        for (bool census : {false, true}) {
            SCOPED_TRACE(std::string("missing ") + c.missing + " alphabet " + c.alphabet + (census ? " census" : ""));
            std::vector<std::string> texts = alignment(rng, 14, 150, c.alphabet);
            texts[4].resize(140);  // a short text reads as missing data at its end
            std::vector<char const*> views;
            for (auto const& t : texts) views.push_back(t.c_str());
            std::vector<int> usable;
            if (census)
                for (int s = 0; s < 150; ++s) usable.push_back(rng() % 6 == 0 ? 0 : 1);

            DnaDistanceWorkspace ws;
            ws.prepare(views, usable, c.missing, 3);
            for (int i = 0; i < 14; ++i) {
                for (int j = 0; j < 14; ++j) {
                    DnaPairCounts direct = count_sequence_pair(views[i], views[j], usable, c.missing);
                    direct.equal += 3;
                    ASSERT_EQ(ws.count(i, j), direct) << i << " " << j;
                    ASSERT_EQ(ws.count_sites(i, j), direct) << i << " " << j;
                }
                EXPECT_EQ(texts[static_cast<std::size_t>(ws.first_alike(i))], texts[static_cast<std::size_t>(i)]);
            }
        }
    }
}

// The matrix from the packed counts, each pair of distinct texts once,
// against the pair operations applied pair after pair in list order: the
// same doubles, the same first failure with the same messages, and the same
// last-pair values.
TEST(DnaPacked, MatricesMatchThePairOperationsPairAfterPair) {
    std::mt19937 rng(29);
    struct Weights {
        double deletion, transition, transversion;
    };
    Weights const weights[] = {{0, 0.3, 2}, {0.3, 0, 1}, {1, 1, 1}, {2, 1, 0}};
    int compared = 0;
    int failed = 0;
    int byClasses = 0;  // matrices held by classes of alike texts
    test::LogGuard log("quintle_dna_packed");
    // The digits make some pairs count differently in the two orders.
    int variant = 0;
    for (auto const& [missing, alphabet] :
         {std::pair{'?', "ACGT-?NR"}, std::pair{'N', "ACGT-NY"}, std::pair{'-', "ACGT-?N"},
          std::pair{'?', "ACGT-?0"}}) {
        std::vector<std::string> texts = alignment(rng, 16, 90, alphabet, true);
        // Near the end, a text too far from the others for the corrected
        // distances.
        texts.insert(texts.begin() + 13, std::string(90, 'C'));
        // Every weight set on the first alignment, two on the others.
        std::size_t const numWeights = variant++ == 0 ? std::size(weights) : 2;
        for (std::size_t wi = 0; wi < numWeights; ++wi) {
            Weights const& w = weights[wi];
            for (int method = 0; method <= 6; ++method) {
                for (double gamma : {0.0, 0.5}) {
                    // The gamma correction has a form for three methods only.
                    if (gamma > 0 && method != 1 && method != 2 && method != 6) continue;
                    {
                        int const scale = static_cast<int>((wi + static_cast<std::size_t>(method)) % 2);
                        SCOPED_TRACE(testing::Message() << "missing " << missing << " method " << method << " gamma "
                                                        << gamma << " weights " << w.deletion << "/" << w.transition
                                                        << "/" << w.transversion << " scale " << scale);
                        Sample got(texts, missing);
                        Sample ref(texts, missing);
                        for (Sample* x : {&got, &ref}) {
                            x->pop.deletionWeight = w.deletion;
                            x->pop.transitionWeight = w.transition;
                            x->pop.transversionWeight = w.transversion;
                            x->pop.distanceMethod = method;
                            x->pop.gammaA = gamma;
                            ASSERT_EQ(x->pop.build_arbitrary_haplotype(), 1);
                            ASSERT_EQ(x->pop.compare_DNA_sequences(), 1);
                        }
                        settings s;
                        std::size_t const before = log_size(log);
                        int const ok = got.pop.compute_distance_matrix(nullptr, &s, scale);
                        std::size_t const between = log_size(log);
                        ref.pop.comp_nucl_freq();
                        double const f = (scale != 0 && method != 0) ? ref.pop.numUsableSites : 1.0;
                        int refOk = 1;
                        int maxDistance = 0;
                        int const n = static_cast<int>(texts.size());
                        for (int i = 0; i < n && refOk; ++i) {
                            for (int j = 0; j < i; ++j) {
                                if (pair_operation(ref.pop, method, ref.text(i), ref.text(j)) == 0) {
                                    refOk = 0;
                                    break;
                                }
                                double const d = ref.pop.pairDistance * f;
                                double const sd = ref.pop.pairDistanceVar >= 0 ? std::sqrt(ref.pop.pairDistanceVar) * f : 0.0;
                                if (d > maxDistance) maxDistance = static_cast<int>(d);
                                ASSERT_TRUE(same(got.pop.distMat ? (*got.pop.distMat)(i, j) : d, d)) << i << " " << j;
                                ASSERT_TRUE(same(got.pop.distMat ? (*got.pop.distMat)(j, i) : sd, sd)) << i << " " << j;
                            }
                        }
                        ASSERT_EQ(ok, refOk);
                        if (ok) byClasses += got.pop.distMat->classed() ? 1 : 0;
                        EXPECT_EQ(got.pop.maxPairwiseDistance, refOk ? maxDistance : 0);
                        EXPECT_TRUE(same(got.pop.pairDistance, ref.pop.pairDistance));
                        EXPECT_TRUE(same(got.pop.pairDistanceVar, ref.pop.pairDistanceVar));
                        EXPECT_EQ(got.pop.pairNuclFreq, ref.pop.pairNuclFreq);
                        std::string const all = log_since(log, before);
                        std::string const gotLog = all.substr(0, between - before);
                        std::vector<std::string> want = report_lines(all.substr(between - before));
                        if (!refOk)
                            want.push_back("from function \"PopulDNA::compute_distance_matrix(ofstream)\" : " +
                                           std::string(Errors::message(136)));
                        EXPECT_EQ(report_lines(gotLog), want);
                        ++compared;
                        failed += refOk ? 0 : 1;
                    }
                }
            }
        }
    }
    // Both roads were taken: matrices completed and matrices refused; the
    // texts that repeat make matrices by classes, except where the digits
    // count differently in the two orders (plain matrices).
    EXPECT_GT(failed, 0);
    EXPECT_LT(failed, compared);
    EXPECT_GT(byClasses, 0);
    EXPECT_LT(byClasses, compared - failed);
}
