// GenePop files to projects and back. The reference values come from R's
// adegenet on the nancycats data set that the package ships
// (tests/data/translate/nancycats.gen, CRLF line ends):
//   x <- read.genepop("nancycats.gen")
//   table(pop(x)) : 10 22 12 23 15 11 14 10 9 11 20 14 13 17 11 12 13
//   nLoc(x)       : 9
//   nAll(x)       : 16 11 10 9 12 8 12 12 18
//   tab(genind2genpop(x)) : the nonzero counts in nancycats_counts.txt
// and read.genepop reads the GenePop file written back from the project
// (237 individuals, the same table(pop) and nAll, and as many missing
// entries, sum(is.na(tab(x))) = 617).

#include <map>
#include <set>

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

std::vector<int> const individuals = {10, 22, 12, 23, 15, 11, 14, 10, 9, 11, 20, 14, 13, 17, 11, 12, 13};
std::vector<int> const allelesPerLocus = {16, 11, 10, 9, 12, 8, 12, 12, 18};
std::vector<std::string> const lociNames = {"fca8", "fca23", "fca43", "fca45", "fca77",
                                            "fca78", "fca90", "fca96", "fca37"};

std::vector<std::string> words(std::string const& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// One GenePop file as read by a plain parser: per sample, per individual,
// its name and its genotype tokens.
struct GenePopFile {
    struct Individual {
        std::string name;
        std::vector<std::string> genotypes;
    };
    std::vector<std::vector<Individual>> samples;
};

GenePopFile parse_genepop(std::string const& text) {
    GenePopFile file;
    bool inSamples = false;
    std::vector<std::string> const lines = lines_of(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string const& l = lines[i];
        if (l.find(',') == std::string::npos && upper_case(quintle::trimmed(l)) == "POP") {
            inSamples = true;
            file.samples.emplace_back();
        } else if (inSamples && !is_blank(l)) {
            std::size_t const comma = l.find(',');
            file.samples.back().push_back({quintle::trimmed(l.substr(0, comma)), words(l.substr(comma + 1))});
        }
    }
    return file;
}

// An identifier and its count, right-aligned in 35 columns.
std::string right35(std::string const& text) { return std::string(35 - text.size(), ' ') + text; }

class GenePop : public TranslateTest {
protected:
    // Allele counts of every sample of a project read back, by locus and
    // allele number.
    using Counts = std::map<std::string, int>;  // "locus allele" -> count
    static std::vector<Counts> counts_of(Project& p) {
        std::vector<Counts> out;
        for (long s = 0; s < p.samples->Populations.count; ++s) {
            Counts c;
            Population const* pop = p.samples->Populations[s];
            for (long k = 0; k < pop->phenotypes.size(); ++k) {
                TPhenotype const* ind = pop->phenotypes[k];
                for (my_string const* gamete : {&ind->alleleString1, &ind->alleleString2}) {
                    std::vector<std::string> const alleles = words(gamete->c_str());
                    for (std::size_t l = 0; l < alleles.size(); ++l)
                        if (alleles[l] != "?") c[lociNames.at(l) + " " + alleles[l]] += static_cast<int>(ind->count);
                }
            }
            out.push_back(c);
        }
        return out;
    }
    // `text` as a diploid GenePop source, refused for `why`.
    void expect_refused(std::string const& text, std::string const& why) {
        put(work / "r.gen", text);
        expect_source_refused("Genepop", "r.gen", why, {"1"});
    }
    static std::vector<Counts> recorded_counts() {
        std::vector<Counts> out(17);
        for (std::string const& l : lines_of(slurp(translateData / "nancycats_counts.txt"))) {
            if (l.empty() || l[0] == '#') continue;
            std::vector<std::string> const w = words(l);
            out.at(static_cast<std::size_t>(std::stoi(w[0]) - 1))[w[1] + " " + std::to_string(std::stoi(w[2]))] =
                std::stoi(w[3]);
        }
        return out;
    }
};

TEST_F(GenePop, NancycatsReadAsAdegenetReadsThem) {
    std::string const crlfText = slurp(translateData / "nancycats.gen");
    std::string lfText = crlfText;
    std::erase(lfText, '\r');
    for (std::string const& text : {crlfText, lfText}) {
        SCOPED_TRACE(text.size() == crlfText.size() ? "CRLF" : "LF");
        put(work / "cats.gen", text);
        translate("Genepop", "Pellomar", "cats.gen", "cats.pmp", {"1"});
        Project p;
        ASSERT_EQ(read_back("cats.pmp", p), 1) << log_.text();
        EXPECT_EQ(p.Title, "Genotypes of cats from 17 colonies of Nancy (France)");
        ASSERT_EQ(p.samples->Populations.count, 17);
        std::vector<std::set<std::string>> alleles(9);
        int missing = 0;
        for (long s = 0; s < 17; ++s) {
            Population const* pop = p.samples->Populations[s];
            EXPECT_EQ(pop->phenotypes.size(), individuals[static_cast<std::size_t>(s)]) << s;
            EXPECT_EQ(pop->SampleSize, 2 * individuals[static_cast<std::size_t>(s)]) << s;
            for (long k = 0; k < pop->phenotypes.size(); ++k) {
                for (my_string const* g : {&pop->phenotypes[k]->alleleString1, &pop->phenotypes[k]->alleleString2}) {
                    std::vector<std::string> const w = words(g->c_str());
                    ASSERT_EQ(w.size(), 9u);
                    for (std::size_t l = 0; l < 9; ++l) {
                        if (w[l] == "?") ++missing;
                        else alleles[l].insert(w[l]);
                    }
                }
            }
        }
        for (std::size_t l = 0; l < 9; ++l) EXPECT_EQ(static_cast<int>(alleles[l].size()), allelesPerLocus[l]) << l;
        // 50 genotypes are missing, both alleles "?"; in R
        // sum(sapply(locNames(x), function(l) sum(is.na(tab(x)[, locFac(x) == l][, 1])))) = 50
        EXPECT_EQ(missing, 2 * 50);
        EXPECT_EQ(counts_of(p), recorded_counts());
    }
}

// Back to GenePop: the same individuals (renamed by sample and place), the
// same missing genotypes, and at each locus alleles renumbered one to one.
TEST_F(GenePop, NancycatsBackToGenePop) {
    put(work / "cats.gen", slurp(translateData / "nancycats.gen"));
    translate("Genepop", "Pellomar", "cats.gen", "cats.pmp", {"1"});
    translate("Pellomar", "Genepop", "cats.pmp", "back.gen");
    EXPECT_FALSE(failed()) << run_log();
    GenePopFile const before = parse_genepop(slurp(work / "cats.gen"));
    GenePopFile const after = parse_genepop(file("back.gen"));
    EXPECT_EQ(lines_of(file("back.gen"))[0], "Title line:\"Genotypes of cats from 17 colonies of Nancy (France)\"");
    ASSERT_EQ(after.samples.size(), before.samples.size());
    std::vector<std::map<std::string, std::string>> forward(9), backward(9);
    std::vector<std::set<std::string>> codes(9);
    for (std::size_t s = 0; s < before.samples.size(); ++s) {
        ASSERT_EQ(after.samples[s].size(), before.samples[s].size()) << s;
        for (std::size_t i = 0; i < before.samples[s].size(); ++i) {
            auto const& b = before.samples[s][i];
            auto const& a = after.samples[s][i];
            EXPECT_EQ(a.name, b.name + "_" + std::to_string(i + 1));
            ASSERT_EQ(a.genotypes.size(), 9u);
            for (std::size_t l = 0; l < 9; ++l) {
                ASSERT_EQ(a.genotypes[l].size(), 4u);
                for (std::size_t half : {0u, 2u}) {
                    std::string const was = b.genotypes[l].substr(half, 2);
                    std::string const is = a.genotypes[l].substr(half, 2);
                    EXPECT_EQ(was == "00", is == "00") << s << " " << i << " " << l;
                    if (is != "00") codes[l].insert(is);
                    auto const [f, fNew] = forward[l].emplace(was, is);
                    auto const [r, rNew] = backward[l].emplace(is, was);
                    EXPECT_EQ(f->second, is);
                    EXPECT_EQ(r->second, was);
                }
            }
        }
    }
    for (std::size_t l = 0; l < 9; ++l) EXPECT_EQ(static_cast<int>(codes[l].size()), allelesPerLocus[l]);
}

// The reader's rules on a small file: blank lines before a title that holds
// "pop"; individuals continued on lines without a comma; four- and
// six-character genotypes; tabs between genotypes; a name that holds "pop"
// on a line with a comma stays an individual; "000000" is a missing
// genotype.
TEST_F(GenePop, ReaderRules) {
    std::string const source =
        "\n  \nPopulations of \"cats\"  \nloc1, loc2\nloc3\nPop\n"
        "ind pop 1 , 0102 0304\n  0506\n"
        "ind2,0101\t000003\t0000\n"
        "pop\n\n"
        "x, 000000 0203 040506\n";
    put(work / "s.gen", source);
    translate("Genepop", "Pellomar", "s.gen", "d.pmp", {"1"});
    translate("Genepop", "Pellomar", "s.gen", "h.pmp", {"0"});
    std::vector<std::string> const d = lines_of(file("d.pmp"));
    std::vector<std::string> const expected = {
        "[Profile]", "", "\t Title=\"Populations of  cats \"", "\t NbSamples=2", "\t GenotypicData=1",
        "\t GameticPhase=0", "\t DataType=STANDARD", "\t LocusSeparator=WHITESPACE", "\t MissingData=\"?\"",
        "# The names of the loci taken from the GenePop file are listed below as comments", "# loc1, loc2",
        "# loc3", "", "", "[Data]", "\t [[Samples]]", "\t\t SampleName= \"Population1\"", "\t\t SampleSize=2",
        "\t\t SampleData={", right35("indpop1_1   1  ") + "1 3 5 ", std::string(35, ' ') + "2 4 6 ",
        right35("ind2_2   1  ") + "1 ? ? ", std::string(35, ' ') + "1 3 ? ", "     }", "",
        "\t\t SampleName= \"Population2\"", "\t\t SampleSize=1", "\t\t SampleData={",
        right35("x_1   1  ") + "? 2 40 ",
        std::string(35, ' ') + "? 3 506 ", "     }", "", ""};
    ASSERT_GE(d.size(), 3u) << run_log();
    EXPECT_EQ(std::vector<std::string>(d.begin() + 3, d.end()), expected);
    // Haploid: the first allele of each genotype, one line per individual.
    std::string const h = file("h.pmp");
    EXPECT_NE(h.find("\t GenotypicData=0\n"), std::string::npos);
    EXPECT_NE(h.find(right35("indpop1_1   1  ") + "1 3 5 \n" + right35("ind2_2   1  ") + "1 ? ? \n     }"),
              std::string::npos)
        << h;
}

// A genotype is 4 or 6 digits, nothing else. ";" where "," belongs makes
// one individual of two, the second name a token of the first.
TEST_F(GenePop, TokensNotOfFourOrSixDigitsAreRefused) {
    std::string const of = " of sample 1 of " + path("r.gen") + " is not of 4 or 6 digits";
    expect_refused("Cats\nloc1, loc2\nPop\nA, 0102 12345\n", "the genotype \"12345\" of the individual \"A\"" + of);
    expect_refused("Cats\nloc1, loc2\nPop\nA, 0102 0303\nPop\nB, 0101 0202\nC, 01a2 0101\n",
                   "the genotype \"01a2\" of the individual \"C\" of sample 2 of " + path("r.gen") +
                       " is not of 4 or 6 digits");
    expect_refused("Cats\nloc1, loc2, loc3\nPop\nA1; 0102 0303 0101\nA2; 0202 0101 0303\n",
                   "the genotype \"A2;\" of the individual \"A1;010203030101\"" + of);
}

// Individuals hold as many genotypes as the head names loci, commas
// separating names on a line; without names, as many as the first.
TEST_F(GenePop, IndividualsHoldTheDeclaredLoci) {
    put(work / "g.gen", "Cats\nloc1, loc2,\n\n  \nloc3\nPop\nA, 0102 0303 000101\nB,0101 0202\n 0303\n");
    translate("Genepop", "Pellomar", "g.gen", "g.pmp", {"1"});
    EXPECT_FALSE(failed()) << run_log();
    EXPECT_EQ(lines_from(file("g.pmp"), right35("A_1   1  "), "     }"),
              (std::vector<std::string>{right35("A_1   1  ") + "1 3 ? ", std::string(35, ' ') + "2 3 101 ",
                                        right35("B_2   1  ") + "1 2 3 ", std::string(35, ' ') + "1 2 3 "}));

    std::string const a = "the individual \"A\" of sample 1 of " + path("r.gen") + " holds 2 genotypes, ";
    expect_refused("Cats\nloc1\nloc2\nloc3\nPop\nA, 0102 0303\nB, 0202 0101\n", a + "and the file declares 3 loci");
    expect_refused("Cats\nloc1, \nPop\nA, 0102 0303\nB, 0202 0101\n", a + "and the file declares 1 locus");
    expect_refused("Cats\n\nPop\nA, 0102\nPop\nB, 0101 0202\n",
                   "the individual \"B\" of sample 2 of " + path("r.gen") + " holds 2 genotypes, the first individual \"A\" 1");
}

// An individual of more than 10,000 genotypes on a line of 50,000
// characters is read whole, and so is a sequence of 12,000 sites.
TEST_F(GenePop, LongLinesAreReadWhole) {
    int const loci = 10050;
    std::string names = "loc0", first = "a,", second = "b,";
    for (int l = 0; l < loci; ++l) {
        if (l > 0) names += ", loc" + std::to_string(l);
        first += " 0102";
        second += l + 1 == loci ? " 0399" : " 0101";
    }
    put(work / "long.gen", "long\n" + names + "\nPop\n" + first + "\n" + second + "\n");
    translate("Genepop", "Pellomar", "long.gen", "long.pmp", {"1"});
    Project p;
    ASSERT_EQ(read_back("long.pmp", p), 1) << run_log();
    ASSERT_EQ(p.samples->Populations.count, 1);
    Population const* pop = p.samples->Populations[0];
    ASSERT_EQ(pop->phenotypes.size(), 2);
    std::vector<std::string> const b = words(pop->phenotypes[1]->alleleString2.c_str());
    ASSERT_EQ(b.size(), static_cast<std::size_t>(loci));
    EXPECT_EQ(b.back(), "99");

    std::string const sites(12000, 'A');
    put(work / "long.phy", "2 12000\nx         " + sites + "\ny         " + sites.substr(1) + "C\n");
    translate("Phylip", "Pellomar", "long.phy", "phy.pmp");
    EXPECT_NE(file("phy.pmp").find("y 1 " + sites.substr(1) + "C\n"), std::string::npos);
}

// The writer numbers the alleles each locus holds from 1; a haplotypic
// project gets a missing second allele. From 100 alleles at a locus every
// allele of the file takes three digits.
TEST_F(GenePop, WriterNumbersAndWidths) {
    std::string const head = "[Profile]\nTitle=\"h\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=0\n"
                             "LocusSeparator=WHITESPACE\nMissingData='?'\n[Data]\n[[Samples]]\n"
                             "SampleName=\"s\"\n";
    put(work / "small.pmp", head + "SampleSize=3\nSampleData={\nh1 2 b x\nh2 1 a ?\n}\n");
    translate("Pellomar", "Genepop", "small.pmp", "small.gen");
    EXPECT_EQ(file("small.gen"), "Title line:\"h\"\nLocus_1\nLocus_2\nPOP\n"
                                 "h1 , 0100 0100 \nh1 , 0100 0100 \nh2 , 0200 0000 \n");

    std::string data;
    for (int i = 1; i <= 100; ++i) data += "h" + std::to_string(i) + " 1 a" + std::to_string(i) + " x\n";
    put(work / "wide.pmp", head + "SampleSize=100\nSampleData={\n" + data + "}\n");
    translate("Pellomar", "Genepop", "wide.pmp", "wide.gen");
    GenePopFile const wide = parse_genepop(file("wide.gen"));
    ASSERT_EQ(wide.samples.size(), 1u);
    ASSERT_EQ(wide.samples[0].size(), 100u);
    EXPECT_EQ(wide.samples[0][0].genotypes, (std::vector<std::string>{"001000", "001000"}));
    EXPECT_EQ(wide.samples[0][99].genotypes, (std::vector<std::string>{"100000", "001000"}));
}

// Read with 0, each individual is a haplotype, and an identifier names one
// allele text. Names numbered afresh in each sample, blank names and one
// label for all then take a suffix where the first alleles differ (worked
// by hand); a repeat with the same first alleles keeps its identifier, also
// twice in one sample, and 0102 and 001002 have the same first allele.
TEST_F(GenePop, HaploidIdentifiersOfRepeatedNames) {
    std::string const head = "Title\nloc1\nloc2\n";
    std::string const numbered = head +
                                 "Pop\n1, 0101 0202\n2, 0303 0404\nPop\n1, 0505 0606\n2, 0707 0808\n"
                                 "Pop\n1, 0505 0606\n1_1, 0506 0609\nPop\nx, 0101 0101\n1_1, 0909 1010\n"
                                 "Pop\n1, 001009 002009\n";
    std::string const unnamed = head + "Pop\n, 0101 0202\n, 0303 0404\nBER, 0101 0101\n"
                                       "Pop\n, 0505 0606\n, 0304 0401\nBER, 0202 0202\n";
    for (auto const& [source, expected] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {numbered,
              {"1_1 1 2", "2_2 3 4", "1_1_2 5 6", "2_2_2 7 8", "1_1_2 5 6", "1_1_2 5 6", "x_1 1 1", "1_1_2_2 9 10",
               "1_1 1 2"}},
             {unnamed, {"_1 1 2", "_2 3 4", "BER_3 1 1", "_1_2 5 6", "_2 3 4", "BER_3_2 2 2"}}}) {
        put(work / "h.gen", source);
        translate("Genepop", "Pellomar", "h.gen", "h.pmp", {"0"});
        std::vector<std::string> individuals;
        for (std::string const& l : lines_of(file("h.pmp"))) {
            std::vector<std::string> w = words(l);
            if (w.size() == 4 && w[1] == "1") individuals.push_back(w[0] + " " + w[2] + " " + w[3]);
        }
        EXPECT_EQ(individuals, expected) << run_log();
        Project p;
        ASSERT_EQ(read_back("h.pmp", p), 1) << log_.text();
        EXPECT_EQ(p.samples->Populations.count, source == numbered ? 5 : 2);
        if (source != numbered) continue;
        // The repeat in sample 3 is one haplotype of two copies.
        EXPECT_EQ(p.samples->Populations[2]->SampleSize, 2);
        EXPECT_EQ(p.samples->Populations[2]->haplotypes.count, 1);
    }
    // Read with 1, individuals are not haplotypes: names stay as they are.
    put(work / "h.gen", numbered);
    translate("Genepop", "Pellomar", "h.gen", "d.pmp", {"1"});
    EXPECT_NE(file("d.pmp").find(right35("1_1   1  ") + "5 6 \n"), std::string::npos) << file("d.pmp");
}

}  // namespace
}  // namespace quintle::test
