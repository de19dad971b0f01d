// Phylip files to projects and back. The alignments were written by R's ape
// (10 wood mice, sites 300 to 344 of the woodmouse data set):
//   library(ape); data(woodmouse); x <- woodmouse[1:10, 300:344]
//   write.dna(x, "woodmouse_seq.phy", format = "sequential", nbcol = 2, colw = 10)
//   write.dna(x, "woodmouse_int.phy", format = "interleaved", nbcol = 2, colw = 10)
// and the reference values are ape's on x:
//   apply(as.character(x), 1, paste, collapse = "")  : the sequences below
//   length(seg.sites(x))                             : S = 6
//   mean(dist.dna(x, model = "N"))                   : Pi = 1.955556
//   nrow(unique(as.character(x)))                    : K = 7, with the counts
//     1 2 1 2 1 1 2, so H = 10/9 (1 - 16/100) = 0.933333
// ape's read.dna(format = "sequential") reads the Phylip files the writer
// makes below: the woodmouse file written back (10 rows of 45 sites, the
// sequences above) and the diploid one (8 rows of 4 sites).

#include <sys/wait.h>

#include <map>

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

std::vector<std::pair<std::string, std::string>> const woodmice = {
    {"No305", "ttacgggtcatacattttcatagaaacatgaaacatcggtgtggt"},
    {"No304", "ttacgggtcatacatttttatagaaacatgaaacatcggtgtagt"},
    {"No306", "ttacgggtcatacatttttatagaaacatgaaacatcggtgtgat"},
    {"No0906S", "ttacggatcatacatttttatagaaacatgaaacatcggtatgat"},
    {"No0908S", "ttacgggtcatacatttttatagaaacatgaaacatcggtgtgat"},
    {"No0909S", "ttacgggtcatacactttcatagaaacatgaaacatcggtgtgat"},
    {"No0910S", "ttacggatcatacatttttatagaaacatgaaacatcggtgtgat"},
    {"No0912S", "ttacgggtcatacattttcatagaaacatgaaacatcggtgtgat"},
    {"No0913S", "ttacggatcatacatttttatagaaacatgaaacatcggtgtgat"},
    {"No1103S", "ttacgggtcatacattttcatagaaacatgaaacatcggtgtgat"},
};

// The entries of a project's single sample as (identifier, data).
std::vector<std::pair<std::string, std::string>> entries(Project& p) {
    std::vector<std::pair<std::string, std::string>> out;
    if (p.samples->Populations.count != 1) return out;
    Population const* pop = p.samples->Populations[0];
    for (long k = 0; k < pop->haplotypes.count; ++k) {
        HaploDef const* h = pop->haplotypes[k]->haplotype;
        out.emplace_back(h->id.c_str(), h->data.c_str());
    }
    return out;
}

class Phylip : public TranslateTest {
protected:
    // Runs the program on a project with the settings of the example and
    // TaskNumber 3; the statistics line by header name.
    std::map<std::string, std::string> statistics(std::string const& project) {
        fs::path const examples = fs::path(QUINTLE_TEST_DATA_DIR) / ".." / ".." / "examples";
        // Identical sequences merged into one haplotype, as K counts them.
        put(work / "pml_run.pms",
            "TaskNumber=3\nInferHaplotypeDefinitionFromDistanceMatrix=1\n" + slurp(examples / "pml_run.pms"));
        put(work / "ssdefs.txt", "POP_LEVEL\nALL_K\nALL_H\nALL_S\nALL_PI\n");
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=3 '" + QUINTLE_BINARY + "' " +
                                    project + " stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::vector<std::string> const l = lines_of(slurp(work / "stats.txt"));
        std::map<std::string, std::string> out;
        if (l.size() < 2) return out;
        std::istringstream names(l[0]), values(l[1]);
        for (std::string n, v; std::getline(names, n, '\t') && std::getline(values, v, '\t');) out[n] = v;
        return out;
    }
};

