// The allele-frequency files and site frequency spectra end to end: the real
// program on the small projects of tests/data/sfs, every file it writes
// compared with the expected files that tests/data/sfs/expected_spectra.py
// computed from the project files with numpy (recorded in the
// expected_*.txt bundles beside it).

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "sfs";
using Files = std::map<std::string, std::string>;

// Path (relative to the run's folder) -> content, from a bundle whose
// files each follow a line "#### <path>".
Files read_bundle(std::string const& name) {
    Files files;
    std::istringstream in(read_file(data_dir / name));
    std::string line;
    std::string* current = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("#### ", 0) == 0) {
            current = &files[line.substr(5)];
        } else if (current != nullptr) {
            *current += line + "\n";
        }
    }
    return files;
}

bool is_table_or_spectrum(fs::path const& p) {
    std::string const name = p.filename().string();
    return p.extension() == ".obs" || name == "PopNames.txt" || name == "AllAlleleFreqs.txt" ||
           name.rfind("AllFreqLocus_", 0) == 0;
}

// Every allele-frequency table and spectrum under the folder.
Files produced(fs::path const& work) {
    Files files;
    for (auto const& e : fs::recursive_directory_iterator(work))
        if (e.is_regular_file() && is_table_or_spectrum(e.path()))
            files[fs::relative(e.path(), work).generic_string()] = read_file(e.path());
    return files;
}

std::string settings_text(int missingShare, int replicates) {
    return "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\nComputeAllAlleleFreqs=1\nComputeMissDataFreq=" +
           std::to_string(missingShare) + "\nComputePopSFS=1\nComputeJointSFS=1\nComputeMultiSFS=1\nNumBootSFS=" +
           std::to_string(replicates) + "\n";
}

class SpectraRun : public ::testing::Test {
protected:
    // A working folder with the project as data.pmp, the settings and the
    // statistics list.
    fs::path prepare(std::string const& name, fs::path const& project, std::string const& settings,
                     std::string const& ssdefs = "POP_LEVEL\nALL_K\n") {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(project, work / "data.pmp");
        write_file(work / "pml_run.pms", settings);
        write_file(work / "ssdefs.txt", ssdefs);
        return work;
    }

