// The real program against what a pipeline may throw at it: several runs of
// one project at once, folders it may not write, pipes and devices where
// files should be, endless lines and memory running out. Each run must end
// with exit status 0, a log that says how the project ended (when a log can
// be made at all), one line on standard error for a failed project, and a
// statistics file that keeps what it had.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "core/input_files.h"
#include "core/scratch.h"
#include "support/sanitized_build.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "hardening";

constexpr bool sanitized = test::sanitized_build;

// Memory bound of the runs that read endless input; the sanitizers need far
// more address space than any bound would leave them.
std::string const memory_bound = sanitized ? "" : "ulimit -v 1000000; ";

std::string quote(std::string const& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class Hardening : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(work);
        fs::copy_file(data_dir / "tiny.pmp", work / "p.pmp");
        fs::copy_file(data_dir / "diversity.pms", work / "pml_run.pms");
        write_file(work / "ssdefs.txt", "POP_LEVEL\nALL_K ALL_H\n");
        write_file(stats, "earlier\n");
    }

    // The program run in `dir` (the work folder by default) by a shell
    // command that starts with `prefix`; the statistics file is appended to.
    // A run that hangs is cut after ten minutes and fails the test: a guard
    // only, far above the slowest case under the sanitizers on two cores.
    Outcome run(std::string const& project, std::string const& prefix = "", fs::path const& dir = {}) const {
        fs::path const where = dir.empty() ? work : dir;
        std::string const command = "cd " + quote(where.string()) + " && " + prefix + "env -u QUINTLE_SEED timeout 600 " +
                                    quote(QUINTLE_BINARY) + " " + quote(project) + " " + quote(stats.string()) +
                                    " 1 0 > " + quote(out_file.string()) + " 2> " + quote(err_file.string());
        int const raw = std::system(("sh -c " + quote(command)).c_str());
        Outcome o;
        o.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        o.out = read_file(out_file);
        o.err = read_file(err_file);
        return o;
    }

    std::string log(std::string const& res = "p.res") const { return read_file(work / res / "Pellomar_log.txt"); }

    scratch::Dir dir{"quintle_hardening"};
    fs::path const work = dir / "work";
    fs::path const stats = dir / "stats.txt";
    fs::path const out_file = dir / "out.txt";
    fs::path const err_file = dir / "err.txt";
};

