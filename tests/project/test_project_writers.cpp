// Writers of project-file text. The header and sample-frame writers are
// checked byte for byte and by reading their output back; the back-up of a
// project must read back (working copy, then the project reader) into the
// same profile, haplotype list, matrix, samples and structure.

#include <gtest/gtest.h>

#include "project/project_test_support.h"
#include "project/project_writers.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

fs::path const dataDir = fs::path(QUINTLE_TEST_DATA_DIR) / "project";

using namespace test;

class ProjectWritersTest : public ProjectDirTest {
protected:
    int read(fs::path const& source, Project& target) { return read_project(source, target); }
};

TEST(ProjectTextWriters, HeadersAndSampleFramesAreWrittenExactly) {
    struct Case {
        TDataType type;
        char const* word;
        char const* separator;
    };
    Case const cases[] = {
        {DNA, "DNA", "NONE"},          {RFLP, "RFLP", "NONE"},           {MICROSAT, "MICROSAT", "TAB"},
        {STANDARD, "STANDARD", "TAB"}, {FREQUENCY, "FREQUENCY", "TAB"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.word);
        std::string const rest = std::string("\tNbSamples=7\n\tGenotypicData=1\n") + "%PHASE%" +
                                 "\tRecessiveData=0\n\tDataType=" + c.word + "\n\tLocusSeparator=" + c.separator +
                                 "\n\tMissingData='?'\n\n[Data]\n\t[[Samples]]\n\n";
        auto with_phase = [&](char const* phase) {
            std::string s = rest;
            s.replace(s.find("%PHASE%"), 7, phase);
            return s;
        };
        std::ostringstream plain;
        EXPECT_EQ(&write_Pellomar_header(7, c.type, plain), &plain);
        EXPECT_EQ(plain.str(), "\n[Profile]\n\tTitle=\"A series of simulated samples\"\n" +
                                   with_phase("\tGameticPhase=0\n"));
        std::ostringstream phased;
        write_Pellomar_header_gibbs(my_string("Modal phase"), 7, c.type, phased);
        EXPECT_EQ(phased.str(), "\n[Profile]\n\tTitle=\"Modal phase\"\n" + with_phase("\tGameticPhase=1\n"));
    }

    std::ostringstream frame;
    write_Pellomar_sample_header(3, 40, frame);
    write_Pellomar_sample_footer(frame);
    write_Pellomar_sample_header_gibbs(my_string("pop 1"), 12, frame);
    write_Pellomar_sample_footer_gibbs(frame);
    EXPECT_EQ(frame.str(),
              "\t\tSampleName=\"Sample 3\"\n\t\tSampleSize=40\n\t\tSampleData= {\n}\n"
              "\t\tSampleName=\"pop 1\"\n\t\tSampleSize=12\n\t\tSampleData= {\n\n\t\t}\n");
}