// Both layouts of ape, to a project, to Mega and back to a project: the
// sequences of read.dna, and as DNA the statistics of ape.
TEST_F(Phylip, ApeAlignmentsThroughMega) {
    for (char const* name : {"woodmouse_seq.phy", "woodmouse_int.phy"}) {
        for (bool crlfLines : {false, true}) {
            SCOPED_TRACE(std::string(name) + (crlfLines ? " CRLF" : " LF"));
            std::string const text = slurp(translateData / name);
            put(work / "w.phy", crlfLines ? crlf(text) : text);
            translate("Phylip", "Pellomar", "w.phy", "w.pmp");
            std::string const project = file("w.pmp");
            EXPECT_NE(project.find("\t LocusSeparator=NONE\n"), std::string::npos) << project;
            Project direct;
            ASSERT_EQ(read_back("w.pmp", direct), 1) << log_.text();
            EXPECT_EQ(entries(direct), woodmice);

            translate("Phylip", "Mega", "w.phy", "w.meg");
            translate("Mega", "Pellomar", "w.meg", "m.pmp");
            std::string dna = file("m.pmp");
            dna.replace(dna.find("DataType=STANDARD"), 17, "DataType=DNA");
            put(work / "dna.pmp", dna);
            Project viaMega;
            ASSERT_EQ(read_back("dna.pmp", viaMega), 1) << log_.text();
            std::vector<std::pair<std::string, std::string>> renamed = woodmice;
            for (auto& [id, sequence] : renamed) id += "0";  // the copy number the Mega writer adds
            EXPECT_EQ(entries(viaMega), renamed);

            // The distinct sequences and their counts give K and H.
            std::map<std::string, int> copies;
            for (auto const& [id, sequence] : entries(viaMega)) ++copies[sequence];
            double sumSquares = 0.0;
            for (auto const& [sequence, n] : copies) sumSquares += (n / 10.0) * (n / 10.0);
            EXPECT_EQ(copies.size(), 7u);
            EXPECT_NEAR(10.0 / 9.0 * (1.0 - sumSquares), 0.933333, 5e-7);
            // The program's own K, H, S and Pi on the sequences as DNA.
            std::map<std::string, std::string> const c = statistics("dna.pmp");
            EXPECT_EQ(c.count("K_1") ? c.at("K_1") : "", "7");
            EXPECT_EQ(c.count("H_1") ? c.at("H_1") : "", "0.933333");
            EXPECT_EQ(c.count("S_1") ? c.at("S_1") : "", "6");
            EXPECT_EQ(c.count("Pi_1") ? c.at("Pi_1") : "", "1.95556");
        }
    }
}

// The Phylip layouts and names the reader takes: ten-column names with a
// blank inside, a name repeated, blank lines anywhere; a file whose taxa
// do not hold the declared count is read one line per taxon, with a
// comment and blank-separated loci.
TEST_F(Phylip, ReaderLayouts) {
    put(work / "strict.phy", "\n 3 8\nHomo sapieACGT ACGT\n\nPan trogloACGTACGA\nPan trogloAC\nGTACGG\n\n");
    translate("Phylip", "Pellomar", "strict.phy", "strict.pmp");
    Project strict;
    ASSERT_EQ(read_back("strict.pmp", strict), 1) << log_.text();
    EXPECT_EQ(entries(strict), (std::vector<std::pair<std::string, std::string>>{
                                   {"Homo_sapie", "ACGTACGT"}, {"Pan_troglo", "ACGTACGA"}, {"Pan_troglo_2", "ACGTACGG"}}));
    EXPECT_NE(file("strict.pmp").find("\t\t SampleSize= 3\n"), std::string::npos);

    put(work / "loose.phy", "2 4\nfirst     0 1 10 0\nsecond    1 1 11 0\n");
    translate("Phylip", "Pellomar", "loose.phy", "loose.pmp");
    std::string const loose = file("loose.pmp");
    EXPECT_NE(loose.find("\t LocusSeparator=WHITESPACE\n\n# The taxa do not hold the 4 characters declared, "
                         "neither in sequential nor in interleaved layout: each line is read as one taxon\n"),
              std::string::npos)
        << loose;
    EXPECT_NE(loose.find("SampleData={\nfirst 1 0 1 10 0\nsecond 1 1 1 11 0\n}\n"), std::string::npos) << loose;
}

