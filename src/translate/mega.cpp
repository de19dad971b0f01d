// Mega sequence files (a format line, a title line, sequences introduced by
// "#" and a name, possibly in interleaved blocks, then optionally a lower
// triangle of distances) to a project of one sample, and back.

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/TPhenotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "translate/imp_exp.h"
#include "translate/text_lines.h"

namespace quintle {

namespace {

// The sequence text of a line: comments between double quotes removed, and
// blanks, as the project declares no locus separator.
std::string sequence_text(std::string_view text) {
    std::string out;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c != ' ' && c != '\t') {
            out += c;
        }
    }
    return out;
}

// A name the project readers read back as this one word: not empty, and as
// it is under as_project_word.
bool readable_name(std::string const& name) { return !name.empty() && as_project_word(name) == name; }

// The most distances a Mega target holds, as a target holds at most so
// many copies: rows repeated by their counts make a triangle of distances
// that grows with their square.
constexpr std::int64_t largest_distances = 10000000;

}  // namespace

void imp_exp::read_mega() {
    std::ostream& out = *of_str;
    TextLines in(in_file_name, line_limit);
    std::string line;
    in.next(line);
    out << "# A data file tranlated from " << line << '\n';
    out << "[Profile]" << '\n';
    in.next(line);
    std::string const title = line.size() > 5 ? line.substr(5) : std::string();
    out << "\t Title= \" " << quotable(title) << " \"" << '\n';

    // Header lines up to the first sequence become comments of the profile.
    bool more = in.next(line);
    while (more && (line.empty() || line[0] != '#')) {
        if (!line.empty()) out << "#" << line << '\n';
        more = in.next(line);
    }

    std::vector<std::string> names;
    std::vector<std::string> sequences;
    std::map<std::string, std::size_t> position;
    std::string current;
    std::string sampleName;
    while (more) {
        std::string text;
        if (line[0] == '#') {
            std::size_t const end = line.find_first_of(" \t", 1);
            current = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
            if (end != std::string::npos) text = line.substr(end);
        } else {
            text = line;
        }
        auto const [at, added] = position.emplace(current, names.size());
        if (added) {
            names.push_back(current);
            sequences.emplace_back();
        }
        sequences[at->second] += sequence_text(text);

        // One blank line separates interleaved blocks; the next line goes
        // on only as a named line.
        more = in.next(line);
        if (more && is_blank(line)) {
            more = in.next(line);
            if (!more || line.empty() || line[0] != '#') {
                sampleName = more ? line : std::string();
                more = false;
            }
        }
    }

    // A lower triangle of distances after the sequences, without its
    // diagonal: each row gains it.
    std::vector<std::string> rows;
    in.next_filled(line);
    if (!line.empty()) {
        do {
            rows.push_back(line);
        } while (in.next_filled(line));
    }
    // " 1 ACGT" would be read back as the name "1" with the sequence as its
    // count: a sequence the project reader cannot name fails the conversion.
    if (!std::all_of(names.begin(), names.end(), readable_name)) {
        refuse_source("a sequence of " + in_file_name +
                      " has no usable name (none, or one that a project cannot hold as one word: \"#\", \"}\", a "
                      "control character, the byte 0xFF): the file is not converted");
        return;
    }

    out << "\t NbSamples=1\n";
    out << "\t GenotypicData=0\n";
    out << "\t DataType=STANDARD\n";
    out << "\t MissingData=\"?\"\n";
    out << "\t LocusSeparator=NONE\n\n";
    out << "[Data]\n";
    // The matrix stands before the samples, where both project readers take it.
    if (!rows.empty()) {
        out << "\t\t[[DistanceMatrix]] " << '\n';
        out << "\t\t     MatrixName=\"Generic Distmat\"" << '\n';
        out << "\t\t     MatrixSize=" << names.size() << '\n';
        out << "\t\t     LabelPosition=LINE " << '\n';
        out << "\t\t     MatrixData={ " << '\n';
        for (std::string const& name : names) out << name << ' ';
        out << '\n';
        out << "0.0" << '\n';
        for (std::string const& row : rows) out << row << " 0.0" << '\n';
        out << "}" << '\n';
    }
    out << "\t [[Samples]]\n";
    out << "\t\t SampleName=\"" << as_sample_name(sampleName) << "\"\n";
    out << "\t\t SampleSize=" << names.size() << '\n';
    out << "\t\t SampleData={\n";
    for (std::size_t i = 0; i < names.size(); ++i) out << names[i] << " 1 " << sequences[i] << "\n";
    out << "       }\n" << '\n';
}

