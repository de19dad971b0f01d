// Writers of project-file text: header and sample frames byte for byte; the
// back-up of a project must read back (working copy, then the project
// reader) into the same profile, list, matrix, samples and structure.

#include <gtest/gtest.h>

#include "project/project_test_support.h"
#include "project/project_writers.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

fs::path const dataDir = fs::path(QUINTLE_TEST_DATA_DIR) / "project";

using namespace test;

class ProjectWritersTest : public ProjectDirTest {};

TEST(ProjectTextWriters, HeadersAndSampleFramesAreWrittenExactly) {
    std::ostringstream os;
    EXPECT_EQ(&write_Pellomar_header(7, MICROSAT, os), &os);
    write_Pellomar_sample_header(3, 40, os);
    write_Pellomar_sample_footer(os);
    write_Pellomar_header_gibbs(my_string("Modal phase"), 2, DNA, os);
    write_Pellomar_sample_header_gibbs(my_string("pop 1"), 12, os);
    write_Pellomar_sample_footer_gibbs(os);
    EXPECT_EQ(os.str(),
              "\n[Profile]\n\tTitle=\"A series of simulated samples\"\n\tNbSamples=7\n\tGenotypicData=1\n"
              "\tGameticPhase=0\n\tRecessiveData=0\n\tDataType=MICROSAT\n\tLocusSeparator=TAB\n"
              "\tMissingData='?'\n\n[Data]\n\t[[Samples]]\n\n"
              "\t\tSampleName=\"Sample 3\"\n\t\tSampleSize=40\n\t\tSampleData= {\n}\n"
              "\n[Profile]\n\tTitle=\"Modal phase\"\n\tNbSamples=2\n\tGenotypicData=1\n"
              "\tGameticPhase=1\n\tRecessiveData=0\n\tDataType=DNA\n\tLocusSeparator=NONE\n"
              "\tMissingData='?'\n\n[Data]\n\t[[Samples]]\n\n"
              "\t\tSampleName=\"pop 1\"\n\t\tSampleSize=12\n\t\tSampleData= {\n\n\t\t}\n");
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
        start_again();
        // The back-up holds no Mantel section: the original is read without one.
        std::string text = slurp(dataDir / c.project);
        text = text.substr(0, text.find("[[Mantel]]"));
        std::ofstream(dir / c.project, std::ios::binary) << text;
        for (char const* name : c.beside) fs::copy_file(dataDir / name, dir / name);

        Project original;
        ASSERT_EQ(read_project(dir / c.project, original), 1) << log();
        std::string const before = dump(original, false);

        fs::path const backup = dir / "backup.pmp";
        original.write_backup = 1;
        original.options.BackupFileName = backup.string().c_str();
        ASSERT_EQ(original.write(), 1);
        EXPECT_NE(log().find("Back-up file with input data written in " + backup.string() + "\n"), std::string::npos)
            << log();

        Project copy;
        ASSERT_EQ(read_project(backup, copy), 1) << log() << slurp(backup);
        EXPECT_EQ(dump(copy, false), before) << slurp(backup);
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

TEST_F(ProjectWritersTest, FailedBackupReportsAndChangesNothing) {
    Project p;
    ProfileSettings::DataType = DNA;
    ProfileSettings::LocusSeparator = ',';
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

}  // namespace
}  // namespace quintle
