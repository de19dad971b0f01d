// Classes of identical haplotypes (distance exactly 0): the frequency
// tables of the samples and the merging of a sample's identical entries, on
// lists and matrices built here and worked by hand.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "project/project_test_support.h"

namespace quintle {
namespace {

using namespace test;

class HaplotypeClassesTest : public ProjectDirTest {
protected:
    HaplotypeClassesTest() { out.open(dir / "result.txt", std::ios::in | std::ios::out | std::ios::trunc); }

    // Definitions "A", "B", ... with texts "tA", "tB", ..., rows of the
    // matrix given by `rows` (their positions when empty).
    void definitions(int n, std::vector<int> rows = {}) {
        for (int i = 0; i < n; ++i) {
            auto* h = new HaploDef(my_string(std::string(1, static_cast<char>('A' + i)).c_str()));
            h->data = (std::string("t") + static_cast<char>('A' + i)).c_str();
            h->matrixIndex = rows.empty() ? i : rows[static_cast<std::size_t>(i)];
            list.haplotypes.Add(h);
        }
        d.create(n);
        d.MatrixSize = n;
    }
    HaploDef* def(char id) { return list.haplotypes.data[id - 'A']; }
    // A sample of entries (definition, count).
    Population* sample(char const* name, std::vector<std::pair<char, int>> const& entries) {
        auto* p = new Population(my_string(name));
        for (auto const& [id, n] : entries) {
            p->haplotypes.Add(new PHaploDef{def(id), n});
            def(id)->count += n;
            p->SampleSize += n;
        }
        p->NbHaplotypeEntries = static_cast<int>(entries.size());
        set.Populations.Add(p);
        return p;
    }
    std::string entries(Population const* p) const {
        std::string s;
        for (long i = 0; i < p->haplotypes.count; ++i)
            s += std::string(p->haplotypes.data[i]->haplotype->id.c_str()) + "x" +
                 std::to_string(p->haplotypes.data[i]->count) + " ";
        return s;
    }
    std::string text() {
        out.flush();
        return slurp(dir / "result.txt");
    }