    static int run(fs::path const& work, std::string const& project = "data.pmp") {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=5 '" + QUINTLE_BINARY + "' " +
                                    project + " stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string log(fs::path const& work) { return read_file(work / "data.res" / "Pellomar_log.txt"); }

    // The run's tables and spectra are exactly the bundle's files.
    static void expect_files(fs::path const& work, std::string const& bundle) {
        Files const expected = read_bundle(bundle);
        ASSERT_FALSE(expected.empty()) << bundle;
        Files const got = produced(work);
        for (auto const& [path, content] : expected) {
            auto const it = got.find(path);
            if (it == got.end()) {
                ADD_FAILURE() << "not written: " << path;
                continue;
            }
            EXPECT_EQ(it->second, content) << path;
        }
        for (auto const& [path, content] : got) EXPECT_TRUE(expected.count(path)) << "not expected: " << path;
    }

    // Two runs with two replicates under seed 5: both write exactly the
    // bundle's files.
    void replicated_run(fs::path const& project, int missingShare, std::string const& bundle) {
        fs::path const first = prepare("first", project, settings_text(missingShare, 2));
        ASSERT_EQ(run(first), 0);
        EXPECT_NE(log(first).find("Successful run of data.pmp"), std::string::npos);
        // The replicates equal the spectra of the loci that the generator,
        // seeded with -5, draws right after its seeding draw.
        expect_files(first, bundle);
        fs::path const second = prepare("second", project, settings_text(missingShare, 2));
        ASSERT_EQ(run(second), 0);
        EXPECT_EQ(produced(first), produced(second)) << "one seed, the same replicates";
    }

    void standard_haploid(int missingShare) {
        replicated_run(data_dir / "std_haploid.pmp", missingShare,
                       "expected_std_haploid_miss" + std::to_string(missingShare) + ".txt");
    }

    quintle::scratch::Dir base{"quintle_spectra_e2e"};
};

TEST_F(SpectraRun, StandardHaploidWithMissingDataShare) { standard_haploid(1); }

// The standard-data driver fills each sample's allele frequencies when
// missing data take no share.
TEST_F(SpectraRun, StandardHaploid) { standard_haploid(0); }

// The DNA driver fills the frequencies, missing data taking no share: the
// site holding "?" lists it at frequency 0 and is left out of the spectra;
// no base is "0", so every copy is derived and the minor spectra fold on
// the derived copies (the tied site halves between 0 and n).
TEST_F(SpectraRun, DnaSitesWithReplicates) {
    replicated_run(data_dir / "dna_sites.pmp", 0, "expected_dna_sites.txt");
}

TEST_F(SpectraRun, NegativeReplicateCountWritesNoSpectrum) {
    fs::path const work = prepare("none", data_dir / "std_haploid.pmp", settings_text(1, -1));
    ASSERT_EQ(run(work), 0);
    for (auto const& [path, content] : produced(work)) EXPECT_EQ(path.find(".obs"), std::string::npos) << path;
    EXPECT_FALSE(fs::exists(work / "data.res" / "bootSFS"));
    EXPECT_TRUE(fs::exists(work / "data.res" / "AllFreqLocus_20.txt"));
}

TEST_F(SpectraRun, StandardDiploidAxesCountGeneCopies) {
    fs::path const work = prepare("diploid", data_dir / "std_diploid.pmp", settings_text(1, 0));
    ASSERT_EQ(run(work), 0);
    expect_files(work, "expected_std_diploid.txt");
}

// The standard-data driver fills the frequencies (missing data taking no share).
TEST_F(SpectraRun, StandardDiploidWithoutMissingDataShare) {
    fs::path const work = prepare("diploid", data_dir / "std_diploid.pmp", settings_text(0, 0));
    ASSERT_EQ(run(work), 0);
    expect_files(work, "expected_std_diploid.txt");
}

// The DNA driver fills the frequencies: base counts of the example project,
// run from the folder above the project's, so that "AllAlleleFreqs.txt"
// lands beside the project and not in the working folder.
TEST_F(SpectraRun, DnaExampleLocusFiles) {
    fs::path const work = base / "dna";
    fs::create_directories(work / "project");
    fs::copy_file(fs::path(QUINTLE_TEST_DATA_DIR) / ".." / ".." / "examples" / "example.pmp",
                  work / "project" / "data.pmp");
    write_file(work / "pml_run.pms", "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\nComputeAllAlleleFreqs=1\n");
    write_file(work / "ssdefs.txt", "POP_LEVEL\nALL_K\n");
    ASSERT_EQ(run(work, "project/data.pmp"), 0);
    EXPECT_FALSE(fs::exists(work / "AllAlleleFreqs.txt"));
    expect_files(work / "project", "expected_dna_example.txt");
}

// Direct counts of the RFLP sites and microsatellite alleles; the
// microsatellite names are listed in byte order ("98" after "124").
TEST_F(SpectraRun, RflpAndMicrosatLocusFiles) {
    for (char const* name : {"rflp", "microsat"}) {
        fs::path const work =
            prepare(name, data_dir / (std::string(name) + ".pmp"),
                    "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\nComputeAllAlleleFreqs=1\nComputeMissDataFreq=1\n");
        ASSERT_EQ(run(work), 0) << name;
        expect_files(work, std::string("expected_") + name + ".txt");
    }
}

// The RFLP driver fills the frequencies itself.
TEST_F(SpectraRun, RflpLocusFilesWithoutMissingDataShare) {
    fs::path const work = prepare("rflp", data_dir / "rflp.pmp",
                                  "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\nComputeAllAlleleFreqs=1\n");
    ASSERT_EQ(run(work), 0);
    expect_files(work, "expected_rflp.txt");
}

// The microsatellite driver fills the frequencies (missing data taking no
// share).
TEST_F(SpectraRun, MicrosatLocusFilesWithoutMissingDataShare) {
    fs::path const work = prepare("microsat", data_dir / "microsat.pmp",
                                  "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\nComputeAllAlleleFreqs=1\n");
    ASSERT_EQ(run(work), 0);
    expect_files(work, "expected_microsat.txt");
}

TEST_F(SpectraRun, FrequencyProjectRunsToTheEnd) {
    for (int share : {0, 1}) {
        fs::path const work = prepare("frequency" + std::to_string(share),
                                      fs::path(QUINTLE_TEST_DATA_DIR) / "project" / "frequency_rel.pmp",
                                      settings_text(share, 1));
        ASSERT_EQ(run(work), 0);
        EXPECT_NE(log(work).find("Successful run of data.pmp"), std::string::npos) << share;
    }
}

// Six samples of 40 copies: 41^6 cells, more than a signed 32-bit count
// holds. The multi-sample spectra are refused with an ERROR; the other
// spectra, the statistics line and the run go on.
TEST_F(SpectraRun, TooManyMultiSampleCellsRefusesOnlyThoseSpectra) {
    std::string project =
        "[Profile]\n  Title=\"Six samples\"\n  NbSamples=6\n  DataType=STANDARD\n  GenotypicData=0\n"
        "  LocusSeparator=NONE\n  MissingData='?'\n[Data]\n  [[Samples]]\n";
    for (int s = 0; s < 6; ++s) {
        std::string const k = std::to_string(s);
        project += "    SampleName=\"S" + k + "\"\n    SampleSize=40\n    SampleData={\n      a" + k + " " +
                   std::to_string(10 + s) + " 010\n      b" + k + " " + std::to_string(30 - s) + " 001\n    }\n";
    }
    fs::path const work = base / "six";
    fs::create_directories(work);
    write_file(work / "data.pmp", project);
    write_file(work / "pml_run.pms", settings_text(1, 1));
    write_file(work / "ssdefs.txt", "POP_LEVEL\nALL_K\n");
    ASSERT_EQ(run(work), 0);

    std::string const text = log(work);
    EXPECT_NE(text.find("[ERROR # 1] from function \"Samples::computeAndOutputSFS(settings& www): Unable to "
                        "allocate enough memory for multiSFS\" : not enough memory"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("ERROR # 2"), std::string::npos) << "reported once for all replicates";
    EXPECT_NE(text.find("Successful run of data.pmp"), std::string::npos);
    Files const files = produced(work);
    for (char const* folder : {"data.res/", "data.res/bootSFS/data_0/"}) {
        std::string const f = folder;
        EXPECT_TRUE(files.count(f + "data_DAFpop5.obs")) << f;
        EXPECT_TRUE(files.count(f + "data_jointMAFpop5_4.obs")) << f;
        EXPECT_FALSE(files.count(f + "data_DSFS.obs")) << f;
        EXPECT_FALSE(files.count(f + "data_MSFS.obs")) << f;
    }
    // Sample S0: locus 1 all ancestral, locus 2 derived in its 10 copies of
    // "010", locus 3 in its 30 copies of "001".
    std::string labels, values;
    for (int c = 0; c <= 40; ++c) {
        labels += (c ? "\td1_" : "d1_") + std::to_string(c);
        values += (c ? "\t" : "") + std::string(c == 0 || c == 10 || c == 30 ? "1" : "0");
    }
    EXPECT_EQ(files.at("data.res/data_DAFpop0.obs"), "1 observation\n" + labels + "\n" + values + "\n");
    // Two haplotypes in every sample.
    EXPECT_EQ(read_file(work / "stats.txt"), "K_1\tK_2\tK_3\tK_4\tK_5\tK_6\t\n2\t2\t2\t2\t2\t2\t\n");
}

// Only the groups' samples take part in the group pass; the first sample,
// left out of the structure, carries the project's first allele at locus 1
// ("2"). The minor allele of that locus in the groups is "1" (two copies
// of eight), so each group's minor copies are its copies of "1":
// East 1 + 1 at loci 1 and 2, West 1 at locus 1 and 0 at locus 2. Missing
// data take their share of the frequencies, so that the frequencies are
// filled whatever the data-type driver does.
TEST_F(SpectraRun, GroupPassFoldsOnTheMinorAlleleOfItsOwnSamples) {
    fs::path const work =
        prepare("groups", data_dir / "group_private.pmp",
                "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\nComputeMissDataFreq=1\nComputePopSFS=1\n"
                "ComputeJointSFS=1\nComputeMultiSFS=1\n",
                "GROUP_LEVEL\nALL_K\n");
    ASSERT_EQ(run(work), 0);
    EXPECT_NE(log(work).find("Successful run of data.pmp"), std::string::npos);
    std::string const labels1 = "d1_0\td1_1\td1_2\td1_3\td1_4\n";
    std::string const labels2 = "d2_0\td2_1\td2_2\td2_3\td2_4\n";
    EXPECT_EQ(read_file(work / "data.res" / "data_MAFpop0.obs"), "1 observation\n" + labels1 + "0\t2\t0\t0\t0\n");
    EXPECT_EQ(read_file(work / "data.res" / "data_MAFpop1.obs"), "1 observation\n" + labels2 + "1\t1\t0\t0\t0\n");
    std::string const joint = read_file(work / "data.res" / "data_jointMAFpop1_0.obs");
    EXPECT_EQ(joint, "1 observation\n\t" + std::string("d1_0\td1_1\td1_2\td1_3\td1_4\n") +
                         "d2_0\t0\t1\t0\t0\t0\nd2_1\t0\t1\t0\t0\t0\nd2_2\t0\t0\t0\t0\t0\nd2_3\t0\t0\t0\t0\t0\n"
                         "d2_4\t0\t0\t0\t0\t0\n");
}

}  // namespace
