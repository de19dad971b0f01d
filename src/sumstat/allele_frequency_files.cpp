// Plain-text allele-frequency tables of a sample set: "PopNames.txt" (sample
// numbers and names) and one "AllFreqLocus_<l>.txt" per locus in the result
// folder, and "AllAlleleFreqs.txt", every locus in one file, beside the
// project file.

#include "sumstat/allele_frequency_files.h"

#include <fstream>
#include <ios>
#include <sstream>
#include <iomanip>
#include <string>

#include "core/platform.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "run/settings.h"

namespace quintle {

void sort_alleles_by_name(TLocus& locus) { locus.alleles.quickSortArray(); }

double sample_frequency(TAllele const* allele, long p) {
    if (allele == nullptr || !allele->popFreq || p < 0 || p >= allele->popFreq.size()) return 0.0;
    return allele->popFreq[p];
}

namespace {

constexpr int kLocusFileField = 12;

std::string folder_of(my_string const& path) {
    my_string folder = path;
    folder.extract_path();
    return folder.c_str();
}

// Successive projects can gather their tables in the same files when the
// run asks for it; otherwise each run starts them afresh.
std::ios::openmode table_mode(settings const& s) {
    return std::ios::out | (s.RunFileFlag != 0 ? std::ios::app : std::ios::trunc);
}

TLocus const* locus_of(TAlleleDB const* db, long l) {
    if (db == nullptr || l < 0 || l >= db->loci.count) return nullptr;
    return db->loci.data[l];
}

void write_locus_header(std::ostream& os, long populations) {
    os << std::setw(kLocusFileField) << "Allele";
    for (long p = 1; p <= populations; ++p) os << std::setw(kLocusFileField) << ("Pop_" + std::to_string(p));
    os << "\n";
}

// Locus l (from 0): its file in the result folder and its lines of the
// all-loci file. The frequencies come from the project's allele of the
// same name; a name the project does not know reads 0 in every sample.
void write_locus(std::ostream& all, std::string const& folder, long l, TLocus* global, TLocus const* project,
                 long populations, std::ios::openmode mode) {
    std::ofstream file(folder + "AllFreqLocus_" + std::to_string(l + 1) + ".txt", mode);
    file.setf(std::ios::fixed, std::ios::floatfield);
    file.setf(std::ios::showpoint);
    file.setf(std::ios::right, std::ios::adjustfield);
    file.precision(5);
    write_locus_header(file, populations);
    if (global == nullptr) return;

    sort_alleles_by_name(*global);
    for (long j = 0; j < global->alleles.count; ++j) {
        TAllele const* a = global->alleles.data[j];
        if (a == nullptr) continue;
        file << std::setw(kLocusFileField) << a->name.c_str();
        all << "Locus_" << l + 1 << "\t" << a->name.c_str() << "\t";
        TAllele const* own = project != nullptr ? project->find_allele_by_name(a->name) : nullptr;
        for (long p = 0; p < populations; ++p) {
            double const f = sample_frequency(own, p);
            file << std::setw(kLocusFileField) << f;
            all << f << "\t";
        }
        file << "\n";
        all << "\n";
    }
}

}  // namespace

void Samples::computeAndOutputAlleFreqPerPop(settings& s) {
    std::string const folder = folder_of(s.ResultFileName);
    long const populations = Populations.count;

    {
        std::ofstream names(folder + "PopNames.txt", std::ios::out | std::ios::trunc);
        for (long p = 0; p < populations; ++p) {
            Population const* pop = Populations.data[p];
            names << "Pop_" << p + 1 << "\t" << (pop != nullptr ? pop->name.c_str() : "") << "\n";
        }
    }

    std::ios::openmode const mode = table_mode(s);
    // Every project of the folder writes this file: its text is gathered
    // first and written in one go under a lock, so that projects finishing
    // at once leave one whole table each, never a mix.
    std::ostringstream all;
    all.precision(5);
    TAlleleDB& global = PopGenetics::globalAllelicDB;
    global.make_records();
    long const L = global.loci.count;
    for (long l = 0; l < L; ++l)
        write_locus(all, folder, l, global.loci.data[l], locus_of(s.project_allele_db, l), populations, mode);
    std::string const path = std::string(s.ProjectFolder.c_str()) + "AllAlleleFreqs.txt";
    if ((mode & std::ios::app) != 0)
        MY_AppendToFile(path.c_str(), all.str());
    else
        MY_ReplaceFileContent(path.c_str(), all.str());
}

}  // namespace quintle
