// The locus-by-locus AMOVA's guards: no haplotype definition to take the
// loci from, and definitions holding more loci than the allele base.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data/HaploDef.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "support/process_state.h"

namespace quintle {
namespace {

class LocusByLocusTest : public ::testing::Test {
protected:
    void SetUp() override {
        initialize_pellomar_global_objects();
        out.open(log_.dir() / "result.htm", std::ios::in | std::ios::out | std::ios::trunc);
        p.options.ResultFile = &out;
        p.options.MenuScriptFileName = (log_.dir() / "menu.js").string().c_str();
        p.options.DistanceMethodAMOVA = 2;
    }
    void TearDown() override { out.close(); }
    std::string text() {
        out.flush();
        std::ifstream in(log_.dir() / "result.htm");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    test::LogGuard log_{"quintle_locus_by_locus"};
    test::ProfileGuard profile_{DNA, '\0'};
    std::fstream out;
    Project p;
};

TEST_F(LocusByLocusTest, NoDefinitionEndsAfterTheHeading) {
    p.LocusByLocusAMOVA(&out);
    std::string const t = text();
    EXPECT_NE(t.find("\n********************\nLocus by locus AMOVA:\n********************\n\n"), std::string::npos);
    EXPECT_EQ(t.find("List of loci with only one allele"), std::string::npos);
    EXPECT_NE(log_.text().find("no haplotype definition to take the loci from"), std::string::npos);
    EXPECT_EQ(p.options.DistanceMethodAMOVA, 2) << "put back";
}

// Three loci in the definition, two in the allele base: the two are taken
// (both monomorphic here) and the difference is logged.
TEST_F(LocusByLocusTest, DefinitionLongerThanTheAlleleBase) {
    std::vector<std::unique_ptr<TAllele>> alleles;
    auto* h = new HaploDef(my_string("h1"));
    for (int k = 0; k < 3; ++k) {
        alleles.push_back(std::make_unique<TAllele>());
        h->alleles.Add(alleles.back().get());
    }
    p.haplotypes.haplotypes.Add(h);
    p.allele_db.loci.Add(new TLocus("one"));
    p.allele_db.loci.Add(new TLocus("two"));
    p.LocusByLocusAMOVA(&out);
    EXPECT_NE(log_.text().find("the haplotypes hold 3 loci, the allele base 2: only the first 2 are analysed"),
              std::string::npos);
    EXPECT_NE(text().find("List of loci with only one allele:\n----------------------------------\n\n1 2 \n"),
              std::string::npos)
        << text();
    EXPECT_EQ(p.options.DistanceMethodAMOVA, 2) << "put back after the DNA analysis used 0";
}

}  // namespace
}  // namespace quintle
