// Reader of the "[[Samples]]" section of a project file.

#include <climits>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_set>

#include "core/Errors.h"
#include "core/checked_int.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/public.h"
#include "core/timing.h"
#include "data/Haplo_DB.h"
#include "datatypes/population_factory.h"
#include "project/Samples.h"
#include "run/extern_names.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char const* kReader = "Samples::NewRead()";

void report(ErrorType kind, int number) { E.error(kind, my_string(kReader), number); }

std::ostream& log() { return *_AOS_; }

bool holds(std::string const& text, char const* pattern) { return text.find(pattern) != std::string::npos; }

// Upper-case copy of the line into a buffer kept across lines.
void upper_copy(my_string const& line, std::string& upper) {
    upper.assign(line.c_str(), static_cast<std::size_t>(line.length()));
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

// Adds the sample's gene copies to the project's. Pooled groups, the AMOVA
// and the haplotype counts add them up in ints: false, reported, when the
// total passes what an int holds.
bool counted_in_project(Population const& sample, double& projectCopies) {
    projectCopies += sample.SampleSize;
    if (projectCopies <= static_cast<double>(INT_MAX)) return true;
    log() << "\tSample \"" << sample.name << "\" takes the gene copies of the project beyond " << INT_MAX
          << ". Aborting reading project." << std::endl;
    E.error(ERROR, (std::string(kReader) + " (sample \"" + sample.name.c_str() + "\")").c_str(),
            sample.profile.GenotypicData != 0 ? 149 : 144);
    return false;
}

// A sample block begun by its name and never given its data: the end of the
// section or of the file came first. Reported; the reading fails.
void report_unfinished_block(my_string const& name, int nameLine, char const* end) {
    log() << "\tSample \"" << name << "\" named on line " << nameLine << " has no data: " << end
          << " comes before its SampleData line. Aborting reading project." << std::endl;
    report(ERROR, 63);
}

}  // namespace

int Samples::NewReadSamples(std::ifstream& in, ProfileSettings& profile, Haplo_DB& haplotypes, int& lineNo,
                            my_string& line, bool& nameSeen, bool& sizeSeen, bool& dataSeen) {
    clean();
    ProfileSettings::operator=(profile);
    // However the reading ends, the samples read carry the profile's data
    // type and separator as the reader leaves them.
    ContextOnExit const stamp{*this};

    int namesRead = 0;
    bool namePending = false;
    int nameLine = 0;
    my_string currentName;
    int currentSize = 0;  // a block before any SampleSize line gets 0
    double projectCopies = 0.0;
    std::string upper;
    // Names of the samples in the set, for the renaming of duplicates.
    std::unordered_set<std::string> taken;

    while (!in.fail()) {
        line.read_line(in);
        ++lineNo;
        if (line.length() == 0) continue;
        upper_copy(line, upper);

        if (holds(upper, "[STRUCTURE]") || holds(upper, "[MANTEL]")) {
            if (namePending) {
                report_unfinished_block(currentName, nameLine, "the next section");
                return 0;
            }
            if (namesRead == NbSamples) {
                if (DataType == DNA) LocusSeparator = 0;
            } else {
                report(WARNING, 95);
                log() << "Warning: " << namesRead << " samples are actually listed in project file, while "
                      << NbSamples << " are defined in the [[Profile]] section\n"
                      << std::endl;
            }
            return 1;
        }

        if (holds(upper, "SAMPLENAME")) {
            nameSeen = true;
            if (checkForPresenceOfEqualSign(line, "SampleName", lineNo) == 0) continue;
            if (!getQuotedString(line, currentName, "SampleName", lineNo)) {
                // Going on would drop every later sample and section while
                // the project still looked readable.
                report(WARNING, 62);
                return 0;
            }
            ++namesRead;
            namePending = true;
            nameLine = lineNo;
            continue;
        }

        if (holds(upper, "SAMPLESIZE")) {
            sizeSeen = true;
            if (checkForPresenceOfEqualSign(line, "SampleSize", lineNo) == 0) continue;
            double value = 0.0;
            if (!getValue(line, value, "SampleSize", lineNo)) {
                report(WARNING, 66);
                return 0;
            }
            int size = 0;
            if (!checked_int(value, size)) {
                // A number (nan, -inf, 1e30) that no sample size can be.
                log() << "\tProject file, Line #" << lineNo << " : Bad value after keyword 'SampleSize'\n";
                report(WARNING, 66);
                return 0;
            }
            currentSize = size;
            continue;
        }

        if (!holds(upper, "SAMPLEDATA")) continue;

        if (!namePending) {
            report(WARNING, 207);
            log() << "Warning: Keyword \"SampleName\" not found while data is defined for population #"
                  << namesRead + 1 << std::endl;
            return 0;
        }
        dataSeen = true;

        ProfileSettings sampleProfile(*this);
        Population local(currentName, namesRead - 1, sampleProfile);
        local.SampleSize = currentSize;

        bool const isExternal = line.contains("EXTERN") != 0;
        std::ifstream externalFile;
        int dataLine = lineNo;
        if (isExternal) {
            report(INFO, 191);
            my_string fileName;
            if (!getQuotedString(line, fileName, "Extern sample data", lineNo)) {
                // No file to read the block from.
                report(ERROR, 63);
                return 0;
            }
            open_input_file(externalFile, extern_file_path(fileName.c_str(), RunSettings, ExternBase::ProjectFolder));
            if (!externalFile.is_open()) {
                log() << "\tWarning: External file \"" << fileName << "\" listed on line " << lineNo
                      << " cannot be open. Check that it exists...\n"
                      << std::endl;
                // An unreadable file must not pass for an empty sample.
                report(ERROR, 63);
                return 0;
            }
            log() << "\tReading sample data for population \"" << local.name << "\" in external file\"" << fileName
                  << "\"" << std::endl;
            dataLine = 0;
        }
        std::ifstream& source = isExternal ? externalFile : in;

        log() << "\tReading " << local.name << " ... " << std::endl;
        std::clock_t const start = get_sys_clock();
        int const external = isExternal ? 1 : 0;
        int const read = local.profile.GenotypicData != 0
                             ? local.New_read_genotypic_data(source, external, dataLine, line)
                             : local.New_read_gametic_data(source, haplotypes, external, dataLine, line);
        if (read == 0) {
            report(ERROR, 63);
            return 0;
        }
        if (!isExternal) lineNo = dataLine;
        if (!counted_in_project(local, projectCopies)) return 0;
        log() << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n" << std::endl;
        if (isExternal) externalFile.close();

        // A duplicate name gets the counter's text appended until it is
        // free, at most 100 times.
        for (int counter = 0; counter <= 99 && taken.contains(local.name.c_str()); ++counter) {
            local.name += std::to_string(counter).c_str();
            report(WARNING, 65);
        }

        std::unique_ptr<PopGenetics> sample = make_sample(DataType, local);
        taken.insert(sample->name.c_str());
        Populations.Add(sample.get());
        sample.release();  // owned by the set from here on
        namePending = false;
    }

    // End of the file.
    if (namePending) {
        report_unfinished_block(currentName, nameLine, "the end of the project file");
        return 0;
    }
    if (DataType == DNA) LocusSeparator = 0;
    if (namesRead != NbSamples) {
        report(WARNING, 95);
        log() << "Warning: " << namesRead << " samples are actually listed in project file, while \n"
              << NbSamples << " are defined in the [[Profile]] section. Adjusting no. of samples...\n"
              << std::endl;
        NbSamples = namesRead;
    }
    return 1;
}

}  // namespace quintle
