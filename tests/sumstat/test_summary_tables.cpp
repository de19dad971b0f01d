// The summary section's frame and its standard diversity tables, on sample
// sets whose results are set by hand: the values copied into SumStat and
// excerpts of the table text.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "data/HaploDef.h"
#include "datatypes/PopulMicrosat.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "run/ProfileSettings.h"
#include "summary_fixture.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

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
        PopGenetics::globalAllelicDB.destroy();
        SumStat.resetComputationFlags();
    }
    void TearDown() override {
        SummaryFixture::TearDown();
        PopGenetics::globalAllelicDB.destroy();
        SumStat.resetComputationFlags();
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
        p->geneDiversity = gd;
        p->geneDiversitySd = gdSd;
        fill(p->locusExpHet, het);
        fill(p->locusNumAlleles, numAlleles);
        p->meanHet = meanHet;
        p->meanHetSd = meanHetSd;
        p->meanNumAlleles = meanAlleles;
        p->meanNumAllelesSd = meanAllelesSd;
        return p;
    }

    // Two DNA samples of haplotypic data, two locus rows.
    void buildDnaPair(Samples& set) {
        ProfileSettings::DataType = DNA;
        set.Populations.Add(dna("popA", 10, 18, 4, 3, 0.6, 0.1, {0.5, 0.2}, {2, 3}, 0.35, 0.2121, 2.5, 0.7071));
        set.Populations.Add(dna("popBB", 6, 20, 7, 5, 0.9, 0.05, {0.0, 0.6}, {1, 4}, 0.3, 0.4243, 2.5, 2.1213));
        // Locus 1: 12 A and 4 G; locus 2: only C, and missing data.
        alleles(0, {{"A", 12}, {"G", 4}});
        alleles(1, {{"C", 16}, {"?", 0}});
    }
};

TEST_F(SummaryTables, HaplotypicDnaTablesAndTheirValues) {
    Project project;
    for (char const* id : {"h1", "h2", "h3", "h4", "h5", "h6"})
        project.haplotypes.haplotypes.Add(new HaploDef(my_string(id)));
    Samples set;
    buildDnaPair(set);
    SumStat.checkForStat(my_string("MEAN_S SD_S MEAN_H SD_H TOT_H MEAN_K SD_K TOT_K"));

    set.WriteSummaryStatistics(&project, s_);

    // S: the DNA samples' substitution sites.
    EXPECT_EQ(values_of(SumStat.sValues), (std::vector<double>{4, 7}));
    EXPECT_EQ(SumStat.sSdValues.count, 0);
    EXPECT_DOUBLE_EQ(SumStat.meanS, 5.5);
    EXPECT_NEAR(SumStat.sdS, sampleSd({4, 7}), 1e-12);
    // H: gene diversity of phased data; total over the one polymorphic locus:
    // 16/15 * (1 - 0.75^2 - 0.25^2) = 0.4.
    EXPECT_EQ(values_of(SumStat.hValues), (std::vector<double>{0.6, 0.9}));
    EXPECT_EQ(values_of(SumStat.hSdValues), (std::vector<double>{0.1, 0.05}));
    EXPECT_NEAR(SumStat.meanH, 0.75, 1e-12);
    EXPECT_NEAR(SumStat.sdH, sampleSd({0.6, 0.9}), 1e-12);
    EXPECT_NEAR(SumStat.totH, 0.4, 1e-12);
    // K: distinct haplotypes, their s.d. 0; the total is the project's list.
    EXPECT_EQ(values_of(SumStat.kValues), (std::vector<double>{3, 5}));
    EXPECT_EQ(values_of(SumStat.kSdValues), (std::vector<double>{0, 0}));
    EXPECT_DOUBLE_EQ(SumStat.meanK, 4.0);
    EXPECT_NEAR(SumStat.sdK, std::sqrt(2.0), 1e-12);
    EXPECT_DOUBLE_EQ(SumStat.totK, 6.0);
    EXPECT_EQ(set.NbHaplotypes, 6);

    std::string const text = output();

    // w = 12 (names are short), so a rule is 2 * 12 + F dashes.
    std::string const banner = "\n\n" + std::string(80, '=') + "\n== Summary of computations done within populations\n" +
                               std::string(80, '=') + "\n";
    EXPECT_EQ(text.rfind(banner, 0), 0u) << text;

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

    // Locus 2 is monomorphic in all: its total 0 is shown but left out of
    // the total's mean and s.d.
    std::string const het =
        "\n-----------------------\nExpected heterozygosity\n" + dashes(66) + r("Locus#", 6) + r("popA", 12) +
        r("popBB", 12) + r("Mean", 12) + r("s.d.", 12) + r("Tot. Het.", 12) + "\n" + dashes(66) +
        r("1", 6) + num(0.5, 5) + num(0.0, 5) + num(0.25, 5) + num(sampleSd({0.5, 0.0}), 5) + num(0.4, 5) + "\n" +
        r("2", 6) + num(0.2, 5) + num(0.6, 5) + num(0.4, 5) + num(sampleSd({0.2, 0.6}), 5) + num(0.0, 5) + "\n" +
        dashes(66) +
        r("Mean", 6) + num(0.35, 5) + num(0.3, 5) + num(0.325, 5) + num(sampleSd({0.35, 0.3}), 5) + num(0.4, 5) + "\n" +
        r("s.d.", 6) + num(0.2121, 5) + num(0.4243, 5) + num(0.3182, 5) + num(sampleSd({0.2121, 0.4243}), 5) +
        num(0.0, 5) + "\n" + dashes(66);
    EXPECT_NE(text.find(het), std::string::npos) << text;

    // Locus 2's missing-data allele does not count. The s.d. of the totals
    // of DNA data runs over the loci with two alleles or more (one: 0).
    std::string const numAll =
        "\n-----------------\nNumber of alleles\n" + dashes(66) + r("Locus#", 6) + r("popA", 12) + r("popBB", 12) +
        r("Mean", 12) + r("s.d.", 12) + r("Tot. number", 12) + "\n" + dashes(66) +
        r("1", 6) + r("2", 12) + r("1", 12) + num(1.5, 3) + num(sampleSd({2, 1}), 3) + r("2", 12) + "\n" +
        r("2", 6) + r("3", 12) + r("4", 12) + num(3.5, 3) + num(sampleSd({3, 4}), 3) + r("1", 12) + "\n" +
        dashes(66) +
        r("Mean", 6) + num(2.5, 3) + num(2.5, 3) + num(2.5, 3) + num(0, 3) + num(1.5, 3) + "\n" +
        r("s.d.", 6) + num(0.7071, 3) + num(2.1213, 3) + num(1.4142, 3) + num(sampleSd({0.7071, 2.1213}), 3) +
        num(0, 3) + "\n" + dashes(66);
    EXPECT_NE(text.find(numAll), std::string::npos) << text;

    // No Theta(H) table for DNA data.
    EXPECT_EQ(text.find("Theta(H)"), std::string::npos);

    // Menu: one folder for the section, one document per table.
    std::string const menu = slurp(dir_ / "menu.js");
    EXPECT_EQ(menu.rfind("\t\taux2 = insFld(aux1, gFld(\"Within-samples summary\", \"\"))\n", 0), 0u) << menu;
    EXPECT_NE(menu.find("\t\tinsDoc(aux2, gLnk(\"R\", \"Heterozygosity\", \"res.htm#05_12_26at14_39_48_comp_sum_het\"))\n"),
              std::string::npos)
        << menu;
}

