// Translations started together in one folder, each in its own process
// (the front end quintle_translate, as a caller runs it): every target holds
// its own source's data, and no intermediate project or result sink is left
// behind. The processes are held at a gate and let go at once, so that they
// overlap as much as the machine lets them; nothing depends on its speed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

class TranslateTogether : public TranslateTest {
protected:
    // Starts the front end on `call` in the work folder, its standard error
    // to `err`. With a gate, the child waits until the gate's write end is
    // closed.
    pid_t start(std::vector<std::string> const& call, fs::path const& err, int const* gate = nullptr) {
        std::vector<std::string> args = {QUINTLE_TRANSLATE_BINARY, work.string() + "/"};
        args.insert(args.end(), call.begin(), call.end());
        pid_t const pid = ::fork();
        if (pid != 0) return pid;
        if (gate != nullptr) {
            ::close(gate[1]);
            char c;
            while (::read(gate[0], &c, 1) > 0) {
            }
        }
        if (::chdir(work.c_str()) != 0) ::_exit(3);
        int const fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(4);
    }

    // Starts one front end per argument list in the work folder, all let go
    // at once; waits for every one. Each process's standard error goes to
    // err<k>.txt.
    void run_together(std::vector<std::vector<std::string>> const& calls) {
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> children;
        for (std::size_t k = 0; k < calls.size(); ++k) {
            pid_t const pid = start(calls[k], work / ("err" + std::to_string(k) + ".txt"), gate);
            ASSERT_GE(pid, 0);
            children.push_back(pid);
        }
        ::close(gate[0]);
        ::close(gate[1]);  // the gate opens
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
    }

    // Files of the work folder whose names start with `prefix`.
    std::vector<std::string> left_behind(std::string const& prefix) const {
        std::vector<std::string> out;
        for (auto const& entry : fs::directory_iterator(work)) {
            std::string const name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0) out.push_back(name);
        }
        return out;
    }
};

// Six GenePop and six Phylip sources of different data, all in one folder
// that is also the program folder and the working folder, translated to
// projects at once, three rounds over.
TEST_F(TranslateTogether, EachTargetHoldsItsOwnSource) {
    int const genepops = 6, phylips = 6;
    // GenePop source g: individuals "g<g>i<k>", k < g + 2, with two
    // genotypes of two-digit alleles made from g and k.
    auto genepop_alleles = [](int g, int k) {
        return std::vector<int>{g + 1, k + 1, (g + k) % 9 + 1, (g * k) % 7 + 1};
    };
    // Phylip source f: taxa "f<f>t<k>", k < f + 3, of eight sites.
    auto sequence = [](int f, int k) {
        std::string s;
        for (int i = 0; i < 8; ++i) s += "ACGT"[(f * 3 + k * 5 + i * i) % 4];
        return s;
    };
    for (int g = 0; g < genepops; ++g) {
        std::string text = "Source " + std::to_string(g) + "\nloc1, loc2\nPop\n";
        for (int k = 0; k < g + 2; ++k) {
            std::vector<int> const a = genepop_alleles(g, k);
            char genotypes[32];
            std::snprintf(genotypes, sizeof genotypes, "%02d%02d %02d%02d", a[0], a[1], a[2], a[3]);
            text += "g" + std::to_string(g) + "i" + std::to_string(k) + ", " + genotypes + "\n";
        }
        put(work / ("g" + std::to_string(g) + ".gen"), text);
    }
    for (int f = 0; f < phylips; ++f) {
        std::string text = std::to_string(f + 3) + " 8\n";
        for (int k = 0; k < f + 3; ++k) {
            std::string name = "f" + std::to_string(f) + "t" + std::to_string(k);
            name.resize(10, ' ');
            text += name + sequence(f, k) + "\n";
        }
        put(work / ("f" + std::to_string(f) + ".phy"), text);
    }

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::vector<std::string>> calls;
        for (int g = 0; g < genepops; ++g)
            calls.push_back({"Genepop", "Pellomar", path("g" + std::to_string(g) + ".gen"),
                             path("g" + std::to_string(g) + ".pmp"), "1"});
        for (int f = 0; f < phylips; ++f)
            calls.push_back({"Phylip", "Pellomar", path("f" + std::to_string(f) + ".phy"),
                             path("f" + std::to_string(f) + ".pmp")});
        run_together(calls);

        for (std::size_t k = 0; k < calls.size(); ++k)
            EXPECT_EQ(slurp(work / ("err" + std::to_string(k) + ".txt")), "") << calls[k][2];
        for (int g = 0; g < genepops; ++g) {
            std::string const target = "g" + std::to_string(g) + ".pmp";
            Project p;
            ASSERT_EQ(read_back(target, p), 1) << file(target);
            EXPECT_EQ(std::string(p.Title.c_str()), "Source " + std::to_string(g));
            ASSERT_EQ(p.samples->Populations.count, 1) << target;
            Population const* pop = p.samples->Populations[0];
            ASSERT_EQ(pop->phenotypes.size(), g + 2) << target;
            for (int k = 0; k < g + 2; ++k) {
                TPhenotype const* ind = pop->phenotypes[k];
                std::vector<int> const a = genepop_alleles(g, k);
                EXPECT_EQ(std::string(ind->name.c_str()),
                          "g" + std::to_string(g) + "i" + std::to_string(k) + "_" + std::to_string(k + 1));
                EXPECT_EQ(quintle::trimmed(ind->alleleString1.c_str()),
                          std::to_string(a[0]) + " " + std::to_string(a[2]))
                    << target;
                EXPECT_EQ(quintle::trimmed(ind->alleleString2.c_str()),
                          std::to_string(a[1]) + " " + std::to_string(a[3]))
                    << target;
            }
            fs::remove(work / target);
        }
        for (int f = 0; f < phylips; ++f) {
            std::string const target = "f" + std::to_string(f) + ".pmp";
            Project p;
            ASSERT_EQ(read_back(target, p), 1) << file(target);
            ASSERT_EQ(p.samples->Populations.count, 1) << target;
            Population const* pop = p.samples->Populations[0];
            ASSERT_EQ(pop->haplotypes.count, f + 3) << target;
            for (int k = 0; k < f + 3; ++k) {
                HaploDef const* h = pop->haplotypes[k]->haplotype;
                EXPECT_EQ(std::string(h->id.c_str()), "f" + std::to_string(f) + "t" + std::to_string(k));
                EXPECT_EQ(std::string(h->data.c_str()), sequence(f, k)) << target;
            }
            fs::remove(work / target);
        }
        EXPECT_EQ(left_behind("dum_pml"), std::vector<std::string>{});
        EXPECT_EQ(left_behind("trans_out"), std::vector<std::string>{});
        EXPECT_EQ(left_behind("pml_run"), std::vector<std::string>{});
    }
    // The log beside the sources is shared: it is there, and it is the
    // log of one of them.
    EXPECT_NE(run_log().find("\tReading  "), std::string::npos);
}


