// The standard diversity tables of the summary section, on samples whose
// results are set by hand: the values given to the statistics line and the text of
// one table.

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <iterator>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "run/ProfileSettings.h"
#include "run/task_bits.h"
#include "summary_fixture.h"
#include "sumstat/summary_frame.h"
#include "sumstat/summary_neutrality.h"

namespace quintle {
namespace {

// Right-aligned in a field, the way the tables lay out every cell.
std::string r(std::string const& text, int width) {
    return text.size() >= static_cast<std::size_t>(width) ? text : std::string(width - text.size(), ' ') + text;
}
std::string num(double v, int precision, int width = 12) {
    std::ostringstream os;
    os << std::fixed << std::setprecision(precision) << v;
    return r(os.str(), width);
}
std::string dashes(int n) { return std::string(n, '-') + "\n"; }

double sampleSd(std::vector<double> const& v) {
    double m = 0;
    for (double x : v) m += x;
    m /= v.size();
    double ss = 0;
    for (double x : v) ss += (x - m) * (x - m);
    return std::sqrt(ss / (v.size() - 1));
}

using namespace testing_support;

class SummaryTables : public SummaryFixture {
protected:
    void SetUp() override {
        SummaryFixture::SetUp();
        s_.time_stamp = "05/12/26at14:39:48";
        s_.TaskNumber = 1;
    }

    static void alleles(int locus, std::vector<std::pair<char const*, double>> const& list) {
        for (auto const& [name, weight] : list) PopGenetics::globalAllelicDB.InsertAllPos(locus, my_string(name), weight);
    }

