// The project explorer, reached as a front end reaches it: a run file in
// mode "explore" handed to the run driver. It leaves "pml_pro.txt" in the
// program folder (the run file's first line), "samples.txt" and
// "groups.txt" in the current folder. The expected files are worked out by
// hand from the projects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/public.h"
#include "project/project_test_support.h"
#include "run/pmlestart.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using test::put;
using test::slurp;

fs::path const legacyDir = fs::path(QUINTLE_TEST_DATA_DIR) / "project" / "legacy";

// The profile lines of a project that names only its title, sample count
// and data type, the other fields at their defaults.
std::string profile_lines(std::string const& title, int samples, std::string const& type) {
    return title + "=Title;\n" + std::to_string(samples) +
           "=NbSamples;\n0=NbGroups; \n0=GenotypicData;\n1=GameticPhase;\n" + type +
           "=DataType;\nNONE=LocusSeparator;\n?=MissingData;\n=DistMatLabel;\nNONE=UsedHaplList; \n"
           "=ExtHaplFile; \n0=Interleave; \n0=IndividualLevel;\n0=Frequency; \n0=RecessiveData; \n"
           "null=RecessiveAllele;\n1=GivenDistMat; \n1e-07=EpsilonValue;\n1e-05=FrequencyThreshold;\n";
}

std::string crlf(std::string const& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

class Explorer : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUINTLE_SEED", "5", 1);
        fs::create_directories(work);
        fs::create_directories(program);
        fs::current_path(work);
    }
    void TearDown() override {
        release_run_globals();
        ::unsetenv("QUINTLE_SEED");
        fs::current_path(before);
    }

    // Explores the project file `name` of the work folder; `programFolder`
    // is the run file's first line.
    void explore(std::string const& name, std::string const& programFolder) {
        std::string const runDir = work.string() + "/";
        put(runDir + getPmlRunString().c_str(),
            programFolder + "\nexplore\n" + runDir + name + "\n0\n0\nend\n");
        std::string directory = runDir;
        pmlestart(directory.data());
    }
    void explore_text(std::string const& text) {
        put(work / "p.pmp", text);
        explore("p.pmp", program.string() + "/");
    }

    std::string groups() const { return slurp(work / "groups.txt"); }
    std::string samples() const { return slurp(work / "samples.txt"); }
    std::string profile() const { return slurp(program / "pml_pro.txt"); }
    // The log of the project p.pmp.
    std::string run_log() const { return slurp(work / "p.res" / "Pellomar_log.txt"); }

    bool reported(std::string const& kind, std::string const& function, int message) const {
        std::string const tail = "] from function \"" + function + "\" : " + Errors::message(message);
        std::istringstream lines(run_log());
        for (std::string l; std::getline(lines, l);)
            if (l.find("#[" + kind + " #") != std::string::npos && l.find(tail) != std::string::npos) return true;
        return false;
    }

    test::LogGuard log_{"quintle_explorer"};
    test::ProfileGuard profile_{STANDARD, '\0'};
    test::SumStatGuard sumStat_;
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    test::Saved<bool> xml_{xmlOutput};
    test::Saved<my_string> input_{settings::input_file};
    fs::path const before = fs::current_path();
    fs::path const work = log_.dir() / "work";
    fs::path const program = log_.dir() / "program";
};

// Two projects, with LF and with CRLF line ends: the same three files.
TEST_F(Explorer, FilesOfTwoProjectsByteForByte) {
    struct Case {
        char const* project;
        std::string profile, samples, groups;
        int errors;  // ERROR lines in the log
    };
    Case const cases[] = {
        // Sample names lower-cased, group members as written.
        {"dna_mantel.pmp", profile_lines("DNA with a Mantel test", 3, "DNA"), "3\nlake\nriver\nsea\n",
         "2\n{\nLake\n}\n{\nRiver\nSea\n}\n", 0},
        // No structure: "groups.txt" keeps its "0". Only the matrix's name
        // is read: the search for the next header is refused the brace of
        // its body, with the report of the character.
        {"frequency_column_matrix.pmp", profile_lines("Frequencies with a column matrix", 2, "FREQUENCY"),
         "2\nearly\nlate\n", "0\n", 1},
    };
    for (Case const& c : cases) {
        for (bool const withCr : {false, true}) {
            SCOPED_TRACE(std::string(c.project) + (withCr ? " CRLF" : " LF"));
            fs::remove(program / "pml_pro.txt");
            std::string const text = slurp(legacyDir / c.project);
            put(work / "p.pmp", withCr ? crlf(text) : text);
            explore("p.pmp", program.string() + "/");
            EXPECT_EQ(profile(), c.profile);
            EXPECT_EQ(samples(), c.samples);
            EXPECT_EQ(groups(), c.groups);
            std::string const log = run_log();
            EXPECT_NE(log.find("Exploring  " + (work / "p.pmp").string() + " ...\n"), std::string::npos) << log;
            EXPECT_NE(log.find("done!\n"), std::string::npos) << log;
            EXPECT_EQ(test::occurrences(log, "#[ERROR"), c.errors) << log;
        }
    }
    // The matrix's source as the explorer leaves it.
    EXPECT_EQ(std::string(PPP->distance_matrix.MatrixName.c_str()), "Defined In project file");
}

