// Writers of project-file text: profile headers and sample frames for
// generated project files, the back-up of a project's input data, an empty
// example file and the settings file that belongs to a project. What they
// write reads back through the project reader.

#include "project/project_writers.h"

#include <fstream>
#include <ostream>

#include "core/Errors.h"
#include "core/xml.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

namespace {

// The "[Profile]" block after its title line, with the opening of "[Data]"
// and "[[Samples]]". DNA and RFLP sequences are written without separator.
void write_profile_rest(int nbSamples, char const* phaseLine, TDataType type, char missing, std::ostream& os) {
    os << "\tNbSamples=" << nbSamples << "\n";
    os << "\tGenotypicData=1\n";
    os << phaseLine;
    os << "\tRecessiveData=0\n";
    os << "\tDataType=";
    switch (type) {
        case DNA: os << "DNA\n"; break;
        case RFLP: os << "RFLP\n"; break;
        case MICROSAT: os << "MICROSAT\n"; break;
        case STANDARD: os << "STANDARD\n"; break;
        case FREQUENCY: os << "FREQUENCY\n"; break;
    }
    os << (type == DNA || type == RFLP ? "\tLocusSeparator=NONE\n" : "\tLocusSeparator=TAB\n");
    os << "\tMissingData='" << missing << "'\n";
    os << "\n[Data]\n";
    os << "\t[[Samples]]\n\n";
}

}  // namespace

std::ostream& write_Pellomar_header(int const& nbSamples, TDataType const& type, std::ostream& os) {
    os << "\n[Profile]\n";
    os << "\tTitle=\"A series of simulated samples\"\n";
    write_profile_rest(nbSamples, "\tGameticPhase=0\n", type, '?', os);
    return os;
}

std::ostream& write_Pellomar_header_gibbs(my_string title, int const& nbSamples, TDataType const& type,
                                          std::ostream& os, char missing) {
    os << "\n[Profile]\n";
    os << "\tTitle=\"" << title << "\"\n";
    write_profile_rest(nbSamples, "\tGameticPhase=1\n", type, missing, os);
    return os;
}

std::ostream& write_Pellomar_sample_header(int const& sampleNo, int const& sampleSize, std::ostream& os) {
    os << "\t\tSampleName=\"Sample " << sampleNo << "\"\n";
    os << "\t\tSampleSize=" << sampleSize;
    os << "\n\t\tSampleData= {\n";
    return os;
}

std::ostream& write_Pellomar_sample_header_gibbs(my_string const& name, int const& sampleSize, std::ostream& os) {
    os << "\t\tSampleName=\"" << name << "\"\n";
    os << "\t\tSampleSize=" << sampleSize;
    os << "\n\t\tSampleData= {\n";
    return os;
}

std::ostream& write_Pellomar_sample_footer(std::ostream& os) { return os << "}" << std::endl; }

std::ostream& write_Pellomar_sample_footer_gibbs(std::ostream& os) { return os << "\n\t\t}" << std::endl; }

int Project::write() {
    if (write_backup == 0) return 1;
    std::ofstream out(options.BackupFileName.c_str(), std::ios::out | std::ios::trunc);
    if (!out.is_open()) {
        E.error(ERROR, "Project::write()", Msg::m133_cannot_write_backup_file);
        return 0;
    }
    // Sequences are written joined; only now, so that a failed back-up
    // changes nothing.
    if (ProfileSettings::DataType == DNA || ProfileSettings::DataType == RFLP) ProfileSettings::LocusSeparator = 0;
    // The matrix writer marks its values up for an XML result file; a
    // project file must stay plain text to be read back.
    struct PlainText {
        bool const saved = xmlOutput;
        PlainText() { xmlOutput = false; }
        ~PlainText() { xmlOutput = saved; }
    } const plain;
    // The sample blocks hold counts whatever the project file gave: the
    // profile says so, or relative data would be scaled a second time.
    ProfileSettings profile(*this);
    profile.Frequency = 0;
    out << profile;
    out << haplotypes;
    out << distance_matrix;
    out << *samples;
    out << *structure;
    *_AOS_ << "Back-up file with input data written in " << options.BackupFileName << std::endl;
    out.close();
    return 1;
}

void Project::create_pmp_example(char* path) {
    // Opening for writing creates the file or empties it; an unusable path
    // is passed over.
    std::ofstream example(path, std::ios::out | std::ios::trunc);
}

void Project::save_associated_set() {
    my_string name = settings::input_file;
    name.remove_extension();
    name += ".pms";
    options.SettingsFileName = name;
    options.print_settings(options.SettingsFileName);
}

}  // namespace quintle