TEST_F(SummaryTables, UnphasedMicrosatellitesStoreMeansOverLociAndWriteThetaH) {
    ProfileSettings::DataType = MICROSAT;
    s_.GenotypicData = 1;
    s_.GameticPhase = 0;
    Samples set;
    auto* x = new PopulMicrosat();
    x->name = "X";
    fill(x->locusExpHet, {0.5, 0.0, 1.0});
    fill(x->locusNumAlleles, {2, 1, 4});
    x->meanHet = 1.0;  // gives the 9999 of "Theta from Mean H"
    x->meanHetSd = 0.5;
    x->meanNumAlleles = 7.0 / 3.0;
    x->meanNumAllelesSd = 1.5275;
    x->geneDiversity = 0.77;  // not used for unphased data
    x->NbHaplotypeEntries = 9;
    auto* y = new PopulMicrosat();
    y->name = "Y";
    fill(y->locusExpHet, {0.75, 0.2, 0.5});
    fill(y->locusNumAlleles, {3, 2, 2});
    y->meanHet = 0.75;
    y->meanHetSd = 0.25;
    y->meanNumAlleles = 7.0 / 3.0;
    y->meanNumAllelesSd = 0.57735;
    set.Populations.Add(x);
    set.Populations.Add(y);
    alleles(0, {{"10", 3}, {"12", 3}, {"14", 2}});
    alleles(1, {{"20", 8}});
    alleles(2, {{"30", 4}, {"?1", 1}, {"32", 3}});
    SumStat.checkForStat(my_string("MEAN_H SD_H MEAN_K SD_K TOT_K"));
    fill(SumStat.gwValues, {42});  // another table's values stay

    set.WriteSummaryStatistics(nullptr, s_);

    EXPECT_EQ(values_of(SumStat.hValues), (std::vector<double>{1.0, 0.75}));
    EXPECT_EQ(values_of(SumStat.hSdValues), (std::vector<double>{0.5, 0.25}));
    EXPECT_NEAR(SumStat.meanH, 0.875, 1e-12);
    EXPECT_NEAR(SumStat.sdH, sampleSd({1.0, 0.75}), 1e-12);
    EXPECT_EQ(values_of(SumStat.kValues), (std::vector<double>{7.0 / 3.0, 7.0 / 3.0}));
    EXPECT_EQ(values_of(SumStat.kSdValues), (std::vector<double>{1.5275, 0.57735}));
    EXPECT_NEAR(SumStat.meanK, 7.0 / 3.0, 1e-12);
    EXPECT_EQ(SumStat.sdK, 0.0);
    // Totals 3, 1 and 2 (the "?1" allele of locus 3 set aside), averaged
    // over all three loci for non-DNA data.
    EXPECT_NEAR(SumStat.totK, 2.0, 1e-12);

    std::string const text = output();
    // theta = (1 / (1 - H)^2 - 1) / 2, "N.A." for H = 0 or 1; Mean and s.d.
    // over the samples that gave a value.
    auto theta = [](double H) { return (1.0 / ((1.0 - H) * (1.0 - H)) - 1.0) / 2.0; };
    std::string const thetaH =
        "\n------------------------------------------\nTheta(H) under the stepwise mutation model\n" + dashes(54) +
        r("Locus#", 6) + r("X", 12) + r("Y", 12) + r("Mean", 12) + r("s.d.", 12) + "\n" + dashes(54) +
        r("1", 6) + num(1.5, 5) + num(7.5, 5) + num(4.5, 5) + num(sampleSd({1.5, 7.5}), 5) + "\n" +
        r("2", 6) + r("N.A.", 12) + num(theta(0.2), 5) + num(theta(0.2), 5) + num(0, 5) + "\n" +
        r("3", 6) + r("N.A.", 12) + num(1.5, 5) + num(1.5, 5) + num(0, 5) + "\n" + dashes(54) +
        "Theta from\nMean H" + num(9999, 5) + num(7.5, 5) + num((9999 + 7.5) / 2, 5) + num(sampleSd({9999, 7.5}), 5) +
        "\n" + dashes(54);
    EXPECT_NE(text.find(thetaH), std::string::npos) << text;
}

