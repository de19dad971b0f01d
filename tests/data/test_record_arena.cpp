// Tests of the arena the allele catalogues cut their loci and alleles from.

#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "data/record_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>

namespace quintle {
namespace {

// Pieces are aligned, never overlap, and blocks grow as needed (the
// largest ones too); a release starts afresh.
TEST(RecordArena, PiecesAreAlignedAndApart) {
    RecordArena& arena = *new RecordArena;
    EXPECT_EQ(arena.blocks(), 0u);
    std::set<std::uintptr_t> starts;
    std::size_t const bytes = 160;
    for (int i = 0; i < 40000; ++i) {
        auto* p = static_cast<unsigned char*>(arena.allocate(bytes));
        auto const at = reinterpret_cast<std::uintptr_t>(p);
        ASSERT_EQ(at % alignof(std::max_align_t), 0u);
        std::memset(p, i & 0xff, bytes);  // every byte writable (sanitizers)
        starts.insert(at);
    }
    std::uintptr_t last = 0;
    for (std::uintptr_t s : starts) {
        if (last != 0) {
            EXPECT_GE(s - last, bytes);
        }
        last = s;
    }
    EXPECT_GT(arena.blocks(), 10u);  // past 6 MB: some of the largest blocks
    EXPECT_EQ(arena.live(), 0);
    arena.drop();  // no record: gone at once (the sanitizers' leak check)
}

// A catalogue holds loci of its arena and loci given from the heap side by
// side and deletes both (the sanitizers' leak check sees any heap one
// left); its copy is made on the heap and outlives the original.
TEST(RecordArena, CatalogueMixesArenaAndHeapLoci) {
    auto db = std::make_unique<TAlleleDB>();
    for (int site = 0; site < 3000; ++site) {
        db->InsertAllPos(site, 'A', 1.0);
        db->InsertAllPos(site, site % 2 == 0 ? 'A' : 'C', 1.0);
    }
    EXPECT_GT(db->record_blocks(), 0u);
    db->loci.Add(new TLocus("given"));
    EXPECT_EQ(db->InsertAllPos(3000, my_string("long name"), 0.5), 0);
    EXPECT_EQ(db->InsertAllPos(my_string("by name"), my_string("x"), 2.0), 0);
    ASSERT_EQ(db->loci.count, 3002);
    EXPECT_EQ((*db)(1, my_string("C"))->weight, 1.0);
    EXPECT_EQ((*db)(0, my_string("A"))->weight, 2.0);

    TAlleleDB copy(*db);
    EXPECT_EQ(copy.record_blocks(), 0u);
    db->destroy();
    EXPECT_EQ(db->record_blocks(), 0u);
    db.reset();
    ASSERT_EQ(copy.loci.count, 3002);
    EXPECT_EQ(std::string(copy.loci.data[3000]->name.c_str()), "given");
    EXPECT_EQ(copy(3000, my_string("long name"))->weight, 0.5);
    EXPECT_EQ(copy(1, my_string("C"))->locus, 1);
    // New alleles of a copied locus come from the heap.
    EXPECT_EQ(copy.InsertAllPos(1, 'G', 1.0), 2);
    EXPECT_EQ(copy.record_blocks(), 0u);

    // Assignment lets the arena of the catalogue assigned to go.
    TAlleleDB other;
    other.InsertAllPos(0, 'T', 1.0);
    EXPECT_GT(other.record_blocks(), 0u);
    other = copy;
    EXPECT_EQ(other.record_blocks(), 0u);
    EXPECT_EQ(other(1, my_string("G"))->weight, 1.0);
}

// Loci moved out of their catalogue (as the selection scan keeps the
// project's aside) stay whole, frequencies included, after the catalogue
// emptied; their arena goes with the last of them (sanitizers: no use after
// free, no leak).
TEST(RecordArena, LociMovedOutOutliveTheirCatalogue) {
    int const samples = TAllele::numPop;
    MY_TIArrayAsVector<TLocus> kept;
    {
        TAlleleDB db;
        for (int site = 0; site < 2000; ++site) db.InsertAllPos(site, site % 3 == 0 ? 'G' : 'T', 1.0);
        db.create_pop_freq_vector(2);
        db.loci.data[3]->alleles.data[0]->popFreq[1] = 0.5;
        for (long l = 0; l < db.loci.count; ++l) {
            kept.Add(db.loci.data[l]);
            db.loci.data[l] = nullptr;
        }
        db.loci.count = 0;
        db.destroy();
        // A new locus in the emptied catalogue comes from a new arena.
        db.InsertAllPos(0, 'A', 1.0);
        db.create_pop_freq_vector(2);
        EXPECT_EQ(db.loci.data[0]->alleles.data[0]->popFreq[1], 0.0);
    }
    ASSERT_EQ(kept.count, 2000);
    TAllele const* g = kept.data[3]->alleles.data[0];
    EXPECT_EQ(std::string(g->name.c_str()), "G");
    EXPECT_EQ(g->weight, 1.0);
    ASSERT_EQ(g->popFreq.size(), 2);
    EXPECT_EQ(g->popFreq[1], 0.5);
    EXPECT_EQ(kept.data[1999]->alleles.data[0]->popFreq[0], 0.0);
    kept.Flush();
    TAllele::numPop = samples;
}

}  // namespace
}  // namespace quintle
