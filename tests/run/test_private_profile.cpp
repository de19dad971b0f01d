// Key lookup in a settings file: the first line holding the key anywhere
// and a value after its first '=' inside the window, whatever the lines
// around it hold.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/scratch.h"
#include "run/private_profile.h"

namespace quintle {
namespace {

TEST(PrivateProfileLookup, FirstLineHoldingTheKeyWins) {
    // Keys inside longer keys, a key only in a value, characters whose codes
    // differ by 64 (0x81 against 'A', '~' against '>'), a line without '=',
    // an empty value and a value cut by the window.
    std::vector<std::string> const lines = {
        "[Setting for Calculations]",
        "MismatchDistanceMethod=4",
        "X\x81\xa0=not A",
        "DistanceMethodAMOVA=2",
        "DistanceMethod=1",
        "Comment mentions GammaAValue without a value",
        "Empty=",
        "GammaAValue=0.5",
        "Note=TaskNumber is also named here",
        "TaskNumber=67",
        "Long=0123456789",
        "~>~=tilde",
    };
    scratch::Dir dir("quintle_profile");
    std::string text;
    for (std::string const& line : lines) text += line + "\r\n";
    scratch::write_file(dir / "p.pms", text);
    PrivateProfile const profile((dir / "p.pms").string().c_str());
    ASSERT_TRUE(profile.is_open());

    struct Case {
        char const* key;
        int window;
        char const* value;  // worked out by hand from the lines above
    };
    Case const cases[] = {
        {"DistanceMethod", 100, "4"},  // inside MismatchDistanceMethod, the first line
        {"DistanceMethodAMOVA", 100, "2"},
        {"GammaAValue", 100, "0.5"},  // the comment has no '='
        {"TaskNumber", 100, "TaskNumber is also named here"},
        {"A\xa0", 100, ""},            // 'A' is not 0x81
        {"\x81\xa0", 100, "not A"},
        {"Empty", 100, ""},
        {"Long", 9, "0123"},
        {">", 100, "tilde"},
        {"Absent", 100, ""},
    };
    for (Case const& c : cases) {
        std::string value = "unchanged";
        bool const found = profile.lookup(c.key, c.window, value);
        EXPECT_EQ(value, c.value) << c.key;
        EXPECT_EQ(found, !std::string(c.value).empty()) << c.key;
    }
}

}  // namespace
}  // namespace quintle
