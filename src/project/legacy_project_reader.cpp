// The older, token-based project reader, kept for the format translator's
// export: the profile through the keyword readers of the profile, then up to
// four sub-sections of "[Data]" in any order, each handed to its own older
// reader. What was read before a failure stays in the project.

#include <ctime>
#include <fstream>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/timing.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

namespace {

constexpr char kOpen[] = "Project::open()";
constexpr int kMaxSubSections = 4;

enum SubSection { kNone = 0, kDistanceMatrix = 1, kHaplotypeDefinition = 2, kSamples = 3, kStructure = 4, kMantel = 5 };

}  // namespace

// One sub-section read by its reader. 1: go on; 0: the read fails (reported).
int Project::open_sub_section(std::ifstream& in, int which) {
    std::ostream& log = *_AOS_;
    std::clock_t const start = std::clock();
    auto done = [&] { log << "\tdone ! (" << elapsed_ms_since(start) << " ms)" << std::endl; };

    switch (which) {
        case kDistanceMatrix:
            if (GivenDistMat == 0) {
                // Its content is passed over by the next header search.
                E.error(WARNING, kOpen, Msg::m129_dist_mat_ignored);
                return 1;
            }
            log << "\tReading distance matrix ..." << std::endl;
            static_cast<ProfileSettings&>(distance_matrix) = static_cast<ProfileSettings const&>(*this);
            if (distance_matrix.get_settings(in) == 0) return 0;
            done();
            return 1;
        case kHaplotypeDefinition:
            log << "\tReading haplotype list ..." << std::endl;
            if (!haplotypes.open(in, *this)) return 0;
            done();
            return 1;
        case kSamples:
            log << "\tReading sample data ..." << std::endl;
            if (samples->Read(in, *this, haplotypes, group_identical_runs) == 0) {
                log << "\n\tUnable to read the specified number of populations.\n" << std::endl;
                return 0;
            }
            done();
            if (!(UsedHaplList == "NONE") && haplotypes.haplotypes.count == 0)
                E.error(WARNING, kOpen, Msg::m130_hapl_list_found_empty);
            return 1;
        case kStructure:
            if (samples->Populations.count == 0) {
                E.error(ERROR, kOpen, Msg::m172_structure_without_samples);
                return 0;
            }
            log << "\tReading genetic structure ..." << std::endl;
            if (structure->open(in, *this, *samples) == 0) return 0;
            done();
            return 1;
        case kMantel:
            if (samples->Populations.count == 0) {
                E.error(ERROR, kOpen, Msg::m196_mantel_without_samples);
                return 0;
            }
            log << "\tReading mantel section ..." << std::endl;
            mantel.profile = static_cast<ProfileSettings const&>(*this);
            if (mantel.get_settings(in) == 0) return 0;
            done();
            return 1;
        default:
            return 0;
    }
}

int Project::open() {
    // Relative EXTERN names of the sub-sections start in the run's folders.
    RunSettings = &options;
    std::ifstream in;
    if (!open_input_file(in, settings::input_file.c_str())) {
        E.error(WARNING, kOpen, Msg::m126_cannot_open_project_file);
        return 0;
    }
    std::ostream& log = *_AOS_;

    log << "Reading general settings in input file ..." << std::endl;
    std::clock_t const profileStart = std::clock();
    if (!get_profile_settings(in)) {
        E.error(ERROR, kOpen, Msg::m127_cannot_read_profile);
        return 0;
    }
    log << "done ! (" << elapsed_ms_since(profileStart) << " ms)" << std::endl;

    std::clock_t const dataStart = std::clock();
    log << "Reading data section in input file ..." << std::endl;
    // Without "[Data]" the stream ends here, and no sub-section is found.
    go_to_section(in, my_string("data"));

    my_string name;
    int found = 0;
    for (int pass = 0; pass <= kMaxSubSections; ++pass) {
        skip_comments(in);
        int const which = get_next_subsection(in, name);
        if (which == kNone) break;
        ++found;
        if (open_sub_section(in, which) == 0) return 0;
        if (pass == kMaxSubSections) {
            E.error(ERROR, kOpen, Msg::m131_too_many_subsections);
            return 0;
        }
    }
    if (found == 0) {
        E.error(ERROR, kOpen, Msg::m128_no_subsections);
        return 0;
    }
    log << "done ! (" << elapsed_ms_since(dataStart) << " ms)" << std::endl;
    return 1;
}

bool read_directive_my_string(std::istream& is, std::string& directive) {
    my_string token;
    token.read_token(is);
    token.to_lower();
    directive = token.c_str();
    return is.good();
}

long read_directive_value(std::istream& is) {
    long value = 0;
    if (!(is >> value)) return -1;
    return value;
}

}  // namespace quintle
