// The conversion frame, run as a caller runs it (a run file in mode
// "translate" handed to the run driver): what is written where, what is
// cleaned up, and how a project that cannot be read or prepared is refused.

#include <regex>

#include "translate/imp_exp.h"
#include "translate/translate_support.h"

namespace quintle::test {
namespace {

std::string const genepop = "Two cats\nloc1, loc2\nPop\nA, 0102 0303\nB, 0202 0103\n";

// This process's intermediate project and result sink.
std::string const intermediate = imp_exp::own_file_name("dum_pml", ".pmp");
std::string const sink = imp_exp::own_file_name("trans_out", ".txt");

class TranslateFrame : public TranslateTest {};

TEST_F(TranslateFrame, SameFormatsWriteNothing) {
    put(work / "p.pmp", slurp(fs::path(QUINTLE_TEST_DATA_DIR) / "project" / "microsat_diploid.pmp"));
    translate("Pellomar", "Pellomar", "p.pmp", "q.pmp");
    // Two names outside the table both mean the Tarvola format.
    translate("Tarvola", "tarvola", "p.pmp", "r.pmp", {"d.txt", "pop"});
    EXPECT_FALSE(fs::exists(work / "q.pmp"));
    EXPECT_FALSE(fs::exists(work / "r.pmp"));
    EXPECT_FALSE(fs::exists(program / intermediate));
}

// A foreign source to a project: the target is the intermediate project,
// header and reader text, line by line, with one empty line more. The
// intermediate project and the result sink go; files of the same names that
// the translator did not make stay, and so do those of other translations.
TEST_F(TranslateFrame, ProjectTargetAndCleanUp) {
    put(work / "c.gen", genepop);
    put(work / sink, "someone else's\n");
    put(work / "trans_out.txt", "another translation's\n");
    put(work / "dum_pml.pmp", "another translation's too\n");
    translate("Genepop", "Pellomar", "c.gen", "c.pmp", {"1"});
    EXPECT_FALSE(failed()) << run_log();
    EXPECT_FALSE(fs::exists(program / intermediate));
    EXPECT_EQ(slurp(work / sink), "someone else's\n");
    EXPECT_EQ(slurp(work / "trans_out.txt"), "another translation's\n");
    EXPECT_EQ(slurp(work / "dum_pml.pmp"), "another translation's too\n");

    std::vector<std::string> const lines = lines_of(file("c.pmp"));
    ASSERT_GE(lines.size(), 4u);
    // Day/month/two-digit year, " at ", the time and a closing parenthesis.
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("#File created by Pellomar translator on "
                                                      "[0-9]{2}/[0-9]{2}/[0-9]{2} at [0-9]{2}:[0-9]{2}:[0-9]{2}\\)")))
        << lines[0];
    EXPECT_EQ(lines[1], "#The input file was \"" + path("c.gen") + "\"  with format \"GenePop\" ");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "[Profile]");
    EXPECT_EQ(lines[lines.size() - 1], "");
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines[lines.size() - 3], "     }");
    std::string const text = run_log();
    EXPECT_NE(text.find("\tReading  " + path("c.gen") + " ...\tdone.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    Writing  " + path("c.pmp") + "... done.\n"), std::string::npos) << text;

    // Without a file of that name, the sink is made and deleted again.
    fs::remove(work / sink);
    translate("Genepop", "Pellomar", "c.gen", "d.pmp", {"1"});
    EXPECT_FALSE(fs::exists(work / sink));
    EXPECT_TRUE(fs::exists(work / "d.pmp"));
}

// The run file may end its lines with CRLF.
TEST_F(TranslateFrame, RunFileWithCrlf) {
    put(work / "c.gen", genepop);
    translate("Genepop", "Pellomar", "c.gen", "c.pmp", {"0"}, "\r\n");
    Project p;
    ASSERT_EQ(read_back("c.pmp", p), 1) << log_.text() << file("c.pmp");
    EXPECT_EQ(p.GenotypicData, 0);
    EXPECT_EQ(p.samples->Populations.count, 1);
}

