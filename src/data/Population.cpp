#include "data/Population.h"

#include <cstring>
#include <new>

#include "core/Errors.h"

namespace quintle {

Population::Population() { initialize(); }

Population::Population(my_string const& sampleName, int const& sampleId, ProfileSettings& ps) {
    initialize();
    name = sampleName;
    id = sampleId;
    profile = ps;
}

Population::Population(my_string const& sampleName) {
    initialize();
    name = sampleName;
}

Population::Population(Population const& other) { *this = other; }

Population::~Population() { clean(); }

void Population::test_methods(settings&) {}

void Population::clean_bnum() {}

Population& Population::operator=(Population const& other) {
    if (this == &other) return *this;
    initialize();
    try {
        name = other.name;
        id = other.id;
        nbEntries = other.nbEntries;
        SampleSize = other.SampleSize;
        invSampleSize = other.invSampleSize;
        recessiveAllelesEM = other.recessiveAllelesEM;
        // The allele base is shared, never owned: a copy analyses the same
        // alleles as its source.
        alleleDB = other.alleleDB;

        label = other.label;
        contTable = other.contTable;
        contTableMonomorphic = other.contTableMonomorphic;
        pooledGroupSample = other.pooledGroupSample;
        amovaIndex = other.amovaIndex;
        NbHaplotypeEntries = other.NbHaplotypeEntries;
        NbHaplotypeEntriesRead = other.NbHaplotypeEntriesRead;
        nbGeneCopies = other.nbGeneCopies;
        nbGeneCopiesKept = other.nbGeneCopiesKept;
        degreesOfFreedom = other.degreesOfFreedom;
        separatorChar = other.separatorChar;
        dataType = other.dataType;
        locusSeparator = other.locusSeparator;
        CoordX = other.CoordX;
        CoordY = other.CoordY;
        SSDWP = other.SSDWP;
        SSDWP_divN = other.SSDWP_divN;
        SSDWI = other.SSDWI;

        haploFreqs = other.haploFreqs;
        phenotypes = other.phenotypes;
        profile = other.profile;

        for (long i = 0; i < other.haplotypes.count; ++i) {
            PHaploDef const* entry = other.haplotypes.data[i];
            if (entry != nullptr) haplotypes.Add(new PHaploDef(*entry));
        }
        // The locus integers belong to haplotypic data: without entries there
        // is nothing they describe.
        if (other.haplotypes.count > 0) polymorphicLocus = other.polymorphicLocus;
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Population::operator=()", Msg::m0_not_enough_memory);
        throw;  // reached only while no log is open
    }
    return *this;
}

void Population::initialize() {
    name = "";
    id = -1;
    nbEntries = 0;
    SampleSize = 0.0;
    invSampleSize = 0.0;
    fromPhenotypes = 0;
    recessiveAllelesEM = 0;
    alleleDB = nullptr;
    currentHaplotypes = &haplotypes;
    reset_permutation_vectors();

    contTableMonomorphic = 0;
    pooledGroupSample = false;
    amovaIndex = 0;
    NbHaplotypeEntries = 0;
    NbHaplotypeEntriesRead = 0;
    nbGeneCopies = 0;
    nbGeneCopiesKept = 0;
    degreesOfFreedom = 0;
    separatorChar = 0;
    CoordX = 0.0;
    CoordY = 0.0;
    SSDWP = 0.0;
    SSDWP_divN = 0.0;
    SSDWI = 0.0;

    clean();
}

void Population::clean() {
    phenotypes.flush();
    haplotypes.Flush();
    geneCopies.Flush();
    std::vector<int>().swap(loneCopies);
    haploFreqs.flush_haplotypes();
    std::vector<int>().swap(polymorphicLocus);
    std::vector<std::vector<int>>().swap(contTable);
}

void Population::reset_permutation_vectors() {
    std::vector<double>().swap(hapl_count);
    std::vector<int>().swap(VectorOfExistingHaplotypes);
    perm_vector_size = 0;
    nb_existing = 0;
}

void Population::DeletePermutationVectors() { reset_permutation_vectors(); }

my_string Population::get_small_name() const {
    constexpr int head = 6;
    constexpr int tail = 3;
    int const len = name.length();
    my_string shortName;
    for (int i = 0; i < len && i < head; ++i) shortName += name[i];
    if (len >= head + tail) {
        int taken = 0;
        for (int i = len - 1; i >= head && taken < tail; --i) {
            char const c = name[i];
            if (c == ' ' || c == '\t') continue;
            shortName += c;
            ++taken;
        }
    }
    // The short name becomes part of a file name in the working directory: a
    // path separator must not lead the file elsewhere.
    for (int i = 0; i < shortName.length(); ++i)
        if (shortName[i] == '/' || shortName[i] == '\\') shortName[i] = '_';
    return shortName;
}

int Population::rm_blanks_at_end(char* text) {
    if (text == nullptr) return 0;
    if (char* hash = std::strchr(text, '#')) *hash = '\0';
    int len = static_cast<int>(std::strlen(text));
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t')) text[--len] = '\0';
    return len;
}

}  // namespace quintle
