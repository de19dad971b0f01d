#pragma once

// The sample set of a project: its samples in file order, each an object of
// the data-type class the project's data type selects, reached through the
// Population base. A sample's position in the set is its index everywhere
// else (structures, distance matrices between samples, result tables).
//
// The set owns its samples: whoever hands one over with Populations.Add
// must not delete it; clean, the destructor and the section reader delete
// them through the virtual destructor of Population.

#include <fstream>
#include <ostream>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/Population.h"
#include "popstats/TTree.h"
#include "run/ProfileSettings.h"

namespace quintle {

class Haplo_DB;
class TAlleleDB;
class TLocus;
class settings;

class Samples : public ProfileSettings {
public:
    MY_TIArrayAsVector<Population> Populations{20, 20};  // owning, file order
    // Distinct haplotypes of the set (set by the haplotype-class writer and
    // the summary statistics; copied into derived sets).
    int NbHaplotypes = 0;
    // True only for the pooled set of the group pass.
    bool GroupLevel = false;
    // Coalescent tree of the selection scan's simulations.
    TTree Tree;
    // Mutations placed on Tree by the last simulation.
    long NbMutations = 0;

    Samples() = default;
    ~Samples();
    // A set is never copied: its samples and tree are owned.
    Samples(Samples const&) = delete;
    Samples& operator=(Samples const&) = delete;

    // Deletes every sample and empties the set (capacity kept); when Tree
    // has been allocated, also empties the shared per-site hit counts. The
    // profile part, NbHaplotypes, GroupLevel and NbMutations stay.
    void clean();

    // Reads the "[[Samples]]" section of a project file, from the line after
    // its header up to a structure or Mantel header or the end of the file.
    // lineNo counts every project-file line read; line receives the last
    // line read (the header that ended the section, if any). The flags are
    // set when a SampleName, SampleSize or accepted SampleData line is met.
    // 1 when the section was read, 0 when a block could not be (after the
    // messages); the samples read before a failure stay in the set.
    int NewReadSamples(std::ifstream& in, ProfileSettings& profile, Haplo_DB& haplotypes, int& lineNo,
                       my_string& line, bool& nameSeen, bool& sizeSeen, bool& dataSeen);

    // Path of an external sample-data file for the older reader: a name with
    // a path separator as it is, else the run's result folder followed by
    // the name. dst must be large enough; returns dst.
    char* build_ext_name(char* dst, char const* name);

    // --- data checks and normalisation (sample_checks.cpp) ---------------
    // 1 when every sample has data with the same number of loci; removes
    // haplotypes and individuals made of missing data only. 0 after the
    // first failing check's ERROR.
    int verify_data();
    // DNA data only: allele texts to upper case.
    void convert_dna_upper();
    // DNA and RFLP data with a separator: tabs and blanks removed from the
    // allele texts. The class-wide separator ends up cleared unless a sample
    // without data stopped the operation.
    void rm_separators();

    // --- one Population operation applied to every sample, in order -------
    void phen_to_gam(Haplo_DB* haplotypes, ProfileSettings* profile, settings* run);
    void build_all_vectors(char const& separator);
    void init_all_pointers(TAlleleDB* alleles);
    // Restarts the progress counters, adds every sample's work estimate and
    // the set-level work of the selected analyses.
    void evaluate_work(settings& run);
    void h_pop_db_to_gam(Haplo_DB& haplotypes);
};

// The "[[Samples]]" block of a project file: header, every sample's block,
// two blank lines.
std::ostream& operator<<(std::ostream& os, Samples& s);

// Writes the sample in project-file form to the std::ostream passed as os.
// Leaves right adjustment and fixed notation with precision 2 set.
void Print(Population& p, void* os);
// Writes the sample's name to the std::ostream passed as os.
void PrintName(Population& p, void* os);
// n dashes (none for n < 1), then a newline.
void printLine(std::ostream& os, int n);
// Unbiased gene diversity of one locus from its alleles' weights; 0.0 for a
// locus without alleles or a total weight of 1 or less.
double computeHeterozygosity(TLocus* locus, char unused);

}  // namespace quintle
