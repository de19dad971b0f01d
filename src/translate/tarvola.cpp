// Tarvola file sets to projects and back: a group file listing the
// populations of each group, one population file per population (its size,
// then haplotype counts) and a distance file between haplotypes.

#include <algorithm>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/platform.h"
#include "core/public.h"
#include "data/HaploDef.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "translate/imp_exp.h"
#include "translate/text_lines.h"

namespace quintle {

namespace {

// `name`, or the program folder followed by `name` when only that opens.
std::string found_file(std::string const& name, std::string const& programFolder) {
    if (can_open_for_reading(name)) return name;
    return programFolder + name;
}

}  // namespace

void imp_exp::read_tar_vola() {
    std::ostream& out = *of_str;

    // The matrix size is the number of labels on the distance file's first
    // line; its values are read through the EXTERN reference.
    std::string const distances = found_file(extra_file_a, prog_dir);
    std::size_t matrixSize = 1;
    {
        TextLines in(distances, line_limit);
        std::string labels;
        if (in.next(labels)) matrixSize = words_of(labels).size();
    }

    TextLines in(in_file_name, line_limit);
    std::string title;
    in.next(title);
    std::vector<std::string> const head = words_of(title);
    int const groups = my_atoi(head.empty() ? "" : head.front().c_str());
    std::erase(title, '"');
    // Members of each group, a group ended by "+++".
    std::vector<std::string> members;
    int samples = 0;
    for (std::string line; in.next(line) && !is_blank(line);) {
        for (std::string& w : words_of(line)) {
            members.push_back(std::move(w));
            ++samples;
        }
        members.emplace_back("+++");
    }
    // A population listed twice would be read twice, and the project could
    // not be read back.
    {
        std::vector<std::string> sorted;
        for (std::string const& w : members)
            if (w != "+++") sorted.push_back(w);
        std::sort(sorted.begin(), sorted.end());
        auto const twice = std::adjacent_find(sorted.begin(), sorted.end());
        if (twice != sorted.end()) {
            refuse_source("the population \"" + message_text(*twice, 40) + "\" is given twice in " + in_file_name +
                          ": the set is not converted");
            return;
        }
    }

    out << "[Profile]" << '\n';
    out << "\t Title=\"" << title << "\"" << '\n';
    out << "\t NbSamples=" << samples << '\n';
    out << "\t GenotypicData=0" << '\n';
    out << "\t DataType=FREQUENCY" << '\n';
    out << "\t LocusSeparator=NONE\n" << '\n';
    out << '\n';
    out << "[Data]" << '\n';
    out << "\n\t\t[[DistanceMatrix]] " << '\n';
    out << "\t\t     MatrixName=\"Generic Distmat\"" << '\n';
    out << "\t\t     MatrixSize=" << matrixSize << '\n';
    out << "\t\t     LabelPosition=LINE " << '\n';
    out << "\t\t     MatrixData=EXTERN \"" << distances << "\"" << '\n';
    out << "\n\t [[Samples]]" << '\n';

    for (std::string const& word : members) {
        if (word == "+++") continue;
        std::string const name = found_file(extra_file_b + word + ".pop", prog_dir);
        TextLines population(name, line_limit);
        std::string line;
        if (population.is_open()) {
            population.next(line);
            out << "# " << line << '\n';
            // The size is the number that opens the line; the name follows.
            std::vector<std::string> const first = words_of(line);
            out << "\t\t SampleName=\"" << as_sample_name(extra_file_b + word) << "\"" << '\n';
            out << "\t\t SampleSize=" << my_atoi(first.empty() ? "" : first.front().c_str()) << '\n';
            out << "\t\t SampleData={" << '\n';
            while (population.next(line)) out << line << '\n';
        } else {
            *_AOS_ << "\n\t\tThe population file " << name << " cannot be read." << std::endl;
            out << "****ERROR**** Population " << name << " not found" << '\n';
        }
        out << "}" << "\n\n" << std::flush;
    }

    out << "     [[Structure]]" << '\n';
    out << "     \tStructureName=\"Generic structure\"" << '\n';
    out << "     \tNbGroups=" << groups << '\n';
    out << "     \tIndividualLevel=0" << '\n';
    out << "\t\tGroup={" << '\n';
    for (std::size_t i = 0; i + 1 < members.size(); ++i) {
        if (members[i] == "+++")
            out << "}\n \t\tGroup={" << '\n';
        else
            out << "\"" << as_sample_name(extra_file_b + members[i]) << "\"" << '\n';
    }
    out << "}" << "\n\n" << std::flush;
}

void imp_exp::write_tar_vola() {
    Project& p = *proj;
    std::ostream& out = *of_str;
    Structure const& structure = *p.structure;
    if (structure.NbGroups == 0) {
        out << "\tNo genetic structure has been defined, it makes therefore no sense to" << '\n';
        out << " build a Tarvola file." << '\n';
        refuse_project("a Tarvola set needs a genetic structure, and this project has none");
        return;
    }
    Samples const& samples = *p.samples;
    std::string prefix;
    if (samples.Populations.count > 0 && samples.Populations.data[0] != nullptr)
        prefix = cut_to_width(samples.Populations.data[0]->name.c_str(), 5);  // may end in blanks
    // The files are made in the current folder, never in one a name points to.
    std::replace(prefix.begin(), prefix.end(), '/', '_');
    std::replace(prefix.begin(), prefix.end(), '\\', '_');
    if (p.GenotypicData != 0) {
        out << "    Tarvola accepts only Haplotypic data format, the" << '\n';
        out << "    source data file contained Genoytypic data" << '\n';
        refuse_project("a Tarvola set holds haplotypic data only, and the data of this project are genotypic");
        return;
    }

    for (long s = 0; s < samples.Populations.count; ++s) {
        Population const* pop = samples.Populations.data[s];
        if (pop == nullptr) continue;
        std::ofstream file(prefix + std::to_string(s + 1) + ".pop", std::ios::out | std::ios::trunc);
        file << static_cast<long long>(pop->SampleSize + 0.1) << ' ' << pop->name << '\n';
        for (long k = 0; k < pop->haplotypes.count; ++k) {
            PHaploDef const* e = pop->haplotypes.data[k];
            if (e != nullptr && e->haplotype != nullptr) file << e->haplotype->id << "  " << e->count << '\n';
        }
    }

    DistMat& m = p.distance_matrix;
    std::string const named = m.MatrixName.c_str();
    if (!named.empty() && can_open_for_reading(named)) {
        // The matrix was read from this file: a copy at five decimals would
        // replace the user's own values.
        *_AOS_ << "\t\tThe distances stay in " << named << ", which is not rewritten." << std::endl;
    } else {
        // A new file goes to the current folder, as the population files do.
        std::size_t const slash = named.find_last_of("/\\");
        std::string distances = slash == std::string::npos ? named : named.substr(slash + 1);
        if (distances.empty()) distances = "dist_mat.dis";
        if (m.MatrixSize <= 0) {
            // The file is written all the same, but cannot be read back.
            std::string const told = "the project has no distance matrix: the distance file " + distances +
                                     " of its Tarvola set holds none";
            warn_log_and_console(told);
        }
        std::ofstream file(distances, std::ios::out | std::ios::trunc);
        for (int i = 0; m.Labels && i < m.MatrixSize; ++i) file << m.Labels[i] << ' ';
        file << '\n';
        m.print_data(file);
        file << '\n';
    }

    out << structure.NbGroups << ' ' << p.Title << '\n';
    for (int g = 0; g < structure.NbGroups; ++g) {
        PopulationGroup const& group = structure.Groups[g];
        for (long k = 0; k < group.count; ++k) {
            long position = 0;
            for (long s = 0; s < samples.Populations.count && position == 0; ++s)
                if (samples.Populations.data[s] == group.data[k]) position = s + 1;
            out << position << ' ';
        }
        out << '\n';
    }
}

}  // namespace quintle