// The writer merges the samples and makes two haplotypes of each genotype;
// its notices go to the log, so that the file opens with the counts.
TEST_F(Phylip, WriterRowsAndNotices) {
    put(work / "g.pmp", "[Profile]\nTitle=\"g\"\nNbSamples=2\nDataType=DNA\nGenotypicData=1\nGameticPhase=0\n"
                        "LocusSeparator=NONE\n[Data]\n[[Samples]]\n"
                        "SampleName=\"a\"\nSampleSize=2\nSampleData={\nind1 1 ACGT\n ACGA\nind2 1 ACGT\n ACGT\n}\n"
                        "SampleName=\"b\"\nSampleSize=1\nSampleData={\nverylongname 2 TCGT\n TCGA\n}\n");
    translate("Pellomar", "Phylip", "g.pmp", "g.phy");
    EXPECT_EQ(file("g.phy"), "8     4\n"
                             "ind100    ACGT\nind101    ACGA\nind200    ACGT\nind201    ACGT\n"
                             "verylo00  TCGT\nverylo01  TCGA\nverylo10  TCGT\nverylo11  TCGA\n");
    std::string const log = run_log();
    EXPECT_NE(log.find("  into PHYLIP format, original population samples have been merged into \n"), std::string::npos);
    EXPECT_NE(log.find("  haplotypic data. We have therefore made two dummy haplotypes with each\n"), std::string::npos);

    put(work / "w.phy", slurp(translateData / "woodmouse_seq.phy"));
    translate("Phylip", "Pellomar", "w.phy", "w.pmp");
    translate("Pellomar", "Phylip", "w.pmp", "back.phy");
    std::vector<std::string> const back = lines_of(file("back.phy"));
    ASSERT_EQ(back.size(), 11u);
    EXPECT_EQ(back[0], "10     45");
    for (std::size_t i = 0; i < woodmice.size(); ++i) {
        std::string name = woodmice[i].first.substr(0, 6) + "0";
        name.resize(10, ' ');
        EXPECT_EQ(back[i + 1], name + woodmice[i].second);
    }
}

// Repeated names get the first of "name_2", "name_3", ... not given yet
// (worked by hand), also where a file's own name takes a suffixed form in
// between. The names given belong to one file: a second file, or the first
// again, starts afresh.
TEST_F(Phylip, RepeatedNamesMadeUnique) {
    std::vector<std::string> const names = {"i", "i", "i_3", "i", "i_2", "i", "i_2", "i_2_2", "j", "i"};
    std::vector<std::string> const expected = {"i",   "i_2",   "i_3",     "i_4", "i_2_2",
                                               "i_5", "i_2_3", "i_2_2_2", "j",   "i_6"};
    std::string phylip = std::to_string(names.size()) + " 4\n";
    for (std::string const& name : names) phylip += name + std::string(10 - name.size(), ' ') + "ACGT\n";
    put(work / "r.phy", phylip);
    put(work / "s.phy", "1 4\ni         ACGT\n");
    for (int round = 0; round < 2; ++round) {
        translate("Phylip", "Pellomar", "r.phy", "r.pmp");
        translate("Phylip", "Pellomar", "s.phy", "s.pmp");
        Project r, s;
        ASSERT_EQ(read_back("r.pmp", r), 1) << log_.text();
        ASSERT_EQ(read_back("s.pmp", s), 1) << log_.text();
        std::vector<std::string> ids;
        for (auto const& [id, data] : entries(r)) ids.push_back(id);
        EXPECT_EQ(ids, expected);
        EXPECT_EQ(entries(s), (std::vector<std::pair<std::string, std::string>>{{"i", "ACGT"}}));
    }
}

}  // namespace
}  // namespace quintle::test
