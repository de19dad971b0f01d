// Data that once gave a wrong value under "Successful run": the real program
// on small projects either computes the right value or fails the project
// with the reason in its log.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

long count(std::string const& text, std::string const& part) {
    long n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class WrongValues : public ::testing::Test {
protected:
    // Runs the program on `project` with the settings lines `settings` and
    // the statistics list `ssdefs`; the statistics file starts empty.
    void run(std::string const& project, std::string const& settings, std::string const& ssdefs) {
        fs::remove_all(work / "p.res");
        write_file(work / "p.pmp", project);
        write_file(work / "pml_run.pms", "[Setting for Calculations]\nXMLOutput=0\n" + settings);
        write_file(work / "ssdefs.txt", ssdefs);
        write_file(work / "stats.txt", "");
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=7 timeout 120 '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 1 0 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_file(work / "console.txt");
    }

    std::string log() const { return read_file(work / "p.res" / "Pellomar_log.txt"); }
    std::string result() const { return read_file(work / "p.res" / "p.htm"); }
    std::string stats() const { return read_file(work / "stats.txt"); }
    bool succeeded() const { return has(log(), "Successful run of p.pmp\n"); }
    bool failed() const { return has(log(), "Error during run of p.pmp\n"); }

    scratch::Dir dir{"quintle_wrong_values"};
    fs::path work = dir.path();
};

std::string profile(char const* type, int samples, char const* separator = "NONE") {
    return std::string("[Profile]\n  Title=\"t\"\n  NbSamples=") + std::to_string(samples) + "\n  DataType=" + type +
           "\n  GenotypicData=0\n  LocusSeparator=" + separator + "\n  MissingData='?'\n[Data]\n  [[Samples]]\n";
}

// A haplotype listed twice in a sample is one haplotype of 10 copies: K = 1,
// H = 0 (not K = 2, H = 10/9 (1 - 0.6^2 - 0.4^2) = 0.533), for frequency data
// and for sequences. One warning per sample.
TEST_F(WrongValues, RepeatedHaplotypeIsOneHaplotype) {
    for (char const* type : {"FREQUENCY", "DNA"}) {
        SCOPED_TRACE(type);
        bool const dna = std::string(type) == "DNA";
        std::string const project = profile(type, 1) +
                                    "    SampleName=\"A\"\n    SampleSize=10\n    SampleData={\n      t1 6" +
                                    (dna ? " ACGT" : "") + "\n      t1 4\n    }\n";
        run(project, "TaskNumber=1\n", "POP_LEVEL\nALL_K ALL_H\n");
        EXPECT_TRUE(succeeded()) << log();
        EXPECT_EQ(stats(), "1\t0\t\n");
        EXPECT_EQ(count(log(), "sample \"A\")\" : data already defined"), 1) << log();
    }
}

// Microsatellite sizes that are not integers of the int range fail the
// project in both readers (ERROR 27), instead of a range taken from a size
// clamped to 2147483647. The largest int is still a size.
TEST_F(WrongValues, MicrosatelliteSizesBeyondAnIntAreRefused) {
    auto haplotypic = [](std::string const& size) {
        return profile("MICROSAT", 1, "WHITESPACE") + "    SampleName=\"M\"\n    SampleSize=2\n    SampleData={\n      m1 1 " + size +
               " 100\n      m2 1 100 100\n    }\n";
    };
    auto genotypic = [](std::string const& size) {
        return std::string("[Profile]\n  Title=\"t\"\n  NbSamples=1\n  DataType=MICROSAT\n  GenotypicData=1\n"
                           "  GameticPhase=0\n  LocusSeparator=WHITESPACE\n  MissingData='?'\n[Data]\n  [[Samples]]\n"
                           "    SampleName=\"M\"\n    SampleSize=2\n    SampleData={\n      i1 1 ") +
               size + " 100\n           100 100\n      i2 1 100 100\n           100 102\n    }\n";
    };
    struct Case {
        char const* name;
        std::string project;
        char const* logged;
    };
    Case const refused[] = {
        {"haplotypic 3000000000", haplotypic("3000000000"), "from function \"HaploDef::read_data()\""},
        {"haplotypic 2^63", haplotypic("9223372036854775808"), "from function \"HaploDef::read_data()\""},
        {"genotypic 120.5", genotypic("120.5"), "\tInvalid microsatellite allele size in genotype \"i1\" on line "},
        {"genotypic 3000000000", genotypic("3000000000"),
         "from function \"Population::New_read_genotypic_data()\" : invalid MICROSAT data"},
    };
    for (Case const& c : refused) {
        SCOPED_TRACE(c.name);
        run(c.project, "TaskNumber=1\n", "POP_LEVEL\nALL_RANGE\n");
        EXPECT_TRUE(failed()) << log();
        EXPECT_TRUE(has(log(), ": invalid MICROSAT data\n")) << log();
        EXPECT_TRUE(has(log(), c.logged)) << log();
        EXPECT_EQ(stats(), "");
    }
    // The mean range of the two loci: (2147483647 - 100 + 102 - 100) / 2.
    run(genotypic("2147483647"), "TaskNumber=1\n", "POP_LEVEL\nALL_RANGE\n");
    EXPECT_TRUE(succeeded()) << log();
    EXPECT_EQ(stats(), "1.07374e+09\t\n");
}

// Samples whose every site is a deletion, or lacks data in too many copies,
// have no usable site: said once, what compares sites is skipped (not one
// ERROR per section and per simulated replicate under "Successful run"); a
// project of such samples fails only when nothing at all can be analysed.
TEST_F(WrongValues, SamplesWithoutUsableSites) {
    std::string const tasks = "TaskNumber=16455\nNumSimulFuTest=20\nNumBootExpDem=5\nMismatchDemogExp=1\n"
                              "ComputeTheta=15\nDeletionWeight=1\nTransitionWeight=1\nTranversionWeight=1\n";
    for (char const* type : {"RFLP", "DNA"}) {
        SCOPED_TRACE(type);
        bool const dna = std::string(type) == "DNA";
        std::string const sample_b = std::string("    SampleName=\"B\"\n    SampleSize=4\n    SampleData={\n      r3 2 ") +
                                     (dna ? "ACGT" : "0101") + "\n      r4 2 " + (dna ? "ACTT" : "0111") + "\n    }\n";
        std::string const deletions = profile(type, 2) +
                                      "    SampleName=\"A\"\n    SampleSize=4\n    SampleData={\n      r1 2 ----\n"
                                      "      r2 2 --?-\n    }\n";
        run(deletions + sample_b, tasks, "POP_LEVEL\nALL_K\n");
        EXPECT_TRUE(succeeded()) << log();
        EXPECT_EQ(count(log(), "#[ERROR"), 0) << log();
        EXPECT_EQ(count(log(), "(sample \"A\": no usable site)\" : distance matrix could not be computed"), 1) << log();
        EXPECT_EQ(count(log(), "\" has no usable site: at every site its copies are deletions or too many are missing "
                               "data;"),
                  1)
            << log();
        EXPECT_TRUE(has(result(), "No usable site in this sample: at every site its copies are deletions")) << log();
        EXPECT_EQ(stats(), "2\t2\t\n");
        // The replicates of B's Fu test without diversity are told once.
        EXPECT_LE(count(log(), "No molecular diversity within a sample while performing Fu's test"), 1) << log();

        // Both samples without a site (B's copies each miss half of the
        // sites): K is still computed, the rest is dropped; asked for
        // nothing else, the project fails.
        std::string const none = deletions + "    SampleName=\"B\"\n    SampleSize=2\n    SampleData={\n      r3 1 " +
                                 (dna ? "A?C?" : "0?1?") + "\n      r4 1 " + (dna ? "?C?A" : "?1?0") + "\n    }\n";
        run(none, tasks, "POP_LEVEL\nALL_K\n");
        EXPECT_TRUE(succeeded()) << log();
        EXPECT_EQ(count(log(), "#[ERROR"), 0) << log();
        EXPECT_EQ(count(log(), "has no usable site"), 2) << log();
        EXPECT_TRUE(has(log(), "   !!!No sample has a usable site: at every site the copies are deletions or too many "
                               "are\n      missing data, the analyses that compare sites are skipped.\n"))
            << log();
        EXPECT_EQ(stats(), "2\t2\t\n");
        run(none, "TaskNumber=16450\nNumSimulFuTest=20\n", "POP_LEVEL\nALL_K\n");
        EXPECT_TRUE(failed()) << log();
        EXPECT_TRUE(has(log(), "\"Project::make_run_possible()\" : project contains invalid data after check\n"))
            << log();
    }
}

// A project file that ends inside its second sample (after its name, its
// size and a stray word) is not a project of one sample.
TEST_F(WrongValues, ProjectEndingInsideASampleFails) {
    std::string const project = profile("DNA", 2) +
                                "    SampleName=\"A\"\n    SampleSize=2\n    SampleData={\n      h1 2 ACGT\n    }\n"
                                "    SampleName=\"B\"\n    SampleSize=10\n    stray\n";
    run(project, "TaskNumber=1\n", "POP_LEVEL\nALL_K\n");
    EXPECT_TRUE(failed()) << log();
    EXPECT_TRUE(has(log(), "\tSample \"B\" named on line 15 has no data: the end of the project file comes before its "
                           "SampleData line. Aborting reading project.\n"))
        << log();
    EXPECT_EQ(stats(), "");
}

// A Mantel test whose Y is constant (log FSTs of samples that do not differ)
// has no correlation to test: no P value of 1 for a correlation of -nan, but
// one WARNING saying why.
TEST_F(WrongValues, MantelTestOfAConstantYHasNoPValue) {
    fs::path const data = fs::path(QUINTLE_TEST_DATA_DIR);
    run(read_file(data / "hardening" / "mantel_identical_samples.pmp"),
        "TaskNumber=66560\nNumPermMantel=100\n" + read_file(data / "pairwise" / "pairwise.pms"), "POP_LEVEL\n");
    EXPECT_TRUE(succeeded()) << log();
    std::string const text = result();
    std::size_t const section = text.find("== MATRIX CORRELATION ANALYSIS (MANTEL TESTS)");
    ASSERT_NE(section, std::string::npos) << text;
    EXPECT_TRUE(has(text.substr(section), "Sums of squares Y                  : 0.000000")) << text;
    EXPECT_FALSE(has(text.substr(section), "P(rY1 rand >= rY1 obs)")) << text;
    EXPECT_EQ(count(log(), "from function \"Mantel::do_mantel_test() (Y is constant: no P value for rY1)\" : "
                           "numerical error\n"),
              1)
        << log();
}

}  // namespace
}  // namespace quintle