// A phasing output as the summary pass builds it: header, one block per
// sample with phased genotypes, and the closing one-group structure.
TEST_F(ProjectWritersTest, PhasingOutputReadsBackAsPhasedGenotypes) {
    struct Case {
        TDataType type;
        char const* lines1;
        char const* lines2;
        char const* expected;
    };
    Case const cases[] = {
        {DNA, "i1 1 ACGT\n     ACGA", "i2 2 TTGT\n     ACGT",
         "title \"Modal phase estimated\"\n"
         "profile nb=2 type=0 genotypic=1 phase=1 sep=0 missing=? recessive=0 allele=null\n"},
        {MICROSAT, "i1 1 120\t134\n     122\t136", "i2 2 118\t130\n     120\t130",
         "title \"Modal phase estimated\"\n"
         "profile nb=2 type=2 genotypic=1 phase=1 sep=9 missing=? recessive=0 allele=null\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        fs::path const file = dir / ("phases" + std::to_string(static_cast<int>(c.type)) + ".pmp");
        {
            std::ofstream out(file);
            write_Pellomar_header_gibbs(my_string("Modal phase estimated"), 2, c.type, out);
            write_Pellomar_sample_header_gibbs(my_string("North"), 1, out);
            out << c.lines1;
            write_Pellomar_sample_footer_gibbs(out);
            write_Pellomar_sample_header_gibbs(my_string("South"), 2, out);
            out << c.lines2;
            write_Pellomar_sample_footer_gibbs(out);
            out << "[[Structure]]\nStructureName=\"Simulated data\"\nNbGroups=1\nGroup={\n    \"North\"\n"
                   "    \"South\"\n\t}\n";
        }
        Project p;
        ASSERT_EQ(read(file, p), 1) << log();
        std::string const shown = dump(p, false);
        EXPECT_EQ(shown.substr(0, std::string(c.expected).size()), c.expected) << shown;
        // Two gene copies per individual.
        EXPECT_NE(shown.find("\"North\" size=2: i1x1"), std::string::npos) << shown;
        EXPECT_NE(shown.find("\"South\" size=4: i2x2"), std::string::npos) << shown;
        EXPECT_NE(shown.find("structure \"Simulated data\" groups=1 {North South}"), std::string::npos) << shown;
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

// Every data type and every sub-section the back-up writes: read a project,
// write its back-up, read the back-up and compare the two readings.
TEST_F(ProjectWritersTest, BackupReadsBackIntoTheSameProject) {
    struct Case {
        char const* project;
        std::initializer_list<char const*> beside;
    };
    Case const cases[] = {
        {"dna_list_matrix.pmp", {}},
        {"rflp_extern.pmp", {"rflp_list.txt", "rflp_matrix.txt", "rflp_hill.txt"}},
        {"microsat_diploid.pmp", {}},
        {"standard_diploid.pmp", {"standard_barn.txt"}},
        {"frequency_rel.pmp", {}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.project);
        TearDown();
        SetUp();
        // The back-up holds no Mantel section: the original is read without one.
        std::string text = slurp(dataDir / c.project);
        text = text.substr(0, text.find("[[Mantel]]"));
        std::ofstream(dir / c.project, std::ios::binary) << text;
        for (char const* name : c.beside) fs::copy_file(dataDir / name, dir / name);

        Project original;
        ASSERT_EQ(read(dir / c.project, original), 1) << log();
        std::string const before = dump(original, false);

        fs::path const backup = dir / "backup.pmp";
        original.write_backup = 1;
        original.options.BackupFileName = backup.string().c_str();
        ASSERT_EQ(original.write(), 1);
        EXPECT_NE(log().find("Back-up file with input data written in " + backup.string() + "\n"), std::string::npos)
            << log();

        Project copy;
        ASSERT_EQ(read(backup, copy), 1) << log() << slurp(backup);
        EXPECT_EQ(dump(copy, false), before) << slurp(backup);
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

TEST_F(ProjectWritersTest, BackupIsWrittenOnlyWhenAskedAndReportsAnUnwritableFile) {
    Project p;
    ProfileSettings::DataType = DNA;
    ProfileSettings::LocusSeparator = ',';
    p.options.BackupFileName = (dir / "backup.bac").string().c_str();
    EXPECT_EQ(p.write(), 1);
    EXPECT_FALSE(fs::exists(dir / "backup.bac"));

    p.write_backup = 1;
    p.options.BackupFileName = (dir / "absent" / "backup.bac").string().c_str();
    EXPECT_EQ(p.write(), 0);
    EXPECT_NE(log().find("from function \"Project::write()\" : unable to write project back-up file"),
              std::string::npos)
        << log();
    // A failed back-up changes nothing.
    EXPECT_EQ(ProfileSettings::LocusSeparator, ',');

    p.options.BackupFileName = (dir / "backup.bac").string().c_str();
    EXPECT_EQ(p.write(), 1);
    EXPECT_EQ(ProfileSettings::LocusSeparator, 0);
}

TEST_F(ProjectWritersTest, ExampleFileIsEmptiedAndSettingsFileFollowsTheProject) {
    Project p;
    fs::path const example = dir / "example.pmp";
    {
        std::ofstream(example) << "old content\n";
    }
    std::string path = example.string();
    p.create_pmp_example(path.data());
    ASSERT_TRUE(fs::exists(example));
    EXPECT_EQ(fs::file_size(example), 0u);
    std::string unusable = (dir / "absent" / "x.pmp").string();
    p.create_pmp_example(unusable.data());
    EXPECT_FALSE(fs::exists(dir / "absent"));

    settings::input_file = (dir / "pop1.pmp").string().c_str();
    p.options.TaskNumber = 0x600;
    p.save_associated_set();
    EXPECT_STREQ(p.options.SettingsFileName.c_str(), (dir / "pop1.pms").string().c_str());
    settings back;
    back.read_settings(p.options.SettingsFileName);
    EXPECT_EQ(back.TaskNumber, 0x600);
}

}  // namespace
}  // namespace quintle