bool ends_with(std::string const& text, std::string const& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// H of sample a: 4/3 (1 - 9/16 - 1/16) = 0.5; of sample b: 3/2 (1 - 1/9 - 4/9).
constexpr char tiny_line[] = "2\t2\t0.5\t0.666667\t\n";

TEST_F(Hardening, ConcurrentRunsOfOneProjectEachWriteTheirWholeLine) {
    // Without a seed every run also rewrites "randseed.txt" in the shared
    // working folder.
    int const processes = sanitized ? 4 : 8;
    int const runs = sanitized ? 5 : 25;
    fs::remove(stats);
    std::string const loop = "i=0; while [ $i -lt " + std::to_string(runs) + " ]; do " + quote(QUINTLE_BINARY) +
                             " p.pmp " + quote(stats.string()) + " 1 0 >/dev/null 2>>" + quote(err_file.string()) +
                             " || exit 1; i=$((i+1)); done";
    std::string command = "cd " + quote(work.string()) + " && unset QUINTLE_SEED; ";
    for (int p = 0; p < processes; ++p) command += "( " + loop + " ) & ";
    command += "wait";
    ASSERT_EQ(std::system(("sh -c " + quote(command)).c_str()), 0);

    std::string const text = read_file(stats);
    std::string expected;
    for (int i = 0; i < processes * runs; ++i) expected += tiny_line;
    EXPECT_EQ(text, expected);
    EXPECT_EQ(read_file(err_file), "");
    EXPECT_TRUE(ends_with(log(), "Successful run of p.pmp\n")) << log();
    EXPECT_TRUE(std::regex_match(read_file(work / "randseed.txt"),
                                 std::regex("Random number generator initialized with lidum=-[0-9]+\n")));
    // No working copy and no run file left behind.
    for (auto const& e : fs::directory_iterator(work / "p.res")) EXPECT_NE(e.path().filename(), "p.pmp");
    for (auto const& e : fs::directory_iterator(work)) {
        EXPECT_NE(e.path().filename().string().rfind("pml_run_", 0), 0u) << e.path();
    }
}

// True when `text` is made of whole copies of `blocks`, each block used
// exactly `times` times, in any order.
bool made_of_blocks(std::string_view text, std::vector<std::string> blocks, int times) {
    // Longest first: a block may begin like a shorter one.
    std::sort(blocks.begin(), blocks.end(), [](auto const& a, auto const& b) { return a.size() > b.size(); });
    std::vector<int> left(blocks.size(), times);
    while (!text.empty()) {
        std::size_t k = 0;
        while (k < blocks.size() && !(left[k] > 0 && !blocks[k].empty() && text.starts_with(blocks[k]))) ++k;
        if (k == blocks.size()) return false;
        --left[k];
        text.remove_prefix(blocks[k].size());
    }
    return std::all_of(left.begin(), left.end(), [](int n) { return n == 0; });
}

// Runs of different projects at once in one working folder, every batch file
// on: each run's text reaches each batch file whole (title, header and its
// lines together), none is lost, the file rewritten by each run holds one
// run's text, and the statistics file gets every line. The runs are compared
// with the same projects run alone, under the same seed.
TEST_F(Hardening, ConcurrentRunsOfDifferentProjectsKeepTheirBatchTextWhole) {
    int const processes = sanitized ? 4 : 8;
    int const runs = sanitized ? 3 : 10;
    fs::path const all_tasks = fs::path(QUINTLE_TEST_DATA_DIR) / "compare" / "all_tasks";
    auto folder = [&](fs::path const& where) {
        fs::create_directories(where);
        for (char const* f : {"pml_run.pms", "ssdefs.txt", "glbstreams.txt"}) fs::copy_file(all_tasks / f, where / f);
    };
    auto name = [](int p) { return "p" + std::to_string(p) + ".pmp"; };
    auto run_line = [&](fs::path const& where, int p) {
        return "cd " + quote(where.string()) + " && QUINTLE_SEED=7 " + quote(QUINTLE_BINARY) + " " + name(p) +
               " stats.txt 1 0 >/dev/null 2>>" + quote(err_file.string());
    };
    fs::path const shared = dir / "shared";
    folder(shared);
    std::string alone_runs = "true";
    for (int p = 0; p < processes; ++p) {
        fs::path const own = dir / ("alone" + std::to_string(p));
        folder(own);
        fs::copy_file(data_dir / "tiny.pmp", own / name(p));
        fs::copy_file(data_dir / "tiny.pmp", shared / name(p));
        alone_runs += " && (" + run_line(own, p) + ")";
    }
    ASSERT_EQ(std::system(("sh -c " + quote(alone_runs)).c_str()), 0);

    std::string together;
    for (int p = 0; p < processes; ++p) {
        together += "( i=0; while [ $i -lt " + std::to_string(runs) + " ]; do (" + run_line(shared, p) +
                    ") || exit 1; i=$((i+1)); done ) & ";
    }
    ASSERT_EQ(std::system(("sh -c " + quote(together + "wait")).c_str()), 0);
    EXPECT_EQ(read_file(err_file), "");

    int files = 0;
    for (auto const& e : fs::directory_iterator(dir / "alone0")) {
        std::string const file = e.path().filename().string();
        bool const summary = e.path().extension() == ".sum";
        if (!summary && file != "only_mismatch_sp.txt") continue;
        SCOPED_TRACE(file);
        ++files;
        std::vector<std::string> alone;
        for (int p = 0; p < processes; ++p) alone.push_back(read_file(dir / ("alone" + std::to_string(p)) / file));
        std::string const text = read_file(shared / file);
        if (summary) {
            EXPECT_TRUE(made_of_blocks(text, alone, runs)) << text;
        } else {
            // Rewritten by every run: one run's text, whole.
            EXPECT_NE(std::find(alone.begin(), alone.end(), text), alone.end()) << text;
        }
    }
    EXPECT_EQ(files, 28);
    std::string const line = read_file(dir / "alone0" / "stats.txt");
    std::string expected;
    for (int i = 0; i < processes * runs; ++i) expected += line;
    EXPECT_EQ(read_file(shared / "stats.txt"), expected);
    for (int p = 0; p < processes; ++p) {
        std::string const text = read_file(shared / ("p" + std::to_string(p) + ".res") / "Pellomar_log.txt");
        EXPECT_TRUE(ends_with(text, "Successful run of " + name(p) + "\n")) << text;
    }
}

TEST_F(Hardening, RunsOfOtherProjectsDoNotWait) {
    // This test holds project a's lock the way a running program would.
    fs::copy_file(work / "p.pmp", work / "a.pmp");
    fs::create_directories(work / "a.res");
    int const lock = ::open((work / "a.res" / ".quintle_run.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    fs::path const stats_a = dir / "a.txt";
    pid_t const waiting = ::fork();
    ASSERT_GE(waiting, 0);
    if (waiting == 0) {
        std::string const command = "cd " + quote(work.string()) + " && " + quote(QUINTLE_BINARY) + " a.pmp " +
                                    quote(stats_a.string()) + " 1 0 >/dev/null 2>&1";
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }

    Outcome const other = run("p.pmp");
    EXPECT_EQ(other.status, 0);
    EXPECT_EQ(read_file(stats), std::string("earlier\n") + tiny_line);
    // However far it got, the run of a cannot have finished: its lock is held.
    int status = 0;
    EXPECT_EQ(::waitpid(waiting, &status, WNOHANG), 0);
    EXPECT_FALSE(fs::exists(stats_a));

    ::close(lock);
    ASSERT_EQ(::waitpid(waiting, &status, 0), waiting);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file(stats_a), tiny_line);
    EXPECT_TRUE(ends_with(log("a.res"), "Successful run of a.pmp\n"));
}

// Runs without a log: standard error says why; the statistics file keeps
// its lines.
TEST_F(Hardening, FailuresWithoutALogSayWhy) {
    struct Case {
        char const* name;
        std::function<void(fs::path const&)> prepare;
        std::string project;
        std::string reason;
    };
    std::vector<Case> const cases = {
        {"result folder name taken by a file", [](fs::path const& w) { write_file(w / "p.res", "mine\n"); }, "p.pmp",
         "cannot create the result folder: p.res exists and is not a folder"},
        {"project is a pipe", [](fs::path const& w) { fs::remove(w / "p.pmp"); ::mkfifo((w / "p.pmp").c_str(), 0644); },
         "p.pmp", "cannot read the project file: not a regular file (a device or a pipe)"},
        {"project is a folder", [](fs::path const& w) { fs::create_directories(w / "q.pmp"); }, "q.pmp",
         "cannot read the project file: a folder, not a regular file"},
        {"project is a device", [](fs::path const&) {}, "/dev/zero",
         "cannot read the project file: not a regular file (a device or a pipe)"},
        {"project is a file of /proc",
         [](fs::path const& w) {
             fs::remove(w / "p.pmp");
             fs::create_symlink("/proc/self/status", w / "p.pmp");
         },
         "p.pmp", "cannot read the project file: a file of the kernel (/proc, /sys), not a data file"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(work);
        SetUp();
        c.prepare(work);
        Outcome const o = run(c.project);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "quintle: error during run of " + c.project + "; " + c.reason + "\n");
        EXPECT_EQ(read_file(stats), "earlier\n");
        EXPECT_FALSE(fs::exists(work / "p.htm")) << "nothing is written beside the project";
    }
    EXPECT_EQ(read_file(work / "pml_pro.txt"), "error\n");
}

// Folders the program may not write. Root may write anywhere: then the runs
// are made as an unprivileged user, where the system allows it.
TEST_F(Hardening, ReadOnlyFoldersAreReported) {
    std::string as_user;
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "running as root without setpriv";
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        fs::permissions(dir.path(), fs::perms::all);
        fs::permissions(stats, fs::perms::all);
    }
    fs::create_directories(work / "data");
    fs::copy_file(work / "p.pmp", work / "data" / "p.pmp");
    fs::permissions(work / "data", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(work, fs::perms::all);

    // A project in a folder that cannot hold its result folder.
    Outcome o = run("data/p.pmp", as_user);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "quintle: error during run of data/p.pmp; cannot create the result folder data/p.res: "
                     "Permission denied\n");

    // A working folder that cannot hold the run file.
    fs::permissions(work, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    o = run("p.pmp", as_user);
    fs::permissions(work, fs::perms::owner_all);
    fs::permissions(work / "data", fs::perms::owner_all);
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(std::regex_match(o.err, std::regex("quintle: error during run of p\\.pmp; cannot write the run file "
                                                   "pml_run_[0-9]+\\.txt in the working folder: Permission denied\n")))
        << o.err;
    EXPECT_EQ(read_file(stats), "earlier\n");

    // A result folder that is there but read-only, before and after a run
    // of another user left its lock file in it.
    fs::permissions(work, fs::perms::all);
    fs::permissions(work / "data", fs::perms::all);
    fs::create_directories(work / "data" / "p.res");
    auto const read_only = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(work / "data" / "p.res", read_only);
    o = run("data/p.pmp", as_user);
    EXPECT_EQ(o.err, "quintle: error during run of data/p.pmp; cannot create data/p.res/.quintle_run.lock: "
                     "Permission denied\n");
    fs::permissions(work / "data" / "p.res", fs::perms::owner_all);
    write_file(work / "data" / "p.res" / ".quintle_run.lock", "");
    fs::permissions(work / "data" / "p.res", read_only);
    o = run("data/p.pmp", as_user);
    fs::permissions(work / "data" / "p.res", fs::perms::owner_all);
    EXPECT_EQ(o.err, "quintle: error during run of data/p.pmp; cannot create the log data/p.res/Pellomar_log.txt: "
                     "Permission denied\n");
    EXPECT_EQ(read_file(stats), "earlier\n");
}

// External files that never end, block or are not files at all, and lines
// beyond any real one: the project fails, memory stays bounded.
TEST_F(Hardening, UnboundedInputFailsTheProject) {
    struct Case {
        char const* name;
        std::function<void(fs::path const&)> make;
        std::string project;
        std::string log_line;
    };
    std::string const long_line = "is longer than " + std::to_string(max_input_line) + " characters";
    auto sparse = [](fs::path const& p) {
        write_file(p, "");
        fs::resize_file(p, max_input_line + 1);
    };
    std::vector<Case> const cases = {
        {"zeros", [](fs::path const& d) { fs::create_symlink("/dev/zero", d); }, "e.pmp", "is not a regular file"},
        {"random bytes", [](fs::path const& d) { fs::create_symlink("/dev/urandom", d); }, "e.pmp",
         "is not a regular file"},
        {"pipe", [](fs::path const& d) { ::mkfifo(d.c_str(), 0644); }, "e.pmp", "is not a regular file"},
        {"folder", [](fs::path const& d) { fs::create_directories(d); }, "e.pmp", "is a folder, not a regular file"},
        {"file of /proc", [](fs::path const& d) { fs::create_symlink("/proc/self/status", d); }, "e.pmp",
         "is a file of the kernel (/proc, /sys), not a data file"},
        // Lines past what the readers take but far below the reading bound:
        // the log names the line.
        {"external line past the readers",
         [](fs::path const& d) { write_file(d, "h1 3 " + std::string(1001095, 'A') + "\n"); }, "e.pmp",
         "Line 1 of \"data.txt\" holds 1001100 characters"},
        {"project line past the readers",
         [](fs::path const& d) {
             write_file(d.parent_path() / "e.pmp", "[Profile]\n  Title=\"" + std::string(1001093, 't') + "\"\n");
         },
         // The copy keeps one of the two leading blanks.
         "e.pmp", "Line 2 of \"e.pmp\" holds 1001102 characters"},
        {"external line without end", sparse, "e.pmp", long_line},
        {"project line without end", [&](fs::path const& d) { sparse(d.parent_path() / "e.pmp"); }, "e.pmp",
         "Line 1 of \"e.pmp\" " + long_line},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(work);
        SetUp();
        fs::copy_file(data_dir / "extern_sample.pmp", work / "e.pmp", fs::copy_options::overwrite_existing);
        c.make(work / "data.txt");
        Outcome const o = run(c.project, memory_bound);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "quintle: error during run of e.pmp; see e.res/Pellomar_log.txt\n");
        std::string const text = log("e.res");
        EXPECT_NE(text.find(c.log_line), std::string::npos) << text;
        EXPECT_TRUE(ends_with(text, "Error during run of e.pmp\n")) << text;
        EXPECT_EQ(read_file(stats), "earlier\n");
        EXPECT_FALSE(fs::exists(work / "e.res" / "e.pmp")) << "no working copy left";
    }
}

// Settings, statistics list, batch flags and batch files that are pipes,
// devices or files of /proc never block a run. A settings file or
// statistics list that is there but not a data file fails the project, with
// the reason on standard error and in the log; the batch flags and files
// are passed over as files that cannot be opened are.
TEST_F(Hardening, SpecialFilesInTheWorkingFolderDoNotBlock) {
    enum class Kind { pipe, device, kernel };
    struct Case {
        char const* file;
        Kind kind;
        std::string err;  // after "quintle: error during run of p.pmp; ", empty: no failure
        std::string stats;
    };
    std::string const settings = "cannot read the settings file " + fs::canonical(work).string() + "/pml_run.pms: ";
    std::string const list = "cannot read the statistics list ssdefs.txt: ";
    std::string const not_regular = "not a regular file (a device or a pipe)";
    std::string const kernel = "a file of the kernel (/proc, /sys), not a data file";
    std::string const ran = std::string("earlier\n") + tiny_line;
    std::vector<Case> const cases = {
        {"pml_run.pms", Kind::pipe, settings + not_regular, "earlier\n"},
        {"pml_run.pms", Kind::device, settings + not_regular, "earlier\n"},
        {"pml_run.pms", Kind::kernel, settings + kernel, "earlier\n"},
        {"ssdefs.txt", Kind::pipe, list + not_regular, "earlier\n"},
        {"ssdefs.txt", Kind::device, list + not_regular, "earlier\n"},
        {"ssdefs.txt", Kind::kernel, list + kernel, "earlier\n"},
        {"glbstreams.txt", Kind::pipe, "", ran},
        {"glbstreams.txt", Kind::kernel, "", ran},
        // Opening a pipe to write waits for a reader; its lines are lost.
        {"tajima.sum", Kind::pipe, "", ran},
    };
    std::string const lost_pipe = "the batch file tajima.sum: not a regular file (a device or a pipe); its lines";
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(static_cast<int>(c.kind)));
        fs::remove_all(work);
        SetUp();
        write_file(work / "glbstreams.txt", "batch files\n_TAJIMA_ _GENE_DIVERSITY_\n");
        fs::remove(work / c.file);
        switch (c.kind) {
            case Kind::pipe: ::mkfifo((work / c.file).c_str(), 0644); break;
            case Kind::device: fs::create_symlink("/dev/zero", work / c.file); break;
            case Kind::kernel: fs::create_symlink("/proc/self/status", work / c.file); break;
        }
        Outcome const o = run("p.pmp");
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(read_file(stats), c.stats);
        std::string const text = log();
        if (c.err.empty() && std::string(c.file) == "tajima.sum") {
            EXPECT_EQ(o.err, "quintle: cannot write " + lost_pipe + " are lost\n");
            EXPECT_NE(text.find("Cannot write " + lost_pipe + " of this run are lost\n"), std::string::npos) << text;
            EXPECT_TRUE(ends_with(text, "Successful run of p.pmp\n")) << text;
        } else if (c.err.empty()) {
            EXPECT_EQ(o.err, "");
            EXPECT_TRUE(ends_with(text, "Successful run of p.pmp\n")) << text;
        } else {
            EXPECT_EQ(o.err, "quintle: error during run of p.pmp; " + c.err + "; see p.res/Pellomar_log.txt\n");
            EXPECT_NE(text.find(c.err.substr(c.err.find(": ") + 2)), std::string::npos) << text;
            EXPECT_TRUE(ends_with(text, "Error during run of p.pmp\n")) << text;
        }
    }
    // The last case: the other batch file got its line.
    EXPECT_NE(read_file(work / "gen_div.sum").find("\"p.res/p.pmp\"\t\"a\""), std::string::npos)
        << read_file(work / "gen_div.sum");
}

