// A project that lists every gene copy on a line of its own (count 1, as
// simulators write their samples) against the same project with each
// haplotype once and its count, through the real program, for DNA, RFLP,
// microsatellite and standard data: every value that does not count the
// list's entries must come out the same, to the digit. The entries are the
// program's haplotypes, so the number of haplotypes (K), the gene diversity
// (H), Fu's Fs and the theta values from them (theta(k), theta(Hom)) do
// count them and differ; everything else (segregating sites, mean pairwise
// differences, Tajima's D and its simulated P value, theta(S), theta(Pi),
// the mismatch distribution, the molecular-diversity batch lines, the AMOVA
// and the pairwise FST with their permutation tests) must not.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);
fs::path const examples_dir = data_dir / ".." / ".." / "examples";

struct Haplotype {
    char const* text;  // the data after the count
    int count;
};

struct Project {
    char const* type;       // DataType
    char const* separator;  // LocusSeparator
    std::vector<Haplotype> north, south;
    std::size_t thetaCells;  // theta(S) and theta(Pi) cells of the theta batch file
};

// The project with each haplotype on one line with its count, or with one
// line per gene copy (identifiers of their own, count 1).
std::string project_text(Project const& p, bool perCopy) {
    std::ostringstream out;
    out << "[Profile]\n  Title=\"Repeated entries\"\n  NbSamples=2\n  DataType=" << p.type
        << "\n  GenotypicData=0\n  LocusSeparator=" << p.separator << "\n  MissingData='?'\n[Data]\n  [[Samples]]\n";
    for (auto const& [name, list] : {std::pair{"North", &p.north}, std::pair{"South", &p.south}}) {
        int size = 0;
        for (Haplotype const& h : *list) size += h.count;
        out << "    SampleName=\"" << name << "\"\n    SampleSize=" << size << "\n    SampleData={\n";
        int id = 0;
        for (Haplotype const& h : *list) {
            if (perCopy) {
                for (int c = 0; c < h.count; ++c) out << "      " << name[0] << ++id << " 1 " << h.text << "\n";
            } else {
                out << "      " << name[0] << ++id << " " << h.count << " " << h.text << "\n";
            }
        }
        out << "    }\n";
    }
    out << "  [[Structure]]\n  StructureName=\"one group\"\n  NbGroups=1\n"
        << "  Group={\n    \"North\"\n    \"South\"\n  }\n";
    return out.str();
}

std::vector<std::string> fields(std::string const& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
    return out;
}

// One run of the program on a project with the example's settings (tasks
// and replicates as below) and statistics list, every batch file on.
class Run {
public:
    Run(std::string const& name, std::string const& project) : dir_("quintle_repeated_" + name), name_(name) {
        write_file(dir_.path() / (name + ".pmp"), project);
        fs::copy_file(examples_dir / "ssdefs.txt", dir_.path() / "ssdefs.txt");
        fs::copy_file(data_dir / "compare" / "all_tasks" / "glbstreams.txt", dir_.path() / "glbstreams.txt");
        std::string settings = read_file(examples_dir / "pml_run.pms");
        // Standard and molecular diversity, mismatch, Tajima's test with 50
        // replicates, the AMOVA and the pairwise FST with 100 permutations.
        std::map<std::string, std::string> const keys = {{"TaskNumber", "1607"},
                                                         {"NumSimulFuTest", "50"},
                                                         {"NumPermutationsAMOVA", "100"},
                                                         {"NumPermutationsFST", "100"}};
        for (auto const& [key, value] : keys)
            settings = std::regex_replace(settings, std::regex("\n" + key + "=[^\n]*"), "\n" + key + "=" + value);
        write_file(dir_.path() / "pml_run.pms", settings);
        std::string const command = "cd '" + dir_.path().string() + "' && QUINTLE_SEED=11 '" + QUINTLE_BINARY +
                                    "' " + name + ".pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int status() const { return status_; }
    std::string file(std::string const& name) const { return read_file(dir_.path() / name); }
    // A batch file with this run's project name taken out of its lines.
    std::string batch(std::string const& name) const {
        return std::regex_replace(file(name), std::regex(name_), "PROJECT");
    }
    std::vector<std::string> batch_files() const {
        std::vector<std::string> out;
        for (auto const& e : fs::directory_iterator(dir_.path()))
            if (e.path().extension() == ".sum") out.push_back(e.path().filename().string());
        return out;
    }
    // Statistics-line columns by name.
    std::map<std::string, std::string> columns() const {
        std::string const text = file("stats.txt");
        std::size_t const end = text.find('\n');
        std::vector<std::string> const names = fields(text.substr(0, end));
        std::vector<std::string> const values = fields(text.substr(end + 1, text.find('\n', end + 1) - end - 1));
        std::map<std::string, std::string> out;
        for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) out[names[i]] = values[i];
        return out;
    }
    std::string log() const { return file(name_ + ".res/Pellomar_log.txt"); }

private:
    quintle::scratch::Dir dir_;
    std::string name_;
    int status_ = -1;
};

