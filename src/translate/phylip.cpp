// Phylip data files (a line with the numbers of taxa and of characters,
// then the taxa, each named in its first ten columns) to a project of one
// sample, and back.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"
#include "core/public.h"
#include "data/HaploDef.h"
#include "data/TPhenotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "translate/imp_exp.h"
#include "translate/text_lines.h"

namespace quintle {

namespace {

struct Taxon {
    std::string name;
    std::string data;
};

// How a taxon's name ends: in the tenth column, or at the first blank
// after it (the relaxed form that some programs write).
enum class Names { ten_columns, first_word };

void split_named_line(std::string const& line, Names names, std::string& name, std::string& data) {
    if (names == Names::ten_columns) {
        name = line.substr(0, std::min<std::size_t>(10, line.size()));
        data = line.size() > 10 ? line.substr(10) : std::string();
        return;
    }
    std::size_t const start = line.find_first_not_of(" \t");
    std::size_t const end = start == std::string::npos ? line.size() : line.find_first_of(" \t", start);
    name = start == std::string::npos ? std::string() : line.substr(start, end - start);
    data = end == std::string::npos ? std::string() : line.substr(end);
}

std::size_t count_characters(std::string const& text) { return without_blanks(text).size(); }

// Each taxon on a named line, continued on the following lines until it
// holds the declared number of characters.
std::optional<std::vector<Taxon>> sequential(std::vector<std::string> const& lines, int taxa, std::size_t characters,
                                             Names names) {
    std::vector<Taxon> out;
    std::size_t next = 0;
    for (int t = 0; t < taxa; ++t) {
        if (next >= lines.size()) return std::nullopt;
        Taxon taxon;
        split_named_line(lines[next++], names, taxon.name, taxon.data);
        std::size_t count = count_characters(taxon.data);
        while (count < characters && next < lines.size()) {
            count += count_characters(lines[next]);
            taxon.data += lines[next++];
        }
        if (count != characters) return std::nullopt;
        out.push_back(std::move(taxon));
    }
    if (next != lines.size()) return std::nullopt;
    return out;
}

// The taxa on the first named lines, then the further lines given to the
// taxa in turn, each taxon ending with the declared number of characters.
std::optional<std::vector<Taxon>> interleaved(std::vector<std::string> const& lines, int taxa, std::size_t characters,
                                              Names names) {
    if (taxa <= 0 || lines.size() < static_cast<std::size_t>(taxa)) return std::nullopt;
    std::vector<Taxon> out(static_cast<std::size_t>(taxa));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Taxon& taxon = out[i % out.size()];
        if (i < out.size())
            split_named_line(lines[i], names, taxon.name, taxon.data);
        else
            taxon.data += lines[i];
    }
    for (Taxon const& taxon : out)
        if (count_characters(taxon.data) != characters) return std::nullopt;
    return out;
}

// A name the project readers take as one word: no outer blanks, inner
// ones and whatever else a word cannot hold as "_" (as_project_word), never
// empty, never one already given.
std::string project_name(std::string const& name, std::size_t position, UniqueNames& given) {
    std::string out = as_project_word(trimmed(name));
    if (out.empty()) out = "taxon" + std::to_string(position + 1);
    return given.unique(out);
}

// A row name of a Phylip target: padded with blanks or cut to ten columns.
std::string row_name(std::string const& text) {
    std::string out = cut_to_width(text, 10);
    out.resize(10, ' ');
    return out;
}

// The part of an identifier that opens its row names: its first six bytes,
// blanks in place of a character that the sixth would split.
std::string row_stem(std::string_view id) { return cut_to_width(id, 6); }

}  // namespace

