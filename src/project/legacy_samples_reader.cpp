// The older, token-based reader of a "[[Samples]]" sub-section: for each
// sample a SampleName, then "key = value" entries up to its SampleData,
// whose block stands in the file or in an external one. Profile keywords met
// inside a sample change the set's profile, which the next sample copies.

#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <unordered_set>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/timing.h"
#include "data/Haplo_DB.h"
#include "datatypes/population_factory.h"
#include "project/Samples.h"
#include "run/extern_names.h"

namespace quintle {

namespace {

constexpr char kRead[] = "Samples::Read()";
constexpr int kEof = std::char_traits<char>::eof();

bool is_alnum(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void report(ErrorType kind, Msg message) { E.error(kind, kRead, message); }

// Passes over white space and "#" comments up to the next visible
// character, which is returned and left in the stream.
int skip_to_visible(std::istream& is) {
    for (;;) {
        int const c = is.peek();
        if (c == '#') {
            is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        } else if (c != kEof && is_space(c)) {
            is.get();
        } else {
            return c;
        }
    }
}

// After an in-file block: the brace that closes it, or ERROR 64. Anything
// else found there is left for the next keyword.
void expect_closing_brace(std::istream& is, my_string const& name) {
    for (;;) {
        int const c = is.get();
        if (c == kEof) break;
        if (c == '}') return;
        if (is_alnum(c) || c == '[') {
            is.unget();
            break;
        }
    }
    std::string const where = std::string(kRead) + " (\"" + name.c_str() + "\")";
    E.error(ERROR, my_string(where.c_str()), Msg::m64_missing_sample_closing_brace);
}

int read_block(Population& sample, std::ifstream& is, Haplo_DB& haplotypes, int external, bool groupRuns) {
    return sample.profile.GenotypicData != 0 ? sample.read_genotypic_data(is, external, groupRuns)
                                             : sample.read_gametic_data(is, haplotypes, external);
}

}  // namespace

std::string Samples::build_ext_name(char const* name) const {
    return extern_file_path(name != nullptr ? name : "", RunSettings, ExternBase::ResultFolder);
}

// The profile keywords a sample may carry; false when the keyword is not
// one of them. `read` receives the reader's answer.
bool Samples::read_sample_profile_keyword(std::istream& is, my_string const& key, bool& read) {
    if (key == "genotypicdata") read = read_GenotypicData(is);
    else if (key == "datatype") read = read_DataType(is);
    else if (key == "locusseparator") read = read_LocusSeparator(is);
    else if (key == "locilabels") read = read_LociLabels(is);
    else if (key == "nbloci") read = read_NbLoci(is);
    else if (key == "missingdata") read = read_MissingData(is);
    else if (key == "usedhapllist") read = read_UsedHaplList(is);
    else if (key == "locuslisting") read = read_LocusListing(is);
    else if (key == "individuallevel") read = read_IndividualLevel(is);
    else if (key == "interleave") read = read_Interleave(is);
    else if (key == "frequency") read = read_Frequency(is);
    else if (key == "gameticphase") read = read_GameticPhase(is);
    else return false;
    return true;
}

int Samples::read_sample_data(std::ifstream& is, Population& sample, Haplo_DB& haplotypes, bool groupRuns) {
    int const c = skip_to_visible(is);
    if (c == kEof) return 0;
    if (c == '{') {
        is.get();
        *_AOS_ << "\tReading " << sample.name << " ... " << std::endl;
        std::clock_t const start = std::clock();
        if (read_block(sample, is, haplotypes, 0, groupRuns) == 0) {
            report(ERROR, Msg::m63_cannot_read_sample_data);
            return 0;
        }
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n" << std::endl;
        expect_closing_brace(is, sample.name);
        return 1;
    }
    if (!is_alnum(c)) {
        report(ERROR, Msg::m39_missing_hapl_list_braces);
        return 0;
    }
    my_string word;
    get_qstring(is, word);
    word.to_upper();
    if (!(word == "EXTERN")) {
        report(ERROR, Msg::m38_invalid_hapl_list_keyword);
        return 0;
    }
    my_string file;
    if (!get_qstring(is, file)) return 1;  // a sample without data
    report(INFO, Msg::m35_reading_extern_hapl_list);
    if (file.contains('"') && file.length() >= 2) {
        file.remove(file.length() - 1, 1);
        file.remove(0, 1);
    }
    std::ifstream ext;
    if (!open_input_file(ext, build_ext_name(file.c_str()))) {
        report(ERROR, Msg::m36_cannot_open_extern_hapl_file);
        return 0;
    }
    if (read_block(sample, ext, haplotypes, 1, groupRuns) == 0) {
        report(ERROR, Msg::m37_bad_extern_hapl_file);
        return 0;
    }
    return 1;
}

int Samples::read_one_sample(std::ifstream& is, Population& sample, Haplo_DB& haplotypes, bool groupRuns) {
    my_string key;
    for (;;) {
        key = "";
        if (!get_next_ident(is, key)) {
            // A character no keyword may begin with was passed over with its
            // report: look further. The end of the input or the next header
            // before the sample's data ends the section.
            if (key == "*" && is.good()) continue;
            report(ERROR, Msg::m63_cannot_read_sample_data);
            return 0;
        }
        if (key == "samplesize") {
            int size = 0;
            if (!(is >> size)) {
                report(ERROR, Msg::m66_invalid_sample_size);
                return 0;
            }
            if (size < 0)
                report(ERROR, Msg::m66_invalid_sample_size);
            else
                sample.SampleSize = size;
            continue;
        }
        if (key == "samplelocation") {
            // Coordinates are not kept by this reader: the rest of the line goes.
            is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            continue;
        }
        bool read = false;
        if (read_sample_profile_keyword(is, key, read)) {
            if (!read) return 0;
            continue;
        }
        if (key == "sampledata") return read_sample_data(is, sample, haplotypes, groupRuns);
        report(ERROR, Msg::m67_bad_samples_keyword);
        return 0;
    }
}

int Samples::Read(std::ifstream& is, ProfileSettings& profile, Haplo_DB& haplotypes, bool groupRuns) {
    clean();
    ProfileSettings::operator=(profile);
    // However the reading ends, the samples read carry the profile's data
    // type and separator as the reader leaves them.
    ContextOnExit const stamp{*this};
    // Names in the set, for the renaming of duplicates.
    std::unordered_set<std::string> taken;

    int const n = NbSamples;
    for (int i = 0; i < n; ++i) {
        my_string key;
        if (!get_next_ident(is, key)) {
            report(ERROR, Msg::m62_invalid_sample_name);
            return 0;
        }
        if (!(key == "samplename")) {
            report(ERROR, Msg::m61_samples_must_begin_with_name);
            return 0;
        }
        my_string name;
        if (!get_qstring(is, name)) {
            report(ERROR, Msg::m62_invalid_sample_name);
            return 0;
        }
        // The sample's profile is the set's as it stands now: a profile
        // keyword inside this sample acts from the next one on.
        Population local(name, i, *this);
        if (read_one_sample(is, local, haplotypes, groupRuns) == 0) return 0;

        // A second A becomes A0, a third A0 and then A01.
        for (int k = 0; k <= 99 && taken.contains(local.name.c_str()); ++k) {
            local.name += std::to_string(k).c_str();
            report(WARNING, Msg::m65_duplicate_sample_name);
        }
        // The phenotypes move to the typed sample rather than being copied:
        // a sample may hold a million of them.
        TPhenDB read;
        read.swap(local.phenotypes);
        std::unique_ptr<PopGenetics> sample = make_sample(DataType, local);
        sample->phenotypes.swap(read);
        taken.insert(sample->name.c_str());
        Populations.Add(sample.get());
        sample.release();  // owned by the set
    }
    return 1;
}

}  // namespace quintle
