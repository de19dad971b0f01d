// The EM iterations run two starts side by side; a start run on its own,
// step by step as the estimator is specified (E-step pass, M-step pass,
// normalisation), must give the very same numbers.

#include <gtest/gtest.h>

#include <cmath>

#include "haplo/em_bases.h"
#include "haplo/haplo_test_support.h"

namespace quintle {
namespace {

using test::HandSample;

struct Plain {
    double bestLnL = 0.0, bestF = 0.0;
    std::vector<double> best;
    int distinct = 0;
};

// One start after another, each drawing its K numbers and then its
// coefficient; the share of a resolution is its probability times the
// phenotype's count over the phenotype's probability.
Plain plain_em(EmProblem const& p, int starts, int maxIterations, double epsilon, bool inbreeding) {
    Plain r;
    std::vector<double> maxima;
    std::size_t const K = static_cast<std::size_t>(p.numHaplotypes);
    std::vector<double> f(K), prev(K), acc(K), ibd(K), gp(p.hapl1.size()), pp(p.startProb);
    bool have = false;
    for (int s = 0; s < starts; ++s) {
        long seed = 1;
        double sum = 0.0;
        for (std::size_t k = 0; k < K; ++k) sum += (f[k] = 1.0 + 1000 * ran3(&seed));
        for (std::size_t k = 0; k < K; ++k) prev[k] = f[k] /= sum;
        double F = inbreeding ? ran3(&seed) / 3.0 : 0.0;
        for (int it = 0; it < maxIterations; ++it) {
            double S = 0.0;
            if (inbreeding) {
                std::fill(ibd.begin(), ibd.end(), 0.0);
                for (int q = 0; q < p.num_phenotypes(); ++q) {
                    if (!p.homozygous[q]) continue;
                    int const h = p.hapl1[p.firstGenotype[q]];
                    double const share = p.count[q] * F / (f[h] * (1.0 - F) + F);
                    ibd[h] += share;
                    S += share;
                }
                F = S / p.individuals;
            }
            for (int q = 0; q < p.num_phenotypes(); ++q) {  // E-step
                double total = 0.0;
                for (int g = p.firstGenotype[q]; g < p.firstGenotype[q + 1]; ++g) {
                    double const a = f[p.hapl1[g]], b = f[p.hapl2[g]];
                    bool const same = p.hapl1[g] == p.hapl2[g];
                    gp[g] = same ? (inbreeding ? (1.0 - F) * a * a + F * a : a * a)
                                 : (inbreeding ? 2.0 * (1.0 - F) * a * b : 2.0 * a * b);
                    total += gp[g];
                }
                pp[q] = total;
            }
            std::fill(acc.begin(), acc.end(), 0.0);
            for (int q = 0; q < p.num_phenotypes(); ++q) {  // M-step
                int const g0 = p.firstGenotype[q], g1 = p.firstGenotype[q + 1];
                double const c = p.count[q];
                if (p.homozygous[q]) {
                    acc[p.hapl1[g0]] += 2.0 * c;
                } else if (g1 - g0 < 2) {
                    acc[p.hapl1[g0]] += c;
                    acc[p.hapl2[g0]] += c;
                } else {
                    for (int g = g0; g < g1; ++g) {
                        double const share = gp[g] * (c / pp[q]);
                        acc[p.hapl1[g]] += share;
                        acc[p.hapl2[g]] += share;
                    }
                }
            }
            double D = 0.0;
            for (std::size_t k = 0; k < K; ++k) {
                double const nf = inbreeding ? (acc[k] - ibd[k]) / (p.geneCopies - S) : acc[k] / p.geneCopies;
                D += std::fabs(nf - prev[k]);
                prev[k] = f[k] = nf;
            }
            if (D < epsilon) break;
        }
        double lk = 0.0;
        for (int q = 0; q < p.num_phenotypes(); ++q) lk += p.count[q] * std::log(pp[q]);
        if (!have || lk > r.bestLnL) {
            have = true;
            r.bestLnL = lk;
            r.bestF = F;
            r.best = f;
        }
        bool known = false;
        for (double m : maxima) known = known || std::fabs(m - lk) < 1e-6;
        if (!known) maxima.push_back(lk);
    }
    r.distinct = static_cast<int>(maxima.size());
    return r;
}

TEST(EmKernel, StartsSideBySideGiveTheNumbersOfStartsInTurn) {
    test::LogGuard log("quintle_em_kernel");
    for (bool inbreeding : {false, true}) {
        for (int starts : {1, 5, 8}) {
            SCOPED_TRACE(std::to_string(inbreeding) + " " + std::to_string(starts));
            HandSample h(3);
            for (auto const& [a, b] : {std::pair{"ABC", "abc"}, {"AbC", "aBc"}, {"ABC", "ABC"}, {"abc", "abC"},
                                       {"Abc", "aBC"}, {"ABc", "ABc"}, {"aBC", "abc"}})
                h.add(a, b);
            settings s;
            TPopHaploDB store;
            ASSERT_TRUE(prepare_resolutions(h.pop, h.pop.phenotypes, store, s, nullptr, nullptr, 0));
            EmProblem p;
            ASSERT_TRUE(make_em_problem(h.pop.phenotypes, store, h.pop.SampleSize, p));
            // A loose epsilon, so that the starts stop after different
            // numbers of iterations.
            EmSettings o;
            o.starts = starts;
            o.maxIterations = 400;
            o.epsilon = 1e-5;
            o.inbreeding = inbreeding;
            initialize_ran3(-123);
            Plain const want = plain_em(p, starts, 400, 1e-5, inbreeding);
            initialize_ran3(-123);
            EmWork w;
            EmOutcome const got = run_em(p, o, w, s);
            EXPECT_EQ(got.bestLnL, want.bestLnL);
            EXPECT_EQ(got.nDistinct, want.distinct);
            EXPECT_EQ(w.best, want.best);
            if (inbreeding) {
                EXPECT_EQ(got.bestF, want.bestF);
            }
        }
    }
}

}  // namespace
}  // namespace quintle