void imp_exp::read_phylip() {
    std::ostream& out = *of_str;
    std::vector<std::string> lines;
    {
        TextLines in(in_file_name, line_limit);
        for (std::string line; in.next_filled(line);) lines.push_back(std::move(line));
    }
    std::string const head = lines.empty() ? std::string() : lines.front();
    if (!lines.empty()) lines.erase(lines.begin());
    std::istringstream numbers(head);
    std::string first, second;
    numbers >> first >> second;
    int const taxa = my_atoi(first.c_str());
    int const characters = my_atoi(second.c_str());

    std::optional<std::vector<Taxon>> taxons;
    if (characters > 0) {
        std::size_t const n = static_cast<std::size_t>(characters);
        for (auto layout : {sequential, interleaved}) {
            for (Names names : {Names::ten_columns, Names::first_word}) {
                if (!taxons) taxons = layout(lines, taxa, n, names);
            }
        }
    }
    bool const recognised = taxons.has_value();
    if (recognised) {
        for (Taxon& taxon : *taxons) taxon.data = without_blanks(taxon.data);
    } else {
        taxons.emplace();
        for (std::string const& line : lines) {
            Taxon taxon;
            split_named_line(line, Names::ten_columns, taxon.name, taxon.data);
            taxons->push_back(std::move(taxon));
        }
        // One taxon per line, its loci separated by blanks: still the taxa
        // and loci of the first line, or a file converted only in part.
        if (taxons->size() != static_cast<std::size_t>(std::max(taxa, 0))) {
            refuse_source(in_file_name + " declares " + std::to_string(taxa) + " taxa of " +
                          std::to_string(characters) + " characters, and its lines give " +
                          std::to_string(taxons->size()) + (taxons->size() == 1 ? " taxon" : " taxa") +
                          ": the file is not converted");
            return;
        }
        std::size_t const declared = static_cast<std::size_t>(std::max(characters, 0));
        auto const loci_differ = [&](Taxon const& t) { return words_of(t.data).size() != declared; };
        if (std::any_of(taxons->begin(), taxons->end(), loci_differ)) {
            // Named: the first taxon that holds the count in neither reading.
            auto wrong = std::find_if(taxons->begin(), taxons->end(), [&](Taxon const& t) {
                return loci_differ(t) && count_characters(t.data) != declared;
            });
            if (wrong == taxons->end()) wrong = std::find_if(taxons->begin(), taxons->end(), loci_differ);
            refuse_source("the taxon \"" + message_text(trimmed(wrong->name), 40) + "\" of " + in_file_name +
                          " does not hold the " + std::to_string(characters) +
                          " characters its first line declares: the file is not converted");
            return;
        }
    }

    out << "[Profile]" << '\n';
    out << "\t Title=\"File translated from  PHYLIP\"\n";
    out << "\t NbSamples=1\n";
    out << "\t GenotypicData=0\n";
    out << "\t MissingData=\"?\"\n";
    out << "\t DataType=STANDARD\n";
    out << (recognised ? "\t LocusSeparator=NONE\n" : "\t LocusSeparator=WHITESPACE\n") << '\n';
    if (!recognised && !lines.empty()) {
        out << "# The taxa do not hold the " << characters << " characters declared, neither in sequential nor in "
            << "interleaved layout: each line is read as one taxon" << '\n';
    }
    out << "[Data]\n";
    out << "\t [[Samples]]\n";
    out << "\t\t SampleName= \"Population1\"\n";
    out << "\t\t SampleSize= " << taxons->size() << "\n";
    out << "\t\t SampleData={\n";
    UniqueNames given;
    for (std::size_t i = 0; i < taxons->size(); ++i) {
        Taxon const& taxon = (*taxons)[i];
        out << project_name(taxon.name, i, given) << " 1 " << (recognised ? taxon.data : trimmed(taxon.data))
            << '\n';
    }
    out << "}" << '\n';
}

void imp_exp::write_phylip() {
    Project& p = *proj;
    std::ostream& out = *of_str;
    std::optional<std::int64_t> const total = copies_to_write();
    if (!total) return;
    Samples const& samples = *p.samples;
    // Notices before the first line would make the file unreadable as
    // Phylip: they go to the log.
    if (samples.Populations.count > 1) {
        *_AOS_ << "  As it is not possible to convert files containing more than one population\n"
               << "  into PHYLIP format, original population samples have been merged into \n"
               << "  a single population." << std::endl;
    }
    if (p.GenotypicData != 0) {
        *_AOS_ << "  The original data was of genotypic type and PHYLIP accepts only\n"
               << "  haplotypic data. We have therefore made two dummy haplotypes with each\n"
               << "  genotype." << std::endl;
    }
    // A genotype is written as two rows.
    std::int64_t const rows = p.GenotypicData == 0 ? *total : 2 * *total;
    out << rows << "     " << p.allele_db.loci.count << '\n';

    for (long s = 0; s < samples.Populations.count; ++s) {
        Population const* pop = samples.Populations.data[s];
        if (pop == nullptr) continue;
        if (p.GenotypicData == 0) {
            for (long k = 0; k < pop->haplotypes.count; ++k) {
                PHaploDef const* e = pop->haplotypes.data[k];
                if (e == nullptr || e->haplotype == nullptr) continue;
                std::string const id = row_stem(e->haplotype->id.c_str());
                int const copies = entry_copies(e->count);
                for (int c = 0; c < copies; ++c)
                    out << row_name(id + std::to_string(c)) << e->haplotype->data << '\n';
            }
        } else {
            for (long k = 0; k < pop->phenotypes.size(); ++k) {
                TPhenotype const* ind = pop->phenotypes[k];
                if (ind == nullptr) continue;
                ind->for_each_individual([&](std::string_view name, double count) {
                    std::string const id = row_stem(name);
                    int const copies = individual_copies(count);
                    for (int c = 0; c < copies; ++c) {
                        std::string const base = id + std::to_string(c);
                        out << row_name(base + "0") << ind->alleleString1 << '\n';
                        out << row_name(base + "1") << ind->alleleString2 << '\n';
                    }
                });
            }
        }
    }
}

}  // namespace quintle
