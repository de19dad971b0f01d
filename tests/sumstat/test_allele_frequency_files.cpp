// The allele-frequency tables on frequencies set by hand: byte order of the
// alleles, the two number formats, the sample key and the open modes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "allele_tables_fixture.h"

namespace quintle {
namespace {

using namespace testing_support;

class AlleleFrequencyFiles : public AlleleTablesFixture {};

TEST_F(AlleleFrequencyFiles, AllelesInByteOrderWithBothNumberFormats) {
    sample("north", 3);
    sample("south", 4);
    // Met in the order T, A, G; G is absent from the first sample, A from
    // the second.
    allele(0, "T", {1.0 / 3.0, 0.25});
    allele(0, "A", {2.0 / 3.0, 0.0});
    allele(0, "G", {0.0, 0.75});
    // A locus that no sample gave an allele: its file has the header only.
    PopGenetics::globalAllelicDB.loci.Add(new TLocus(my_string("empty")));

    set_.computeAndOutputAlleFreqPerPop(s_);

    EXPECT_EQ(file("PopNames.txt"), "Pop_1\tnorth\nPop_2\tsouth\n");
    EXPECT_EQ(file("AllFreqLocus_1.txt"),
              "      Allele       Pop_1       Pop_2\n"
              "           A     0.66667     0.00000\n"
              "           G     0.00000     0.75000\n"
              "           T     0.33333     0.25000\n");
    EXPECT_EQ(file("AllFreqLocus_2.txt"), "      Allele       Pop_1       Pop_2\n");
    EXPECT_EQ(file("AllAlleleFreqs.txt"),
              "Locus_1\tA\t0.66667\t0\t\n"
              "Locus_1\tG\t0\t0.75\t\n"
              "Locus_1\tT\t0.33333\t0.25\t\n");
    EXPECT_EQ(global_names(0), (std::vector<std::string>{"A", "G", "T"})) << "the list stays sorted";
}

TEST_F(AlleleFrequencyFiles, ByteOrderPutsLongerNumbersBeforeShorterOnes) {
    sample("only", 2);
    for (char const* name : {"98", "120", "?", "1", "10"}) allele(0, name, {0.2});
    set_.computeAndOutputAlleFreqPerPop(s_);
    EXPECT_EQ(global_names(0), (std::vector<std::string>{"1", "10", "120", "98", "?"}));
}

TEST_F(AlleleFrequencyFiles, RunFileFlagAppendsTheTablesButNeverTheKey) {
    sample("north", 2);
    allele(0, "A", {1.0});
    std::string const line = "Locus_1\tA\t1\t\n";
    std::string const header = "      Allele       Pop_1\n";
    std::string const row = "           A     1.00000\n";
    for (int flag : {0, 1}) {
        s_.RunFileFlag = flag;
        std::filesystem::remove(dir_ / "AllAlleleFreqs.txt");
        std::filesystem::remove(dir_ / "AllFreqLocus_1.txt");
        set_.computeAndOutputAlleFreqPerPop(s_);
        set_.computeAndOutputAlleFreqPerPop(s_);
        std::string const once = flag != 0 ? line + line : line;
        EXPECT_EQ(file("AllAlleleFreqs.txt"), once) << "flag " << flag;
        EXPECT_EQ(file("AllFreqLocus_1.txt"), flag != 0 ? header + row + header + row : header + row);
        EXPECT_EQ(file("PopNames.txt"), "Pop_1\tnorth\n");
    }
}

}  // namespace
}  // namespace quintle