// The columns that count the entries.
bool counts_entries(std::string const& column) {
    return column.rfind("K_", 0) == 0 || column.rfind("H_", 0) == 0 || column.rfind("FS_", 0) == 0 ||
           column == "mean_K" || column == "mean_H" || column == "mean_FS";
}

// The theta(S) and theta(Pi) cells of each line of the theta batch file.
std::vector<std::string> theta_s_and_pi(std::string const& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> const f = fields(line);
        for (std::size_t i = 1; i < f.size(); ++i)
            if (f[i] == "(S)" || f[i] == "(Pi)") out.push_back(f[i - 1] + f[i]);
    }
    return out;
}

void expect_same_values(Project const& p) {
    Run compact("compact", project_text(p, false));
    Run lines("lines", project_text(p, true));
    ASSERT_EQ(compact.status(), 0) << compact.file("console.txt");
    ASSERT_EQ(lines.status(), 0) << lines.file("console.txt");
    ASSERT_NE(compact.log().find("Successful run"), std::string::npos) << compact.log();
    ASSERT_NE(lines.log().find("Successful run"), std::string::npos) << lines.log();

    std::map<std::string, std::string> const a = compact.columns(), b = lines.columns();
    ASSERT_FALSE(a.empty());
    int compared = 0;
    for (auto const& [name, value] : a) {
        if (counts_entries(name)) continue;
        ASSERT_TRUE(b.count(name)) << name;
        EXPECT_EQ(b.at(name), value) << name;
        ++compared;
    }
    EXPECT_GE(compared, 2);
    EXPECT_TRUE(a.count("FST")) << "the AMOVA reached the line";

    std::set<std::string> const entryCounting = {"gen_div.sum", "fu_fs.sum", "theta.sum"};
    std::vector<std::string> const files = compact.batch_files();
    EXPECT_GT(files.size(), 5u);
    for (std::string const& f : files) {
        if (entryCounting.count(f)) continue;
        EXPECT_EQ(lines.batch(f), compact.batch(f)) << f;
    }
    std::vector<std::string> const thetas = theta_s_and_pi(compact.file("theta.sum"));
    EXPECT_EQ(theta_s_and_pi(lines.file("theta.sum")), thetas);
    EXPECT_EQ(thetas.size(), p.thetaCells);
    // And the entries were counted as entries.
    EXPECT_NE(a.at("K_1"), b.at("K_1"));
}

TEST(RepeatedEntries, DnaSequences) {
    expect_same_values({"DNA",
                        "NONE",
                        {{"ACGTACGTACGTAC", 3}, {"ACGTTCGTACGTAC", 2}, {"ACGAACGTACGTAA", 1}, {"ACGTACGTACG-AC", 2}},
                        {{"ACGAACGTACGTAA", 2}, {"TCGTACGTACGTAC", 3}, {"ACGTTCGTACGTAC", 1}, {"ACGTACGTAC?TAC", 1}},
                        4});
}

TEST(RepeatedEntries, RflpSites) {
    expect_same_values({"RFLP",
                        "NONE",
                        {{"0101100110", 3}, {"0111100110", 2}, {"1101000110", 1}},
                        {{"1101001110", 3}, {"0100100111", 2}, {"0101100110", 2}},
                        0});
}

TEST(RepeatedEntries, MicrosatelliteSizes) {
    expect_same_values({"MICROSAT",
                        "WHITESPACE",
                        {{"120 134 210", 3}, {"122 134 212", 2}, {"120 136 210", 2}},
                        {{"118 130 212", 2}, {"124 130 216", 3}, {"120 134 210", 1}},
                        0});
}

TEST(RepeatedEntries, StandardAlleles) {
    expect_same_values({"STANDARD",
                        "NONE",
                        {{"0100111101", 3}, {"1100001000", 2}, {"1000001001", 2}},
                        {{"0000001101", 2}, {"0100111101", 3}, {"1001101110", 1}},
                        0});
}

}  // namespace