    Haplo_DB list;
    DistMat d;
    Samples set;
    std::fstream out;
};

// A, B, C with d(A,B) = 0, d(A,C) = 0.5, d(B,C) = 0: classes {A, B} and
// {C}. A sample holding B and C counts B in the first class and B and C in
// the second (B is at distance 0 from both first members).
TEST_F(HaplotypeClassesTest, ClassesOpenAtTheirFirstMember) {
    definitions(3);
    d(1, 0) = 0.0;
    d(2, 0) = 0.5;
    d(2, 1) = 0.0;
    sample("north", {{'B', 2}, {'C', 3}});
    sample("south", {});
    set.print_out_haplo_cl(&out, d, &list);
    std::string const t = text();
    EXPECT_EQ(set.NbHaplotypes, 2);
    EXPECT_NE(t.find("Haplotype id                  Haplotype definition\n"
                     "------------                  --------------------\n"
                     "   A\n"
                     "   B" + std::string(26, ' ') + "tB\n"
                     "   C" + std::string(26, ' ') + "tC\n"),
              std::string::npos)
        << t;
    // Widths: ids 1, names 5; T = 10 x 2 + 11 = 31.
    EXPECT_NE(t.find(std::string(31, '-') + "\n" + " Haplotype:     north     south\n" +
                     std::string(18, ' ') + "(5)       (0)\n" + std::string(31, '-') + "\n" +
                     "A          \n" +
                     "B                2         0   \n" + std::string(31, ' ') + "\n" +
                     "C                5         0   \n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("\n\nRelative frequencies:\n\n Haplotype:     north     south\n"), std::string::npos) << t;
    EXPECT_NE(t.find("B            0.286         0   \n"), std::string::npos) << t;
    EXPECT_NE(t.find("C            0.714         0   \n"), std::string::npos) << t;
}

// In constant mode every definition is a class of its own and a class's
// frequency is its definition's count.
TEST_F(HaplotypeClassesTest, ConstantModeGivesOneClassPerDefinition) {
    definitions(2);
    d.constantMode = 1;
    sample("s", {{'A', 4}, {'B', 1}});
    set.print_out_haplo_cl(&out, d, &list);
    std::string const t = text();
    EXPECT_EQ(set.NbHaplotypes, 2);
    // Id width 1, name width 1: frequencies in a field of 3.
    EXPECT_NE(t.find("A" + std::string(10, ' ') + "  4   \n"), std::string::npos) << t;
    EXPECT_NE(t.find("B" + std::string(10, ' ') + "  1   \n"), std::string::npos) << t;
}

// A given matrix bound by label in another order: rows 2, 0, 1 for A, B, C.
// d(row A, row C) = d(2, 1) = 0 makes {A, C}; read at list positions the
// classes would follow d(0, 2), the distance between B and A.
TEST_F(HaplotypeClassesTest, MatrixRowsAreTheDefinitionsIndexes) {
    definitions(3, {2, 0, 1});
    d(1, 0) = 0.4;  // C-B
    d(2, 0) = 0.3;  // A-B
    d(2, 1) = 0.0;  // A-C
    Population* p = sample("s", {{'A', 1}, {'B', 2}, {'C', 4}});
    set.print_out_haplo_cl(&out, d, &list);
    std::string const t = text();
    std::string const gap(26, ' ');
    EXPECT_NE(t.find("   A\n   C" + gap + "tC\n   B" + gap + "tB\n"), std::string::npos) << t;
    EXPECT_NE(t.find("C" + std::string(10, ' ') + "  5   \n"), std::string::npos) << t;

    std::vector<int> const keys = {0, 1, 1};  // by row: B, then C and A of one key
    set.IdentifyIdenticalHaplotypes(&out, d, &list, const_cast<int*>(keys.data()));
    EXPECT_EQ(entries(p), "Ax5 Bx2 ");
}

TEST_F(HaplotypeClassesTest, DimensionOtherThanTheListIsRefused) {
    definitions(3);
    d.create(2);
    sample("s", {{'A', 1}});
    set.print_out_haplo_cl(&out, d, &list);
    EXPECT_EQ(text(), "");
    EXPECT_TRUE(reported("ERROR", 135)) << log();
}

// A sample holding a twice and b once, a and b of one class at distance 0:
// a three times, b's entry removed; another sample keeps its entries.
TEST_F(HaplotypeClassesTest, MergesEntriesOfOneClassAtDistanceZero) {
    definitions(3);
    d(1, 0) = 0.0;
    d(2, 0) = 0.0;
    d(2, 1) = 0.0;
    std::vector<int> keys = {0, 0, 2};  // C: distance 0, but its own key
    Population* p = sample("s", {{'A', 2}, {'B', 1}, {'C', 5}});
    Population* q = sample("t", {{'C', 1}});
    EXPECT_EQ(set.IdentifyIdenticalHaplotypes(&out, d, &list, keys.data()), 2);
    EXPECT_EQ(entries(p), "Ax3 Cx5 ");
    EXPECT_EQ(p->NbHaplotypeEntriesRead, 3);
    EXPECT_EQ(p->NbHaplotypeEntries, 2);
    EXPECT_EQ(entries(q), "Cx1 ");
    EXPECT_EQ(def('A')->count, 3);
    EXPECT_EQ(def('B')->count, 0);
    EXPECT_EQ(text(), "") << "nothing written";
}

// Two entries of one definition: the sample holds it once with both counts,
// and the definition keeps its count (adding it to itself, then zeroing it,
// would leave 0).
TEST_F(HaplotypeClassesTest, TwoEntriesOfOneDefinitionKeepItsCount) {
    definitions(2);
    d(1, 0) = 1.0;
    std::vector<int> keys = {0, 1};
    Population* p = sample("s", {{'A', 2}, {'B', 1}, {'A', 3}});
    set.IdentifyIdenticalHaplotypes(&out, d, &list, keys.data());
    EXPECT_EQ(entries(p), "Ax5 Bx1 ");
    EXPECT_EQ(def('A')->count, 5);
    EXPECT_EQ(def('B')->count, 1);
}

}  // namespace
}  // namespace quintle
