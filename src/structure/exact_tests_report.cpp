// The "Exact Test of Sample Differentiation" section: the global test over
// all samples, the test of every pair, the matrix of pairwise P values and,
// when asked, the table of significant differences and its histogram.
// Nothing of it reaches the statistics line or the batch files. The fixed
// and right-alignment flags it sets stay set on the result stream.

#include <fstream>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/References.h"
#include "core/TriMat.h"
#include "core/xml.h"
#include "project/Samples.h"
#include "run/settings.h"
#include "structure/DiffInterPop.h"

namespace quintle {

namespace {

std::string rule(char c, long n) { return std::string(static_cast<std::size_t>(n > 0 ? n : 0), c); }

// A P value that counts as a significant difference; -1 (no test) does not.
bool significant(double p, double level) { return p < level && p >= 0.0; }

void write_labels(std::ostream& out, Samples const& set) {
    out << "\nList of labels for population samples used below:" << "\n" << rule('-', 49) << "\n";
    TXmlTag const tag("exactTestPopLabels");
    if (xmlOutput) out << tag.open() << "\n";
    out << "Label  \tPopulation name\n" << "-----  \t---------------\n";
    for (long i = 0; i < set.Populations.count; ++i) {
        Population const* p = set.Populations.data[i];
        out << "  " << i + 1 << "\t";
        if (p != nullptr) out << p->name;
        out << "\n";
    }
    out << "\n";
    if (xmlOutput) out << tag.close() << "\n";
}

void write_significance(std::ostream& out, TriMat const& P, int K, double level) {
    out << "\n\n" << rule('-', 32) << "\nTable of significant differences (significance level=" << std::setprecision(4)
        << level << "):" << "\n" << rule('-', 32) << "\n\n";
    out << std::setw(22) << 1;
    for (int j = 2; j <= K; ++j) out << std::setw(10) << j;
    out << "\n";
    for (int i = 0; i < K; ++i) {
        out << std::setw(12) << i + 1;
        for (int j = 0; j < K; ++j) {
            char const mark = i == j ? ' ' : significant(P(i, j), level) ? '+' : '-';
            out << "         " << mark;
        }
        out << std::endl;
    }

    std::vector<int> counts(static_cast<std::size_t>(K), 0);
    for (int i = 0; i < K; ++i)
        for (int j = 0; j < K; ++j)
            if (j != i && significant(P(i, j), level)) ++counts[static_cast<std::size_t>(i)];

    std::string const line = rule('-', 11L * K + 2);
    out << "\n\n" << rule('-', 60)
        << "\nHistogram of the number of significant different populations (significance level="
        << std::setprecision(4) << level << "):" << "\n" << rule('-', 60) << "\n\n";
    out << line << std::endl;
    out << "|";
    for (int i = 0; i < K; ++i) out << std::setw(10) << i + 1 << "|";
    out << "\n";
    out << line << std::endl;
    out << "|";
    for (int c : counts) out << std::setw(10) << c << "|";
    out << "\n";
    out << line << std::endl;
}

}  // namespace

void DiffInterPop::make_all_tests() {
    if (samples == nullptr || runSettings == nullptr || runSettings->ResultFile == nullptr) {
        E.error(ERROR, "DiffInterPop::make_all_tests()", Msg::m59_invalid_data_or_output);
        return;
    }
    Samples& set = *samples;
    settings& s = *runSettings;
    if (set.GenotypicData != 0 && set.GameticPhase == 0 && set.RecessiveData != 0) return;
    int const K = static_cast<int>(set.Populations.count);
    if (K < 2) return;
    std::ostream& out = *s.ResultFile;

    settings::message = "Making population differentiation test...";
    out << "\n" << rule('=', 80)
        << (set.GameticPhase != 0 ? "\n== Exact Test of Sample Differentiation Based on Haplotype Frequencies"
                                  : "\n== Exact Test of Sample Differentiation Based on Genotype Frequencies")
        << "\n" << rule('=', 80) << "\n";
    References(out, my_string("ExactDiff_1995"), 0);
    References(out, my_string("ExactDiffDiploid_1996"), 2);

    stepsDone = 0;
    make_sample_test();

    write_labels(out, set);

    out << std::fixed << std::right;
    out << "\n" << rule('-', 74) << "\nGlobal test of differentiation among sample:" << "\n" << rule('-', 44) << "\n"
        << "\n Non-differentiation: Exact P value = " << std::setprecision(5) << pValue << " +- " << std::setw(5)
        << pValueSD << "  (" << stepsDone << " Markov steps done)";

    out << "\n\n" << rule('-', 74) << "\nDifferentiation test between all pairs of samples:" << "\n" << rule('-', 50)
        << "\n" << "\nMarkov chain length : " << s.NumPermutPopDiff << " steps)\n\n"
        << "Non-differentiation exact P values :\n\n";

    out << std::setw(17) << 1;
    for (int j = 2; j <= K - 1; ++j) out << std::setw(18) << j;
    out << "\n";

    TriMat P(K);
    for (int i = 0; i < K; ++i) {
        if (i > 0) out << std::setw(12) << i + 1;
        for (int j = 0; j < i; ++j) {
            firstSample = i;
            secondSample = j;
            stepsDone = 0;
            make_diff_test();
            P(i, j) = pValue;
            out << std::setprecision(5) << std::setw(10) << pValue << "+-" << std::setprecision(4) << std::setw(5)
                << pValueSD;
        }
        out << std::endl;
    }

    if (s.PrintHistoPopDiff != 0) write_significance(out, P, K, s.SignLevelPopDiff);

    if (testImpossible != 0) {
        out << "\nAt for one population pair the test was not possible to\n"
            << "be done. This is indicated by an absurde P-value of -1:";
        E.error(ERROR, "DiffInterPop::make_diff_test()", Msg::m58_cannot_build_haplotype_table);
    }
}

}  // namespace quintle
