// Paths of the files a project names after EXTERN: the section readers start
// from the project's folder, the haplotype store's list reader from the
// result folder, and each has its own idea of a name that stands alone.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/Errors.h"
#include "run/extern_names.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

TEST(ExternNames, EachReaderStartsFromItsOwnFolder) {
    settings run;
    run.ProjectFolder = "/data/";
    run.ResultFolder = "/data/proj.res/";
    struct Case {
        char const* name;
        ExternBase base;
        char const* path;
    };
    Case const cases[] = {
        {"pop1.txt", ExternBase::ProjectFolder, "/data/pop1.txt"},
        {"sub/pop1.txt", ExternBase::ProjectFolder, "/data/sub/pop1.txt"},
        {"/abs/pop1.txt", ExternBase::ProjectFolder, "/abs/pop1.txt"},
        {"C:\\pop1.txt", ExternBase::ProjectFolder, "/data/C:\\pop1.txt"},
        {"hapl.txt", ExternBase::ResultFolder, "/data/proj.res/hapl.txt"},
        {"sub/hapl.txt", ExternBase::ResultFolder, "sub/hapl.txt"},
        {"sub\\hapl.txt", ExternBase::ResultFolder, "sub\\hapl.txt"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(extern_file_path(c.name, &run, c.base), c.path);
    }
    EXPECT_EQ(extern_file_path("pop1.txt", "/orig/", ExternBase::ProjectFolder), "/orig/pop1.txt");
}

TEST(ExternNames, WithoutRunSettingsTheNameStandsAsGiven) {
    std::ostringstream log;
    test::Saved<std::ostream*> const aos(_AOS_, &log);
    EXPECT_EQ(extern_file_path("pop1.txt", static_cast<settings const*>(nullptr), ExternBase::ProjectFolder),
              "pop1.txt");
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(extern_file_path("hapl.txt", static_cast<settings const*>(nullptr), ExternBase::ResultFolder),
              "hapl.txt");
    EXPECT_EQ(log.str(), "Pointer to project dir is not initialized. ERROR\n");
}

}  // namespace
}  // namespace quintle