TEST_F(SummaryTables, SectionGateAndSkippedTablesLeaveEarlierValues) {
    Samples set;
    buildDnaPair(set);
    fill(SumStat.kValues, {11, 12});
    fill(SumStat.sValues, {13});
    SumStat.checkForStat(my_string("MEAN_K"));
    SumStat.meanK = 77;

    // AMOVA and pairwise distances alone open no section.
    s_.TaskNumber = 512 | 1024;
    set.WriteSummaryStatistics(nullptr, s_);
    EXPECT_EQ(output(), "");
    EXPECT_FALSE(fs::exists(dir_ / "menu.js"));

    // An empty set writes nothing either.
    Samples none;
    s_.TaskNumber = 1;
    none.WriteSummaryStatistics(nullptr, s_);
    EXPECT_EQ(output(), "");

    // Recessive alleles remove the standard block: banner only, values kept.
    s_.RecessiveAllelesEM = 1;
    set.GroupLevel = true;
    set.WriteSummaryStatistics(nullptr, s_);
    std::string const eq(80, '=');
    EXPECT_EQ(output(), "\n\n" + eq + "\n== Summary of computations done within groups\n" + eq + "\n");
    EXPECT_EQ(slurp(dir_ / "menu.js"), "\t\taux2 = insFld(aux1, gFld(\"Within-groups summary\", \"\"))\n");
    EXPECT_EQ(values_of(SumStat.kValues), (std::vector<double>{11, 12}));
    EXPECT_EQ(values_of(SumStat.sValues), (std::vector<double>{13}));
    EXPECT_EQ(SumStat.meanK, 77);
}

TEST_F(SummaryTables, XmlFormWrapsTaggedTablesAndLongNamesWidenColumns) {
    xmlOutput = true;
    Samples set;
    buildDnaPair(set);
    set.Populations.data[1]->name = "a_name_of_20_chars__";
    set.GroupLevel = true;
    set.WriteSummaryStatistics(nullptr, s_);
    std::string const text = output();

    // w = 22, so the heterozygosity rule is 2 * 22 + 42 dashes.
    std::string const open = "\nExpected heterozygosity</data> <sumExpHeterozygosity samp=\"heteroz\" time=\"" +
                             std::string(TXmlTag::time.c_str()) + "\">\n" + dashes(86) + r("Locus#", 6) +
                             r("popA", 22) + r("a_name_of_20_chars__", 22);
    EXPECT_NE(text.find(open), std::string::npos) << text;
    EXPECT_NE(text.find(dashes(86) + "</sumExpHeterozygosity> <data>\n\n"), std::string::npos) << text;
    // The untagged table has no element; anchors name the group pass.
    EXPECT_NE(text.find("Basic properties\n" + dashes(88)), std::string::npos) << text;
    EXPECT_NE(text.find("<A NAME=\"05_12_26at14_39_48_gr_comp_sum_numAll\"></A>"), std::string::npos) << text;
}

}  // namespace
}  // namespace quintle