std::string const profileHead = "[Profile]\nTitle=\"t\"\nNbSamples=2\nDataType=STANDARD\n[Data]\n";
std::string const twoSamples =
    "[[Samples]]\nSampleName=\"Alpha\"\nSampleData={\na 1 A\n}\nSampleName=\"Beta\"\nSampleData={\nb 1 B\n}\n";

struct Report {
    char const* kind;
    char const* function;
    int message;
};

struct ExploreCase {
    char const* what;
    std::string text;
    bool explored;  // "pml_pro.txt" holds the profile, else "error"
    std::string samples, groups;
    std::vector<Report> reports;
};

TEST_F(Explorer, CasesAndFailures) {
    std::string const structure = "[[Structure]]\nStructureName=\"s\"\n";
    ExploreCase const cases[] = {
        // The third group is not read: the keyword search stops at its brace.
        {"NbGroups 2 with three groups",
         profileHead + twoSamples + structure +
             "NbGroups=2\nGroup={ \"Alpha\" }\nGroup={ \"Beta\" }\nGroup={ \"Alpha\" \"Beta\" }\n",
         true, "2\nalpha\nbeta\n", "2\n{\nAlpha\n}\n{\nBeta\n}\n", {{"ERROR", "skip_comments(ifstream& ifs) (\"{\")", 100}}},
        // Reading goes on after the refused count; the final check fails.
        {"NbGroups 1500", profileHead + twoSamples + structure + "NbGroups=1500\nGroup={ \"Alpha\" }\n", false,
         "2\nalpha\nbeta\n", "{\nAlpha\n}\n", {{"ERROR", "Structure::explore_content()", 47}}},
        {"NbGroups after the first group", profileHead + twoSamples + structure + "Group={ \"Alpha\" }\nNbGroups=1\n",
         false, "2\nalpha\nbeta\n", "",
         {{"ERROR", "Structure::explore_content()", 49},
          {"ERROR", "Structure::explore(ifstream& ifs) (\"group\")", 55}}},
        {"NbSamples 0", "[Profile]\nTitle=\"t\"\nNbSamples=0\nDataType=STANDARD\n[Data]\n[[Samples]]\n", true, "0\n",
         "0\n", {}},
        // A comment line that holds the word counts as a sample line.
        {"a comment holding SampleName",
         profileHead + "[[Samples]]\n# each SampleName below is a place\n" + twoSamples.substr(12), true,
         "2\n# each samplename below is a place\nalpha\n", "0\n", {}},
        {"fewer sample names than NbSamples", "[Profile]\nNbSamples=3\n[Data]\n" + twoSamples, false,
         "3\nalpha\nbeta\n", "0\n",
         {{"WARNING", "Samples::explore(): Unable to extract all population names", 63}}},
        {"five sub-sections",
         profileHead + "[[HaplotypeDefinition]]\n[[DistanceMatrix]]\nMatrixSize=2\n" + twoSamples + structure +
             "NbGroups=1\nGroup={ \"Alpha\" }\n[[Mantel]]\n",
         false, "2\nalpha\nbeta\n", "1\n{\nAlpha\n}\n", {{"ERROR", "Project::explore()", 131}}},
        {"no profile", "[Data]\n" + twoSamples, false, "", "0\n", {{"ERROR", "Project::explore()", 127}}},
        {"no sub-section", profileHead, false, "", "0\n", {{"ERROR", "Project::explore()", 128}}},
        {"unknown keyword in the structure", profileHead + twoSamples + structure + "Colour=1\n", false,
         "2\nalpha\nbeta\n", "", {{"ERROR", "Structure::explore(ifstream& ifs)", 54}}},
        {"group without its closing brace", profileHead + twoSamples + structure + "NbGroups=1\nGroup={ \"Alpha\"",
         false, "2\nalpha\nbeta\n", "1\n{\nAlpha\n",
         {{"ERROR", "Structure::explore_content() (group#1)", 52}}},
    };
    for (ExploreCase const& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(work / "samples.txt");
        fs::remove(program / "pml_pro.txt");
        explore_text(c.text);
        if (c.explored) {
            EXPECT_NE(profile().find("t=Title;\n"), std::string::npos) << profile();
        } else {
            EXPECT_EQ(profile(), "error\n");
        }
        EXPECT_EQ(samples(), c.samples);
        EXPECT_EQ(groups(), c.groups);
        for (Report const& r : c.reports) {
            EXPECT_TRUE(reported(r.kind, r.function, r.message))
                << r.kind << " " << r.message << " from " << r.function << "\n" << run_log();
        }
        EXPECT_NE(run_log().find("done!\n"), std::string::npos) << run_log();
    }
}

