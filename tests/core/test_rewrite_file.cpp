// Files written anew without being emptied first: the progressive writer of
// the log and the result file, the one-go rewrite of the small frame files
// and the menu script of a run; and the processor features.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "core/TJSOut.h"
#include "core/cpu_features.h"
#include "core/platform.h"
#include "core/rewrite_file.h"
#include "core/scratch.h"
#include "run/settings.h"

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

std::string const stale(20000, 'x');

// From the first flush on, the file holds what was written and nothing of
// the longer old text; every flush shows at once when nothing is held.
TEST(RewriteFile, CutsTheOldTextAtTheFirstWrite) {
    scratch::Dir dir("quintle_rewrite");
    std::string const path = (dir / "log.txt").string();
    write_file(path, stale);
    {
        RewritingFile<std::ofstream> out(path.c_str());
        ASSERT_TRUE(out.is_open());
        EXPECT_EQ(read_file(path), stale) << "nothing is written before the first flush";
        out << "first line" << std::endl;
        EXPECT_EQ(read_file(path), "first line\n");
        out << "second" << std::endl;
        EXPECT_EQ(read_file(path), "first line\nsecond\n");
        out << "no end";
    }
    EXPECT_EQ(read_file(path), "first line\nsecond\nno end");
    // Nothing written at all: emptied at the close, as by an emptying open.
    { RewritingFile<std::ofstream> out(path.c_str()); }
    EXPECT_EQ(read_file(path), "");
}

// Held flushes: the first one writes (and cuts), the next ones wait for
// their interval or the close; nothing is lost at the close.
TEST(RewriteFile, HeldFlushesWriteTheFirstAndTheRestAtTheClose) {
    scratch::Dir dir("quintle_rewrite");
    std::string const path = (dir / "held.txt").string();
    write_file(path, stale);
    RewritingFile<std::fstream> out(path.c_str(), 3'600'000);
    // Asked through its base type too, as the writers ask the result file.
    EXPECT_TRUE(static_cast<std::fstream&>(out).is_open());
    out << "head" << std::endl;
    EXPECT_EQ(read_file(path), "head\n");
    out << "held 1" << std::endl << "held 2" << std::endl;
    EXPECT_EQ(read_file(path), "head\n");
    out.close();
    EXPECT_EQ(read_file(path), "head\nheld 1\nheld 2\n");
}

TEST(RewriteFile, OneGoRewriteCutsExtendsAndReplacesAPipe) {
    scratch::Dir dir("quintle_rewrite");
    std::string const path = (dir / "page.htm").string();
    write_file(path, stale);
    ASSERT_TRUE(MY_RewriteFile(path.c_str(), "short"));
    EXPECT_EQ(read_file(path), "short");
    ASSERT_TRUE(MY_RewriteFile(path.c_str(), "a longer text"));
    EXPECT_EQ(read_file(path), "a longer text");

    // A pipe without a reader would block a writer: it gives way to a file.
    std::string const fifo = (dir / "menu.js").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_TRUE(MY_RewriteFile(fifo.c_str(), "script"));
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(read_file(fifo), "script");
}

// The menu script of a run: held while the run writes it, then replacing
// a longer old script whole, or added to the end of an earlier run's.
TEST(RunMenuScriptTest, ReplacesOrAppendsOnceAtTheEnd) {
    scratch::Dir dir("quintle_rewrite");
    settings s;
    s.MenuScriptFileName = (dir / "p.js").string().c_str();
    write_file((dir / "p.js"), stale);
    {
        RunMenuScript script(s, true);
        ASSERT_NE(s.MenuScript, nullptr);
        TJSOut(MenuScriptLine(s).stream()).aux(1, my_string("Run"), my_string("p.htm#a"));
        settings copy = s;  // the analyses' copies write to the same text
        TJSOut(MenuScriptLine(copy).stream()).doc(1, my_string("Doc"), my_string("p.htm#b"));
        EXPECT_EQ(read_file(dir / "p.js"), stale) << "held until the end";
        EXPECT_TRUE(script.write());
        EXPECT_EQ(s.MenuScript, nullptr);
    }
    std::string const first = "\taux1 = insFld(foldersTree, gFld(\"Run\", \"p.htm#a\"))\n"
                              "\tinsDoc(aux1, gLnk(\"R\", \"Doc\", \"p.htm#b\"))\n";
    EXPECT_EQ(read_file(dir / "p.js"), first);

    {
        RunMenuScript script(s, false);
        TJSOut(MenuScriptLine(s).stream()).doc(0, my_string("Log"), my_string("log.txt"));
    }
    EXPECT_EQ(read_file(dir / "p.js"), first + "insDoc(foldersTree, gLnk(\"R\", \"Log\", \"log.txt\"))\n");

    // Without a run holding it, a line goes straight to the file.
    TJSOut(MenuScriptLine(s).stream()).doc(0, my_string("Direct"), my_string("d"));
    EXPECT_NE(read_file(dir / "p.js").find("\"Direct\""), std::string::npos);
}

// A run ended by an exception still leaves the script it wrote.
TEST(RunMenuScriptTest, WrittenWhenTheRunUnwinds) {
    scratch::Dir dir("quintle_rewrite");
    settings s;
    s.MenuScriptFileName = (dir / "p.js").string().c_str();
    try {
        RunMenuScript script(s, true);
        TJSOut(MenuScriptLine(s).stream()).doc(0, my_string("Before"), my_string("b"));
        throw std::runtime_error("failed part way");
    } catch (std::runtime_error const&) {
    }
    EXPECT_EQ(s.MenuScript, nullptr);
    EXPECT_EQ(read_file(dir / "p.js"), "insDoc(foldersTree, gLnk(\"R\", \"Before\", \"b\"))\n");
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The program's own reading of the processor agrees with the compiler's
// detection (which the program no longer runs at its start).
TEST(CpuFeatures, AgreeWithTheCompilersDetection) {
    __builtin_cpu_init();
    EXPECT_EQ(cpu::has_popcnt(), __builtin_cpu_supports("popcnt") != 0);
    EXPECT_EQ(cpu::has_avx2(), __builtin_cpu_supports("avx2") != 0);
    bool const wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                      __builtin_cpu_supports("avx512vpopcntdq");
    EXPECT_EQ(cpu::has_avx512_popcount(), wide);
}
#endif

}  // namespace
}  // namespace quintle
