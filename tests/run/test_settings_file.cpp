// The settings file as print_settings writes it, byte for byte, for a fresh
// record and for one with every key changed (recorded files under
// tests/data/run/), and the same file read back.

#include <gtest/gtest.h>

#include <string>

#include "core/scratch.h"
#include "run/settings.h"
#include "run/settings_fixture.h"

namespace quintle {
namespace {

std::string const data_dir = std::string(QUINTLE_TEST_DATA_DIR) + "/run/";

class SettingsFileTest : public ::testing::Test {
protected:
    std::string printed(settings const& s) const {
        my_string const name((dir_ / "out.pms").string().c_str());
        s.print_settings(name);
        return scratch::read_file(name.c_str());
    }

    scratch::Dir dir_{"quintle_settings_file"};
};

TEST_F(SettingsFileTest, WrittenAsRecorded) {
    EXPECT_EQ(printed(settings{}), scratch::read_file(data_dir + "settings_default.pms"));
    EXPECT_EQ(printed(settings_fixture::every_key_changed()),
              scratch::read_file(data_dir + "settings_every_key.pms"));
}

// Reading back what was written gives the same record: written again, the
// file is the same. The keys that are never written come back as the
// reader rules them: 0 for the six mandatory ones, unchanged for the
// optional ones. PrecProbPopDiff is written with six decimals but read as
// an integer, every non-digit skipped.
TEST_F(SettingsFileTest, ReadBackGivesTheSameSettings) {
    struct Case {
        char const* file;
        double prec_prob_read;
    };
    for (Case const c : {Case{"settings_default.pms", 0.0}, Case{"settings_every_key.pms", 76000000.0}}) {
        char const* file = c.file;
        SCOPED_TRACE(file);
        std::string const recorded = scratch::read_file(data_dir + file);
        settings back;
        back.NumOfGroups = 5;
        back.EMWinSize = 6;
        back.EMInbreedingEachLocus = 7;
        back.EMCompGamPhaseForAllInitConds = 8;
        back.read_settings(my_string((data_dir + file).c_str()));
        // The project run copies its own phase in; the file's key is a copy of it.
        back.GameticPhase = back.GameticPhaseIsKnown;
        EXPECT_EQ(back.PrecProbPopDiff, c.prec_prob_read);
        back.PrecProbPopDiff /= 1e6;
        EXPECT_EQ(printed(back), recorded);

        EXPECT_EQ(back.IsFontKnown, 0);
        EXPECT_EQ(back.NbFrontSegments, 0);
        EXPECT_EQ(back.SegmentLength, 0.0);
        EXPECT_EQ(back.NumOfGroups, 0);
        EXPECT_EQ(back.DiffusionMode, 0);
        EXPECT_EQ(back.NbFrontPerm, 0);
        EXPECT_EQ(back.EMWinSize, 6);
        EXPECT_EQ(back.EMInbreedingEachLocus, 7);
        EXPECT_EQ(back.EMCompGamPhaseForAllInitConds, 8);
    }
}

}  // namespace
}  // namespace quintle