void imp_exp::write_mega() {
    Project& p = *proj;
    std::ostream& out = *of_str;
    if (p.samples->locusSeparator != '\0') {
        out << "  Impossible to write this data into MEGA format, because each" << '\n';
        out << "  character is supposed to be a single allele." << '\n';
        refuse_project("a Mega file holds one character per locus, and the loci of this project are separated");
        return;
    }
    std::optional<std::int64_t> const total = copies_to_write();
    if (!total) return;
    Samples const& samples = *p.samples;

    // The distances of the written rows follow them when every row's
    // haplotype is a label of the matrix (copies of a haplotype repeat its
    // row); otherwise the matrix as it stands. Rows are written as they are
    // made: a sample of a million individuals is never held.
    DistMat const& m = p.distance_matrix;
    int const size = m.MatrixSize;
    std::map<std::string, int> labels;
    for (int i = 0; m.Labels && i < size; ++i) labels.emplace(m.Labels[i].c_str(), i);
    bool labelled = true;
    if (p.GenotypicData != 0) {
        labelled = *total == 0 || labels.count("") != 0;
    } else {
        for (long s = 0; s < samples.Populations.count; ++s) {
            Population const* pop = samples.Populations.data[s];
            for (long k = 0; pop != nullptr && k < pop->haplotypes.count; ++k) {
                PHaploDef const* e = pop->haplotypes.data[k];
                if (e != nullptr && e->haplotype != nullptr && entry_copies(e->count) > 0 &&
                    labels.count(e->haplotype->id.c_str()) == 0)
                    labelled = false;
            }
        }
    }
    // Their triangle grows with the square of the copies.
    std::int64_t const rows = p.GenotypicData == 0 ? *total : 2 * *total;
    std::int64_t const distances = rows * (rows - 1) / 2;
    if (size > 0 && labelled && distances > largest_distances) {
        refuse_bound("Mega file is written with at most " + std::to_string(largest_distances) + " distances",
                     "the " + std::to_string(rows) + " rows of this project make " + std::to_string(distances));
        return;
    }

    out << "#mega" << '\n';
    out << "TITLE:" << p.Title << '\n';
    if (samples.Populations.count > 1) {
        out << "  As it is not possible to convert files containing more than one population\n"
            << "  into MEGA format, original population samples have been merged into \n"
            << "  a single population." << '\n';
    }
    if (p.GenotypicData != 0) {
        out << "  The original data was of genotypic type and MEGA accepts only\n"
            << "  haplotypic data. We have therefore made two dummy haplotypes with each\n"
            << "  genotype." << '\n';
    }
    out << '\n';

    // The distances need of the rows only the matrix index of each row's
    // haplotype.
    std::vector<int> index;
    auto row = [&](std::string const& name, std::string_view data, std::string const& definition) {
        out << "#" << name << "  " << data << '\n';
        if (labelled && size > 0) index.push_back(labels.find(definition)->second);
    };
    for (long s = 0; s < samples.Populations.count; ++s) {
        Population const* pop = samples.Populations.data[s];
        if (pop == nullptr) continue;
        if (p.GenotypicData == 0) {
            for (long k = 0; k < pop->haplotypes.count; ++k) {
                PHaploDef const* e = pop->haplotypes.data[k];
                if (e == nullptr || e->haplotype == nullptr) continue;
                std::string const id = e->haplotype->id.c_str();
                std::string_view const data(e->haplotype->data.c_str());
                int const copies = entry_copies(e->count);
                for (int c = 0; c < copies; ++c) row(id + std::to_string(c), data, id);
            }
        } else {
            std::string const none;
            for (long k = 0; k < pop->phenotypes.size(); ++k) {
                TPhenotype const* ind = pop->phenotypes[k];
                if (ind == nullptr) continue;
                ind->for_each_individual([&](std::string_view name, double count) {
                    int const copies = individual_copies(count);
                    for (int c = 0; c < copies; ++c) {
                        std::string const base = std::string(name) + std::to_string(c);
                        row(base + "0", ind->alleleString1.c_str(), none);
                        row(base + "1", ind->alleleString2.c_str(), none);
                    }
                });
            }
        }
    }
    out << "\n\n";

    if (size <= 0) return;
    if (!labelled) {
        for (int i = 0; i < size; ++i) index.push_back(i);
    }
    std::ios::fmtflags const flags = out.flags();
    out << std::fixed << std::setprecision(3);
    for (std::size_t i = 0; i < index.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) out << std::setw(5) << m(index[i], index[j]) << "  ";
        out << '\n';
    }
    out.flags(flags);
}

}  // namespace quintle