    static PopulDNA* dna(char const* name, double size, int usable, int subst, int haplotypes, double gd,
                         double gdSd, std::vector<double> const& het, std::vector<int> const& numAlleles,
                         double meanHet, double meanHetSd, double meanAlleles, double meanAllelesSd) {
        auto* p = new PopulDNA();
        p->name = name;
        p->SampleSize = size;
        p->numLoci = 20;
        p->numUsableSites = usable;
        p->numSubstitutionSites = subst;
        p->numPolymorphicSites = 99;  // not the row's value for DNA
        p->NbHaplotypeEntries = haplotypes;
        p->geneDiversity = gd, p->geneDiversitySd = gdSd;
        fill(p->locusExpHet, het);
        fill(p->locusNumAlleles, numAlleles);
        p->meanHet = meanHet, p->meanHetSd = meanHetSd;
        p->meanNumAlleles = meanAlleles, p->meanNumAllelesSd = meanAllelesSd;
        return p;
    }

private:
    test::AllelicDBGuard projectAlleles_;
};

// Digit grouping, to see a locale the cells cannot format themselves.
struct Thousands : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

// A row written through the table's cells holds exactly what the stream's
// own formatted writes give, whatever state the stream is in: the usual
// fixed, right-aligned one, or one the cells must leave to the stream.
TEST_F(SummaryTables, CellsWriteWhatTheStreamWould) {
    using State = void (*)(std::ostream&);
    State const states[] = {
        [](std::ostream& os) { os << std::fixed << std::showpoint << std::right; },
        [](std::ostream&) {},
        [](std::ostream& os) { os << std::fixed << std::left; },
        [](std::ostream& os) { os << std::fixed << std::internal; },
        [](std::ostream& os) { os << std::fixed << std::showpos; },
        [](std::ostream& os) { os << std::fixed << std::hex; },
        [](std::ostream& os) { os << std::fixed << std::setfill('*'); },
        [](std::ostream& os) { os.imbue(std::locale(std::locale::classic(), new Thousands)); os << std::fixed; },
    };
    static SummaryTableLayout const layout{"k", "t", "h", nullptr, nullptr, "Locus#", 6, "Tot."};
    double const nan = std::nan("");
    double const inf = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < std::size(states); ++k) {
        std::ostringstream expected;
        states[k](expected);
        expected << std::setw(6) << "Mean" << std::setw(12) << 1234567LL << std::setprecision(5) << std::setw(12)
                 << 0.1234567 << std::setprecision(3) << std::setw(12) << -2.5 << std::setw(12) << 1e20
                 << std::setw(12) << "N.A." << std::setprecision(5) << std::setw(12) << nan << std::setw(12) << -inf
                 << std::setw(12) << "N.A." << std::setw(12) << "N.A." << std::setw(12) << -7LL << "\n"
                 << std::setw(6) << 4321L << std::setw(12) << 0LL << std::setprecision(1) << std::setw(12) << 3.25
                 << "\n";

        std::ostringstream written;
        states[k](written);
        {
            SummaryTable t(set_, s_, written, 12, layout);
            t.label("Mean");
            t.countCell(1234567.0);
            t.realCell(0.1234567, 5);
            t.realCell(-2.5, 3);
            t.realCell(1e20, 3);
            t.naCell();
            t.realCell(nan, 5);
            t.realCell(-inf, 5);
            t.meanSdNA();
            t.totalCount(-7.0);
            t.endRow();
            t.label(4321);
            t.countCell(0.0);
            t.totalReal(3.25, 1);
            t.endRow();
        }
        EXPECT_EQ(written.str(), expected.str()) << "stream state " << k;
        EXPECT_EQ(written.precision(), expected.precision()) << "stream state " << k;
        EXPECT_EQ(written.width(), 0) << "stream state " << k;
    }
}

// Whole numbers (zero, negative zero, the largest ones written digit by
// digit, the first one past them) and many rows, more than one block of
// them, then a write through the stream: all as the stream's own writes
// give them, in order.
TEST_F(SummaryTables, WholeNumbersAndManyRowsAsTheStreamWrites) {
    using State = void (*)(std::ostream&);
    State const states[] = {
        [](std::ostream& os) { os << std::fixed << std::showpoint << std::right; },
        [](std::ostream& os) { os << std::fixed << std::setfill('*'); },
        [](std::ostream&) {},
    };
    static SummaryTableLayout const layout{"k", "t", "h", nullptr, nullptr, "Locus#", 6, "Tot."};
    double const values[] = {0.0, -0.0, 7.0, -3.0, 999999999999999.0, 1e15, -1e15, 2.5};
    for (std::size_t k = 0; k < std::size(states); ++k) {
        std::ostringstream expected;
        std::ostringstream written;
        states[k](expected);
        states[k](written);
        {
            SummaryTable t(set_, s_, written, 12, layout);
            for (long row = 1; row <= 600; ++row) {
                int const precision = 1 + static_cast<int>(row % 5);
                expected << std::setw(6) << row;
                t.label(row);
                for (double v : values) {
                    expected << std::setprecision(precision) << std::setw(12) << v;
                    t.realCell(v, precision);
                }
                expected << std::setw(12) << 0LL << "\n";
                t.totalCount(0.0);
                t.endRow();
            }
            expected << "end\n";
            t.stream() << "end\n";
        }
        EXPECT_EQ(written.str(), expected.str()) << "stream state " << k;
    }
}

// A number written again right after itself, at another precision or with
// the other sign of zero, is written anew: as the stream writes each.
TEST_F(SummaryTables, RepeatedNumbersAsTheStreamWrites) {
    static SummaryTableLayout const layout{"k", "t", "h", nullptr, nullptr, "Locus#", 6, "Tot."};
    std::pair<double, int> const cells[] = {{2.5, 1}, {2.5, 3}, {2.5, 3}, {-0.0, 2}, {0.0, 2}, {0.0, 2},
                                            {-0.0, 2}, {0.1, 5}, {0.1, 4}, {0.1, 5}, {1e20, 2}, {1e20, 2}};
    std::ostringstream expected;
    std::ostringstream written;
    expected << std::fixed << std::showpoint << std::right << std::setw(6) << 1L;
    written << std::fixed << std::showpoint << std::right;
    {
        SummaryTable t(set_, s_, written, 12, layout);
        t.label(1);
        for (auto const& [v, precision] : cells) {
            expected << std::setprecision(precision) << std::setw(12) << v;
            t.realCell(v, precision);
        }
        expected << "\n";
        t.endRow();
    }
    EXPECT_EQ(written.str(), expected.str());
    EXPECT_EQ(written.precision(), expected.precision());
}

// A numbered row that repeats the cells of the row before gives the text the
// cells written anew give; where that row is not at hand (a block flushed
// between them, a write through the stream, a row with a text label, a
// stream whose numbers the table leaves to it), nothing is written and the
// cells are written as usual.
TEST_F(SummaryTables, RepeatedRowsAsTheirCellsWrittenAnew) {
    static SummaryTableLayout const layout{"k", "t", "h", nullptr, nullptr, "Locus#", 6, "Tot."};
    auto const cellsOf = [](long row) {
        // Runs of equal rows of several lengths, and a few cells per row.
        long const run = row < 300 ? row / 7 : row / 250;
        return std::vector<double>{run % 3 == 0 ? 0.0 : 1.0 / static_cast<double>(run), static_cast<double>(run % 4),
                                   0.0};
    };
    using State = void (*)(std::ostream&);
    State const states[] = {
        [](std::ostream& os) { os << std::fixed << std::showpoint << std::right; },
        [](std::ostream& os) { os << std::fixed << std::setfill('*'); },
        [](std::ostream& os) { os << std::fixed << std::showpos; },
    };
    for (std::size_t k = 0; k < std::size(states); ++k) {
        std::ostringstream expected;
        std::ostringstream written;
        states[k](expected);
        states[k](written);
        int repeated = 0;
        {
            SummaryTable t(set_, s_, written, 12, layout);
            // A text label's row is never repeated.
            expected << std::setw(6) << "Mean" << std::setprecision(5) << std::setw(12) << 0.0 << "\n";
            t.label("Mean");
            t.realCell(0.0, 5);
            t.endRow();
            EXPECT_FALSE(t.repeatRow(1));
            std::vector<double> last;
            for (long row = 1; row <= 3000; ++row) {
                std::vector<double> const cells = cellsOf(row);
                if (row == 1500) {
                    expected << "between\n";
                    t.stream() << "between\n";
                }
                expected << std::setw(6) << row;
                for (double v : cells) expected << std::setprecision(5) << std::setw(12) << v;
                expected << std::setw(12) << 3LL << "\n";
                if (cells == last && t.repeatRow(row)) {
                    ++repeated;
                    continue;
                }
                t.label(row);
                for (double v : cells) t.realCell(v, 5);
                t.totalCount(3.0);
                t.endRow();
                last = cells;
            }
        }
        EXPECT_EQ(written.str(), expected.str()) << "stream state " << k;
        EXPECT_EQ(written.precision(), expected.precision()) << "stream state " << k;
        // Most rows repeat the one before on the plain streams, none where
        // the stream formats the numbers.
        if (k < 2)
            EXPECT_GT(repeated, 2500) << "stream state " << k;
        else
            EXPECT_EQ(repeated, 0);
    }
}

TEST_F(SummaryTables, HaplotypicDnaTablesAndTheirValues) {
    Project project;
    for (char const* id : {"h1", "h2", "h3", "h4", "h5", "h6"})
        project.haplotypes.haplotypes.Add(new HaploDef(my_string(id)));
    Samples set;
    set.set_data_context(DNA, '\0');
    set.Populations.Add(dna("popA", 10, 18, 4, 3, 0.6, 0.1, {0.5, 0.2}, {2, 3}, 0.35, 0.2121, 2.5, 0.7071));
    set.Populations.Add(dna("popBB", 6, 20, 7, 5, 0.9, 0.05, {0.0, 0.6}, {1, 4}, 0.3, 0.4243, 2.5, 2.1213));
    // Locus 1: 12 A and 4 G; locus 2: only C, and missing data.
    alleles(0, {{"A", 12}, {"G", 4}});
    alleles(1, {{"C", 16}, {"?", 0}});

    set.WriteSummaryStatistics(&project, s_);

    SummaryLine const& line = set.summary_line;
    // S: the DNA samples' substitution sites.
    EXPECT_EQ(*line.s, (std::vector<double>{4, 7}));
    EXPECT_DOUBLE_EQ(*line.meanS, 5.5);
    EXPECT_NEAR(*line.sdS, sampleSd({4, 7}), 1e-12);
    // H: gene diversity of phased data; total over the one polymorphic locus:
    // 16/15 * (1 - 0.75^2 - 0.25^2) = 0.4.
    EXPECT_EQ(*line.h, (std::vector<double>{0.6, 0.9}));
    EXPECT_NEAR(*line.meanH, 0.75, 1e-12);
    EXPECT_NEAR(*line.sdH, sampleSd({0.6, 0.9}), 1e-12);
    EXPECT_NEAR(*line.totH, 0.4, 1e-12);
    // K: distinct haplotypes, their s.d. 0; the total is the project's list.
    EXPECT_EQ(*line.k, (std::vector<double>{3, 5}));
    EXPECT_EQ(*line.kSd, (std::vector<double>{0, 0}));
    EXPECT_DOUBLE_EQ(*line.meanK, 4.0);
    EXPECT_NEAR(*line.sdK, std::sqrt(2.0), 1e-12);
    EXPECT_DOUBLE_EQ(*line.totK, 6.0);
    EXPECT_EQ(set.NbHaplotypes, 6);

    std::string const text = output();
    // w = 12 (names are short), so a rule is 2 * 12 + F dashes.

    std::string const basic =
        "<A NAME=\"05_12_26at14_39_48_comp_sum_Basic\"></A>\n"
        "\n----------------\nBasic properties\n" +
        dashes(68) + r("Statistics", 20) + r("popA", 12) + r("popBB", 12) + r("Mean", 12) + r("s.d.", 12) + "\n" +
        dashes(68) +
        r("No. of gene copies", 20) + r("10", 12) + r("6", 12) + num(8, 3) + num(sampleSd({10, 6}), 3) + "\n" +
        r("No. of loci", 20) + r("20", 12) + r("20", 12) + num(20, 3) + num(0, 3) + "\n" +
        r("No. of usable loci", 20) + r("18", 12) + r("20", 12) + num(19, 3) + num(sampleSd({18, 20}), 3) + "\n" +
        r("No. of polym. loci", 20) + r("4", 12) + r("7", 12) + num(5.5, 3) + num(sampleSd({4, 7}), 3) + "\n" +
        dashes(68);
    EXPECT_NE(text.find(basic), std::string::npos) << text;

}

// The values of the four standard tables, computed before any is written,
// for unphased genotypes of standard data worked out by hand. Sample A: two
// loci with H 0.5 and 0.25 (2 and 3 alleles); sample B: one locus only
// (H 0, one allele), so the second locus is missing in B: its mean and
// s.d. are N.A. Over all samples, locus 1 holds alleles 1 (10 copies) and
// 2 (4): 14/13 * (1 - (10/14)^2 - (4/14)^2) = 40/91; locus 2 alleles 1 (5)
// and 3 (3) and the missing-data allele: 8/7 * (1 - (5/8)^2 - (3/8)^2) =
// 15/28, and 2 alleles, the missing-data one not counted.
TEST_F(SummaryTables, StandardValuesComputedBeforeWriting) {
    s_.GenotypicData = 1;
    s_.GameticPhase = 0;
    Samples set;
    set.MissingData = '?';
    PopulDNA* a = dna("A", 8, 2, 0, 0, 0.0, 0.0, {0.5, 0.25}, {2, 3}, 0.375, 0.125, 2.5, 0.5);
    PopulDNA* b = dna("B", 6, 1, 0, 0, 0.0, 0.0, {0.0}, {1}, 0.0, 0.0, 1.0, 0.0);
    a->numLoci = 2, b->numLoci = 1;
    a->numPolymorphicSites = 2, b->numPolymorphicSites = 0;
    set.Populations.Add(a);
    set.Populations.Add(b);
    alleles(0, {{"1", 10}, {"2", 4}});
    alleles(1, {{"1", 5}, {"3", 3}, {"?", 0}});

    set.set_data_context(STANDARD, '\0');
    StandardDiversityValues const v = compute_standard_diversity(set, s_, nullptr);
    EXPECT_TRUE(output().empty());  // computing writes nothing

    EXPECT_EQ(v.copies.values, (std::vector<double>{8, 6}));
    EXPECT_DOUBLE_EQ(v.copies.mean, 7);
    EXPECT_NEAR(v.copies.sd, std::sqrt(2.0), 1e-12);
    EXPECT_EQ(v.loci.values, (std::vector<double>{2, 1}));
    EXPECT_EQ(v.polymorphic.values, (std::vector<double>{2, 0}));

    ASSERT_EQ(v.het.size(), 2u);
    EXPECT_TRUE(v.het[0].meanSdKnown);
    EXPECT_DOUBLE_EQ(v.het[0].mean, 0.25);
    EXPECT_NEAR(v.het[0].sd, std::sqrt(0.125), 1e-12);
    EXPECT_NEAR(v.het[0].total, 40.0 / 91, 1e-12);
    EXPECT_FALSE(v.het[1].meanSdKnown);
    EXPECT_TRUE(std::isnan(v.het[1].values[1]));
    EXPECT_NEAR(v.het[1].total, 15.0 / 28, 1e-12);
    EXPECT_TRUE(v.hetTotals);
    EXPECT_NEAR(v.hetMean.total, (40.0 / 91 + 15.0 / 28) / 2, 1e-12);
    EXPECT_NEAR(v.hetSd.total, sampleSd({40.0 / 91, 15.0 / 28}), 1e-12);
    EXPECT_EQ(v.hetSd.values, (std::vector<double>{0.125, 0.0}));

    // Theta(H) = 1/(1 - H) - 1 under the infinite-allele model: locus 1
    // gives 1 and 0; locus 2 only A's 1/3, whose s.d. is 0.
    ASSERT_TRUE(v.theta);
    ASSERT_EQ(v.thetaRows.size(), 2u);
    EXPECT_DOUBLE_EQ(v.thetaRows[0].mean, 0.5);
    EXPECT_NEAR(v.thetaRows[0].sd, std::sqrt(0.5), 1e-12);
    EXPECT_TRUE(v.thetaRows[1].meanSdKnown);
    EXPECT_NEAR(v.thetaRows[1].mean, 1.0 / 3, 1e-12);
    EXPECT_EQ(v.thetaRows[1].sd, 0.0);
    EXPECT_NEAR(v.thetaFromMeanH.values[0], 0.6, 1e-12);  // 1/(1 - 0.375) - 1

    ASSERT_EQ(v.alleles.size(), 2u);
    EXPECT_EQ(v.totalAlleles, (std::vector<double>{2, 2}));
    EXPECT_DOUBLE_EQ(v.alleles[0].mean, 1.5);
    EXPECT_FALSE(v.alleles[1].meanSdKnown);
    EXPECT_DOUBLE_EQ(v.allelesMean.total, 2.0);
    EXPECT_EQ(v.allelesSd.total, 0.0);

    // What the statistics line takes: unphased genotypes give H and K as
    // the means over loci; K's total over all loci; no haplotype list.
    EXPECT_EQ(v.h, (std::vector<double>{0.375, 0.0}));
    EXPECT_EQ(v.hSd, (std::vector<double>{0.125, 0.0}));
    EXPECT_DOUBLE_EQ(v.meanH, 0.1875);
    EXPECT_EQ(v.k, (std::vector<double>{2.5, 1.0}));
    EXPECT_EQ(v.kSd, (std::vector<double>{0.5, 0.0}));
    EXPECT_DOUBLE_EQ(v.meanK, 1.75);
    EXPECT_NEAR(v.sdK, sampleSd({2.5, 1.0}), 1e-12);
    ASSERT_TRUE(v.totK);
    EXPECT_DOUBLE_EQ(*v.totK, 2.0);
    EXPECT_FALSE(v.haplotypeListSize);

    SummaryLine line;
    take_standard_diversity(line, v);
    EXPECT_EQ(*line.k, v.k);
    EXPECT_EQ(*line.totH, v.totH);
    EXPECT_TRUE(line.sSd && line.sSd->empty());
    EXPECT_FALSE(line.totS);  // not a value of these tables

    // The writer prints the values it is given: B's missing locus as N.A.
    write_standard_diversity(set, s_, result_, 12, v);
    std::string const text = output();
    EXPECT_NE(text.find(r("2", 6) + num(0.25, 5) + r("N.A.", 12) + r("N.A.", 12) + r("N.A.", 12) +
                        num(15.0 / 28, 5) + "\n"),
              std::string::npos)
        << text;
}

// The neutrality rows are computed before they are written: Tajima's D
// -1.5, 0.5, 1 gives mean 0 and s.d. sqrt(1.75) (hand calculation:
// squares 2.25 + 0.25 + 1 over 2); a P value not computed (-1) shows as
// N.A. and hides its row's mean; Fu's FS P value of -0.5 counts as a value
// (only -1 and below mean none).
TEST_F(SummaryTables, NeutralityRowsAndLineValuesComputedBeforeWriting) {
    s_.TaskNumber = task_tajima | task_fu_fs;
    Samples set;
    double const D[3] = {-1.5, 0.5, 1.0}, P[3] = {0.03, -1.0, 0.4}, FS[3] = {2.0, -3.0, 4.0},
                 FSP[3] = {0.5, -0.5, 0.25};
    for (int i = 0; i < 3; ++i) {
        PopulDNA* p = dna(i == 0 ? "a" : i == 1 ? "b" : "c", 10, 1, 3, 2, 0, 0, {}, {}, 0, 0, 0, 0);
        p->tajimaD = D[i];
        p->tajimaP = P[i];
        p->fuFs = FS[i];
        p->fuFsP = FSP[i];
        p->thetaPi = 1.0;
        set.Populations.Add(p);
    }
    set.set_data_context(DNA, '\0');
    NeutralityTables const t = compute_neutrality_tables(set, s_);
    EXPECT_TRUE(output().empty());
    ASSERT_TRUE(t.d && t.fs);
    EXPECT_EQ(*t.d, (std::vector<double>{-1.5, 0.5, 1.0}));
    EXPECT_DOUBLE_EQ(t.meanD, 0.0);
    EXPECT_NEAR(t.sdD, std::sqrt(1.75), 1e-12);
    EXPECT_NEAR(t.meanFS, 1.0, 1e-12);
    EXPECT_NEAR(t.sdFS, std::sqrt(13.0), 1e-12);  // (1 + 16 + 9) / 2

    auto row = [&t](char const* label) -> NeutralityRow const* {
        for (NeutralityPiece const& p : t.pieces)
            if (p.what == NeutralityPiece::What::row && p.row.label == label) return &p.row;
        return nullptr;
    };
    NeutralityRow const* p = row("Tajima's D p-value");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->missing, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(p->hide);
    NeutralityRow const* fsp = row("FS p-value");
    ASSERT_NE(fsp, nullptr);
    EXPECT_EQ(fsp->missing, (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(fsp->hide);
    EXPECT_NEAR(fsp->mean, 0.25 / 3, 1e-12);
    EXPECT_EQ(row("Observed F value"), nullptr);  // the Ewens-Watterson test was not asked

    SummaryLine line;
    take_neutrality_line(line, t);
    EXPECT_EQ(*line.fs, *t.fs);
    EXPECT_TRUE(line.dSd && line.dSd->empty());

    // Microsatellite data have neither block.
    set.set_data_context(MICROSAT, '\0');
    NeutralityTables const none = compute_neutrality_tables(set, s_);
    EXPECT_TRUE(none.pieces.empty());
    EXPECT_FALSE(none.d);
}

// The microsatellite tables' values, worked out by hand. Sample A: size
// ranges 4 and 2 (sizes 106..110, 48..50), Garza-Williamson indices 0.6
// and 1; sample B: ranges 6 and 0 (106..112, 47), indices 0.5 and 1. The
// pooled ranges are 112 - 106 = 6 and 50 - 47 = 3; with 4 and 3 alleles in
// all, the pooled index is (4/7 + 3/4) / 2 = 37/56. The modified index
// scales each index by (range + 1) / (pooled range + 1): A 3/7 and 3/4, B
// 1/2 and 1/4.
TEST_F(SummaryTables, MicrosatelliteValuesComputedBeforeWriting) {
    Samples set;
    PopulDNA* a = dna("A", 10, 2, 0, 0, 0, 0, {}, {}, 0, 0, 0, 0);
    PopulDNA* b = dna("B", 10, 2, 0, 0, 0, 0, {}, {}, 0, 0, 0, 0);
    fill(a->locusAllelicRange, {4, 2});
    fill(a->locusMinAlleleSize, {106, 48});
    fill(a->locusMaxAlleleSize, {110, 50});
    fill(a->locusGarzaWilliamson, {0.6, 1.0});
    fill(b->locusAllelicRange, {6, 0});
    fill(b->locusMinAlleleSize, {106, 47});
    fill(b->locusMaxAlleleSize, {112, 47});
    fill(b->locusGarzaWilliamson, {0.5, 1.0});
    a->meanAllelicRange = 3, b->meanAllelicRange = 3;
    a->meanGW = 0.8, b->meanGW = 0.75;
    set.Populations.Add(a);
    set.Populations.Add(b);

    MicrosatSummaryValues const v = compute_microsat_summary(set, {4, 3});
    EXPECT_TRUE(output().empty());
    ASSERT_EQ(v.range.size(), 2u);
    EXPECT_EQ(v.range[0].values, (std::vector<double>{4, 6}));
    EXPECT_DOUBLE_EQ(v.range[0].mean, 5);
    EXPECT_NEAR(v.range[0].sd, std::sqrt(2.0), 1e-12);
    EXPECT_EQ(v.range[0].total, 6);
    EXPECT_EQ(v.range[1].total, 3);
    EXPECT_DOUBLE_EQ(v.rangeMean.total, 4.5);
    EXPECT_NEAR(v.rangeSd.total, std::sqrt(4.5), 1e-12);
    EXPECT_NEAR(v.totGW, 37.0 / 56, 1e-12);
    EXPECT_NEAR(v.gwMean.mean, 0.775, 1e-12);

    ASSERT_EQ(v.ngw.size(), 2u);
    EXPECT_NEAR(v.ngw[0].values[0], 3.0 / 7, 1e-12);
    EXPECT_NEAR(v.ngw[0].values[1], 0.5, 1e-12);
    EXPECT_NEAR(v.ngw[1].values[0], 0.75, 1e-12);
    EXPECT_NEAR(v.ngw[1].values[1], 0.25, 1e-12);
    EXPECT_NEAR(v.ngwMean.values[0], 33.0 / 56, 1e-12);
    EXPECT_NEAR(v.ngwMean.values[1], 0.375, 1e-12);
    EXPECT_NEAR(v.ngwSd.values[0], 9.0 / 28 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(v.ngwSd.values[1], 0.25 / std::sqrt(2.0), 1e-12);
    // The samples keep their mean modified index.
    EXPECT_NEAR(a->meanModifiedGW, 33.0 / 56, 1e-12);
    EXPECT_NEAR(b->meanModifiedGWSd, 0.25 / std::sqrt(2.0), 1e-12);

    SummaryLine line;
    take_microsat_summary(line, v);
    EXPECT_EQ(*line.r, (std::vector<double>{3, 3}));
    EXPECT_DOUBLE_EQ(*line.totR, 4.5);
    EXPECT_NEAR(*line.meanNGW, (33.0 / 56 + 0.375) / 2, 1e-12);
    EXPECT_NEAR(*line.totGW, 37.0 / 56, 1e-12);
}

// The molecular diversity table's values, computed before it is written:
// DNA counts per sample with their means (transitions 3 and 5: mean 4, s.d.
// sqrt 2), Pi 1.5 and 2.5 for the line, and Theta_S not computed in one
// sample (-1): N.A. there, and N.A. for its mean and s.d.; RFLP data give
// Pi to the line but no count rows.
TEST_F(SummaryTables, MolecularValuesComputedBeforeWriting) {
    s_.ComputeTheta = 2;  // Theta_S and its s.d. only
    Samples set;
    PopulDNA* a = dna("A", 10, 20, 4, 3, 0, 0, {}, {}, 0, 0, 0, 0);
    PopulDNA* b = dna("B", 8, 20, 6, 4, 0, 0, {}, {}, 0, 0, 0, 0);
    a->numTransitions = 3, b->numTransitions = 5;
    a->numIndelSites = 1, b->numIndelSites = 0;
    a->meanPairwiseDiff = 1.5, b->meanPairwiseDiff = 2.5;
    a->thetaS = 1.2, b->thetaS = -1.0;
    set.Populations.Add(a);
    set.Populations.Add(b);

    set.set_data_context(DNA, '\0');
    MolecularDiversityValues const v = compute_molecular_diversity(set, s_);
    EXPECT_TRUE(output().empty());
    ASSERT_TRUE(v.dnaRows);
    ASSERT_EQ(v.counts.size(), 7u);
    EXPECT_EQ(v.counts[0].values, (std::vector<double>{3, 5}));
    EXPECT_DOUBLE_EQ(v.counts[0].mean, 4);
    EXPECT_NEAR(v.counts[0].sd, std::sqrt(2.0), 1e-12);
    EXPECT_EQ(v.counts[6].values, (std::vector<double>{4, 6}));  // substitution sites
    EXPECT_EQ(v.indelSites.values, (std::vector<double>{1, 0}));
    EXPECT_DOUBLE_EQ(v.pi.mean, 2.0);
    EXPECT_FALSE(v.pooledSites);  // no list of polymorphic sites
    ASSERT_EQ(v.theta.size(), 2u);  // Theta_S and its s.d., not computed in either sample
    EXPECT_STREQ(v.theta[0].label, "Theta_S");
    EXPECT_EQ(v.theta[1].missing, (std::vector<bool>{true, true}));
    EXPECT_EQ(v.theta[0].missing, (std::vector<bool>{false, true}));
    EXPECT_FALSE(v.theta[0].row.meanSdKnown);

    SummaryLine line;
    take_molecular_diversity(line, v);
    EXPECT_EQ(*line.pi, (std::vector<double>{1.5, 2.5}));
    EXPECT_NEAR(*line.sdPi, std::sqrt(0.5), 1e-12);
    EXPECT_EQ(*line.privS, v.privateSites.values);
    EXPECT_FALSE(line.totS);

    write_molecular_diversity(set, s_, result_, 12, v);
    std::string const text = output();
    EXPECT_NE(text.find(r("Theta_S", 25) + num(1.2, 5) + r("N.A.", 12) + r("N.A.", 12) + r("N.A.", 12) + "\n"),
              std::string::npos)
        << text;

    set.set_data_context(RFLP, '\0');
    MolecularDiversityValues const rflp = compute_molecular_diversity(set, s_);
    EXPECT_FALSE(rflp.dnaRows);
    EXPECT_TRUE(rflp.piOnLine);
    EXPECT_TRUE(rflp.counts.empty());
}

}  // namespace
}  // namespace quintle