// Batch files that cannot be written lose their lines, and say so on
// standard error (once for the run) and in the log of each project; the run
// itself, its exit status and the other files are as they would be.
TEST_F(Hardening, BatchFilesThatCannotBeWrittenAreReported) {
    std::string as_user;
    if (::geteuid() == 0 && fs::exists("/usr/bin/setpriv")) {
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        fs::permissions(dir.path(), fs::perms::all);
        fs::permissions(work, fs::perms::all);
        fs::permissions(stats, fs::perms::all);
    }
    write_file(work / "glbstreams.txt", "batch files\n_TAJIMA_ _GENE_DIVERSITY_\n");
    fs::create_directories(work / "gen_div.sum");
    bool const read_only = ::geteuid() != 0 || !as_user.empty();
    if (read_only) {
        write_file(work / "tajima.sum", "older lines\n");
        fs::permissions(work / "tajima.sum", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    Outcome const o = run("p.pmp", as_user);
    EXPECT_EQ(o.status, 0);
    std::string const directory = "the batch file gen_div.sum: Is a directory; its lines";
    std::string const denied = "the batch file tajima.sum: Permission denied; its lines";
    std::string expected_err = "quintle: cannot write " + directory + " are lost\n";
    if (read_only) expected_err += "quintle: cannot write " + denied + " are lost\n";
    EXPECT_EQ(o.err, expected_err);
    std::string const text = log();
    EXPECT_NE(text.find("Cannot write " + directory + " of this run are lost\n"), std::string::npos) << text;
    if (read_only) {
        EXPECT_NE(text.find("Cannot write " + denied + " of this run are lost\n"), std::string::npos) << text;
        EXPECT_EQ(read_file(work / "tajima.sum"), "older lines\n");
    }
    EXPECT_TRUE(ends_with(text, "Successful run of p.pmp\n")) << text;
    EXPECT_EQ(read_file(stats), std::string("earlier\n") + tiny_line);
}

// Unphased individuals without copies. A sample whose counts all are 0 is
// a sample without data: the project stops. Individuals of count 0 among
// counted ones stay; the linkage test says once per pair, not once per
// permutation, that they are laid out with the others.
TEST_F(Hardening, IndividualsWithoutCopies) {
    write_file(work / "pml_run.pms",
               "[Setting for Calculations]\nTaskNumber=1553\nXMLOutput=0\nMakeExactTestLD=1\nMarkovChainStepsLD=100\n"
               "InitialCondEMLD=2\nInitialConditionsEM=2\nMaximumNumOfIterationsEM=100\nEpsilonValue=1e-7\n"
               "HaplAMOVA=1\nNumPermutationsAMOVA=10\nComputePairwiseFST=1\nNumPermutationsFST=10\n");
    auto count = [](std::string const& text, std::string const& part) {
        long n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    };

    fs::copy_file(data_dir / "zero_copies.pmp", work / "z.pmp");
    Outcome o = run("z.pmp");
    EXPECT_EQ(o.status, 0);
    std::string text = log("z.res");
    EXPECT_NE(text.find("\tSample \"a\" holds no gene copy: the counts of its individuals sum to 0.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("from function \"Samples::verify_data()\" : a population has no defined data"),
              std::string::npos)
        << text;
    EXPECT_TRUE(ends_with(text, "Error during run of z.pmp\n")) << text;
    EXPECT_EQ(read_file(stats), "earlier\n");

    // 100 steps: 10 blocks of 11 permutations, one pair of loci per sample.
    fs::copy_file(data_dir / "zero_count_individuals.pmp", work / "c.pmp");
    o = run("c.pmp");
    EXPECT_EQ(o.status, 0);
    text = log("c.res");
    EXPECT_EQ(count(text, "number of phenotypes changed after DB expansion"), 2) << text;
    EXPECT_EQ(count(text, "from function \"TPhenDB::explode_base() (in 110 permutations)\""), 2) << text;
    EXPECT_TRUE(ends_with(text, "Successful run of c.pmp\n")) << text;
}

// A line longer than the reading chunks but below the bound is read whole:
// 100,000 sites with differences at both ends and in the middle.
TEST_F(Hardening, LongSequencesAreReadWhole) {
    std::string first(100000, 'A');
    std::string second = first;
    for (std::size_t site : {std::size_t{0}, std::size_t{70000}, std::size_t{99999}}) second[site] = 'C';
    write_file(work / "p.pmp", "[Profile]\n NbSamples=1\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
                               " MissingData='?'\n[Data]\n [[Samples]]\n SampleName=\"long\"\n SampleSize=3\n"
                               " SampleData={\n h1 2 " + first + "\n h2 1 " + second + "\n }\n");
    write_file(work / "pml_run.pms", "[Setting for Calculations]\nTaskNumber=3\nXMLOutput=0\nTransitionWeight=1\n"
                                        "TranversionWeight=1\nDeletionWeight=1\n");
    write_file(work / "ssdefs.txt", "POP_LEVEL\nALL_K ALL_S\n");
    Outcome const o = run("p.pmp");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(read_file(stats), "earlier\n2\t3\t\n");
}

}  // namespace
}  // namespace quintle
