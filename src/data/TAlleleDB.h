#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/TAllele.h"
#include "data/TLocus.h"
#include "data/character_alleles.h"
#include "data/flat_site_alleles.h"

namespace quintle {

// The catalogue of the alleles seen at each locus of a sample or a project.
// It owns its loci, each locus owns its alleles; every other holder of a
// TAllele* borrows it. Alleles enter only through InsertAllPos and leave only
// through destroy or assignment, so their pointers stay valid meanwhile.
class TAlleleDB {
public:
    MY_TIArrayAsVector<TLocus> loci;  // in creation order, owned
    int blanksInserted = 0;           // 1 once the recessive blank stands first at every locus
    TAllele notFound;                 // placeholder named "Allele not found"

    TAlleleDB();                       // 11 locus slots
    explicit TAlleleDB(int const& n);  // n + 1 locus slots
    TAlleleDB(TAlleleDB const& other);
    TAlleleDB& operator=(TAlleleDB const& other);
    ~TAlleleDB();

    // Lookups; null for an unknown name or an index out of range.
    TAllele* operator()(my_string const& locus, my_string const& allele) const;
    TAllele* operator()(int const& locus, my_string const& allele) const;
    TAllele* operator()(my_string const& locus, int const& allele) const;

    // Finds or creates the allele and returns its position in its locus. A
    // locus index not below the number of loci appends one locus named
    // "Locus <index>". The char forms match alleles on their first
    // character. A negative locus index inserts nothing and gives -1.
    int InsertAllPos(int const& locus, my_string const& name, double weight);
    int InsertAllPos(int const& locus, char const& c, double weight);
    // The locus is found by name, or appended under that name.
    int InsertAllPos(my_string const& locus, my_string const& name, double weight);
    // As above; the last argument is not used.
    int InsertAllPos(int const& locus, my_string const& name, double& weight, int const&);
    int InsertAllPos(int const& locus, char const& c, double& weight, int const&);

    // Enters the one-character alleles of many texts, one text after the
    // other, into a catalogue: the catalogue ends as InsertAllPos(site,
    // text[site], weight) called for every site of every text in the same
    // order leaves it, once finish() has added the weights. Each character
    // of the texts has a table over the sites (made when the character
    // first turns up), so a site's allele is found by direct indexing.
    class SiteAlleles {
    public:
        SiteAlleles(TAlleleDB& db, std::size_t sites, double weight);
        ~SiteAlleles();
        SiteAlleles(SiteAlleles const&) = delete;
        SiteAlleles& operator=(SiteAlleles const&) = delete;

        // The next text (at most `sites` long, and alive until finish());
        // row[site] receives its allele at each site. Returns the text's
        // number for again().
        std::size_t enter(std::string_view text, TAllele** row);
        // The next text is a copy of text k: it has the same alleles, which
        // the caller copies, and counts once more.
        void again(std::size_t k);
        // Adds the weights of every text entered.
        void finish();

    private:
        struct Plane;
        struct Text {
            std::string_view text;
            std::uint32_t copies = 1;
            bool untabled = false;  // holds characters without a table
        };
        Plane* plane_of(unsigned char c);
        TAllele* first_allele(Plane& plane, unsigned char c, std::size_t site);
        // A character without a table, entered the way InsertAllPos does.
        TAllele* insert_untabled(unsigned char c, std::size_t site);

        TAlleleDB& db_;
        std::size_t sites_;
        double weight_;
        std::array<Plane*, 256> byChar_{};
        std::vector<std::unique_ptr<Plane>> planes_;
        std::vector<Text> texts_;
    };

    // Every allele gets n zeroed frequencies (its old array zeroed when
    // every allele has one of that length, else all replaced: an allele of
    // an arena by a stretch of one block its arena keeps, any other by an
    // array of its own) and the class-wide length becomes n. A failed allocation releases every such array, reports message 0
    // (MEMORY) and ends the run.
    void create_pop_freq_vector(int const& n);
    void create_group_freq_vector(int const& n);
    void flush_pop_freq_vector();
    void flush_group_freq_vector();
    void reset_all_pop_freqs();

    // Random expected frequencies summing to 1 per locus (EM start values).
    void assign_rand_exp_freq();
    void reset_exp_freq();
    // Moves each allele's frequency to (popFreq[0] - inbreedingCorr) / f and
    // returns the summed absolute change. For f <= 0, or when an allele
    // lacks a two-slot popFreq, nothing changes and the result is -1.
    double update_all_freq_with_inbreeding(double const& f);

    // Deletes every locus and allele (flat ones too).
    void destroy();

    // As InsertAllPos(locus, name, weight), for a catalogue that keeps its
    // one-character alleles flat until a reader of records asks: while the
    // catalogue has no locus record and every name entered has one
    // character, the alleles go into flat_sites(); anything else first makes
    // records of them. Returns the allele's weight when the allele stands at
    // `locus` (not appended as another locus), else null. An address given
    // stays valid until flat_epoch() changes.
    double* enter_weight(int locus, my_string const& name, double weight);
    // The flat alleles made into loci and alleles, as InsertAllPos would
    // have made them in the order they were entered; nothing without any.
    void make_records();
    FlatSiteAlleles const& flat_sites() const noexcept { return flat_; }

    // The shared character alleles the rows of the list point to when the
    // catalogue makes no record (Project::build_allele_tables); null when
    // the rows point to records. Let go by destroy().
    CharacterAlleles* characters() const noexcept { return characters_.get(); }
    void use_characters(std::shared_ptr<CharacterAlleles> c) noexcept { characters_ = std::move(c); }
    // Changes whenever flat weights move into records or are dropped.
    unsigned flat_epoch() const noexcept { return flatEpoch_; }

    // Blocks of the arena the catalogue's own loci and alleles are cut
    // from: none until it makes its first locus.
    std::size_t record_blocks() const noexcept { return records_ != nullptr ? records_->blocks() : 0; }

private:
    TLocus* locus_at(long index) const;
    long locus_pos_by_name(my_string const& locusName) const;
    TLocus* locus_for_insert(int const& locus);
    // The arena of the loci and alleles the catalogue makes, made with the
    // first of them; let go when the catalogue empties (its blocks go with
    // the last record, which may have been moved out of the catalogue).
    RecordArena* records_ = nullptr;
    FlatSiteAlleles flat_;
    unsigned flatEpoch_ = 0;
    std::shared_ptr<CharacterAlleles> characters_;
    void drop_records() noexcept;
    // A new locus of that name, in the arena.
    TLocus* new_locus(char const* name);
    TLocus* new_locus(my_string const& name);
    template <class Member>
    void create_freq_vectors(Member member, int n, char const* function);
};

// One row per allele position, one cell per locus: the allele name in the
// locus's printWidth, its weight as a percentage and "|".
std::ostream& operator<<(std::ostream& os, TAlleleDB& db);

}  // namespace quintle