// True once the process `pid` waits for a lock that another holds (a line
// "n: -> FLOCK ... <pid> ..." of the kernel's lock table); false when the
// table cannot be read.
bool waits_for_lock(pid_t pid) {
    std::ifstream table("/proc/locks");
    for (std::string line; std::getline(table, line);) {
        std::istringstream words(line);
        std::string number, arrow, kind, advisory, mode, holder;
        if (words >> number >> arrow >> kind >> advisory >> mode >> holder && arrow == "->" &&
            holder == std::to_string(pid))
            return true;
    }
    return false;
}

// A project translated while a run of it holds its result folder: the
// translation waits (its cleaned copy goes where the run's does), then
// gives the target of a lone translation. Started together, translations of
// one project had their copies overwritten and removed by each other.
TEST_F(TranslateTogether, ProjectSourceWaitsForItsResultFolder) {
    put(work / "cats.gen", slurp(translateData / "nancycats.gen"));
    translate("Genepop", "Pellomar", "cats.gen", "cats.pmp", {"1"});
    translate("Pellomar", "Genepop", "cats.pmp", "lone.gen");
    ASSERT_FALSE(failed()) << run_log();

    fs::create_directories(work / "cats.res");
    int const lock = ::open((work / "cats.res" / ".quintle_run.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    pid_t const child = start({"Pellomar", "Genepop", path("cats.pmp"), path("waited.gen")}, work / "err.txt");
    ASSERT_GE(child, 0);
    if (std::ifstream("/proc/locks").good()) {
        // Bounded only so that a translation that never asks for the lock
        // fails the test instead of hanging it.
        for (int i = 0; i < 6000 && !waits_for_lock(child); ++i) ::usleep(10000);
        EXPECT_TRUE(waits_for_lock(child));
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0);
    EXPECT_FALSE(fs::exists(work / "waited.gen"));

    ::close(lock);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(slurp(work / "err.txt"), "");
    EXPECT_EQ(file("waited.gen"), file("lone.gen"));

    // A result folder that cannot be made refuses the translation, as it
    // refuses a run.
    fs::remove_all(work / "cats.res");
    put(work / "cats.res", "mine\n");
    translate("Pellomar", "Genepop", "cats.pmp", "refused.gen");
    EXPECT_TRUE(failed()) << run_log();
    EXPECT_NE(run_log().find("Cannot create the result folder: " + path("cats.res") + " exists and is not a folder."),
              std::string::npos)
        << run_log();
    EXPECT_EQ(file("refused.gen"), "  Impossible to translate this file: its data could not be read (see the log).\n");
}

}  // namespace
}  // namespace quintle::test