// Two projects explored in one run: the second structure, which sets no
// group count, is checked against its own count (0), not against the 2 the
// first one left in the run's project.
TEST_F(Explorer, GroupCountOfTheProjectBeforeIsNotLent) {
    put(work / "a.pmp", profileHead + twoSamples + "[[Structure]]\nNbGroups=2\nGroup={ \"Alpha\" }\nGroup={ \"Beta\" }\n");
    put(work / "b.pmp", profileHead + twoSamples + "[[Structure]]\nStructureName=\"none yet\"\n");
    std::string const runDir = work.string() + "/";
    put(runDir + getPmlRunString().c_str(), program.string() + "/\nexplore\n" + runDir + "a.pmp\n0\n0\n" + runDir +
                                                "b.pmp\n0\n0\nend\n");
    std::string directory = runDir;
    pmlestart(directory.data());
    EXPECT_EQ(groups(), "");
    EXPECT_NE(profile().find("t=Title;\n"), std::string::npos) << profile();
    EXPECT_EQ(slurp(work / "b.res" / "Pellomar_log.txt").find("#[ERROR"), std::string::npos);
}

// A program folder that does not exist: no "pml_pro.txt" anywhere, and the
// project still counts as explored.
TEST_F(Explorer, MissingProgramFolder) {
    put(work / "p.pmp", profileHead + twoSamples);
    fs::path const missing = log_.dir() / "absent";
    explore("p.pmp", missing.string() + "/");
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(work / "pml_pro.txt"));
    EXPECT_FALSE(fs::exists(program / "pml_pro.txt"));
    EXPECT_EQ(samples(), "2\nalpha\nbeta\n");
    EXPECT_EQ(run_log().find("#[ERROR"), std::string::npos) << run_log();
}

// Only the separator and the data-type lines depend on the class-wide values.
TEST_F(Explorer, SeparatorAndDataTypeLines) {
    struct Case {
        char const* separator;
        char const* type;
        std::string separatorLine, typeLine;
    };
    Case const cases[] = {
        {"';'", "MICROSAT", ";=LocusSeparator;\n", "MICROSAT=DataType;\n"},
        {"TAB", "RFLP", "TAB=LocusSeparator;\n", "RFLP=DataType;\n"},
        {"WHITESPACE", "DNA", "WHITESPACE=LocusSeparator;\n", "DNA=DataType;\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.separator);
        explore_text(std::string("[Profile]\nTitle=\"t\"\nNbSamples=0\nDataType=") + c.type +
                     "\nLocusSeparator=" + c.separator + "\n[Data]\n[[Samples]]\n");
        std::string const text = profile();
        EXPECT_NE(text.find("\n" + c.separatorLine), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + c.typeLine), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 19);
    }
    // A data type outside the five codes gives no DataType line.
    ProfileSettings::DataType = static_cast<TDataType>(9);
    explore_text("[Profile]\nTitle=\"t\"\nNbSamples=0\n[Data]\n[[Samples]]\n");
    std::string const text = profile();
    EXPECT_EQ(text.find("=DataType;"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 18);
}

}  // namespace
}  // namespace quintle