// The genotypic preparation puts back the three settings it changes, and
// leaves the phase off.
TEST_F(TranslateFrame, GenotypicExportKeepsTheSettings) {
    std::string text = slurp(fs::path(QUINTLE_TEST_DATA_DIR) / "project" / "microsat_diploid.pmp");
    text.replace(text.find("GameticPhase=0"), 14, "GameticPhase=1");
    put(work / "m.pmp", text);
    translate("Pellomar", "Genepop", "m.pmp", "m.gen");
    EXPECT_FALSE(failed()) << run_log();
    settings const fresh;
    ASSERT_NE(PPP, nullptr);
    EXPECT_EQ(PPP->options.TaskNumber, fresh.TaskNumber);
    EXPECT_EQ(PPP->options.InitialConditionsEM, fresh.InitialConditionsEM);
    EXPECT_EQ(PPP->options.NumBootstrapReplicatesEM, fresh.NumBootstrapReplicatesEM);
    EXPECT_EQ(PPP->GameticPhase, 0);
    // Title, two loci, two samples; a2 counts twice.
    EXPECT_EQ(lines_of(file("m.gen")).size(), 1u + 2u + 1u + 3u + 1u + 1u);
}

// A project that cannot be read, or whose data fail the checks, is not
// written: the target holds one line of refusal, the log says why and the
// conversion ends as a failed one. The intermediate project still goes.
TEST_F(TranslateFrame, UnreadableOrUncheckedProjectsAreRefused) {
    struct Case {
        char const* what;
        std::string project;
        char const* logged;
    };
    std::string const profile = "[Profile]\nTitle=\"x\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=0\n"
                                "LocusSeparator=WHITESPACE\n";
    Case const cases[] = {
        {"no [Data] section", profile, "\t\tTranslator is unable to open the Pellomar File\n"},
        {"loci differ", profile + "[Data]\n[[Samples]]\nSampleName=\"a\"\nSampleSize=2\nSampleData={\n"
                                  "h1 1 1 2\nh2 1 1 2 3\n}\n",
         "\t\tTranslator is unable to prepare the data of the Pellomar File\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        put(work / "p.pmp", c.project);
        for (char const* to : {"Genepop", "Phylip", "Mega", "Biosys", "Tarvola"}) {
            put(work / "p.pmp", c.project);
            translate("Pellomar", to, "p.pmp", "out.txt");
            std::string const log = run_log();
            EXPECT_NE(log.find(c.logged), std::string::npos) << to << "\n" << log;
            EXPECT_NE(log.find("Writing  " + path("out.txt") + "... not done."), std::string::npos) << log;
            EXPECT_NE(log.find("Error during run of " + path("p.pmp")), std::string::npos) << log;
            std::vector<std::string> const target = lines_of(file("out.txt"));
            ASSERT_EQ(target.size(), 1u) << to;
            EXPECT_EQ(target[0].rfind("  Impossible to translate this file: ", 0), 0u) << target[0];
            EXPECT_FALSE(fs::exists(program / intermediate));
            EXPECT_FALSE(fs::exists(work / sink));
        }
    }
}

// A source that cannot be opened still gives a project text without
// samples, which is refused; a folder for the target is named.
TEST_F(TranslateFrame, MissingSourceAndUnwritableTarget) {
    translate("Genepop", "Phylip", "absent.gen", "a.phy", {"1"});
    EXPECT_NE(run_log().find("The source file " + path("absent.gen") + " cannot be read."), std::string::npos);
    EXPECT_TRUE(failed());
    EXPECT_EQ(lines_of(file("a.phy")).size(), 1u);

    put(work / "c.gen", genepop);
    translate("Genepop", "Phylip", "c.gen", "no/such/folder/c.phy", {"1"});
    EXPECT_NE(run_log().find("The target file " + path("no/such/folder/c.phy") + " cannot be created."),
              std::string::npos)
        << run_log();
    EXPECT_TRUE(failed());
    EXPECT_FALSE(fs::exists(program / intermediate));
}

}  // namespace
}  // namespace quintle::test
