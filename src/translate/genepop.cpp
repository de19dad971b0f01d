// GenePop files (multi-locus genotypes of individuals, samples opened by
// "Pop" lines) to project text and back.

#include <algorithm>
#include <iomanip>
#include <map>
#include <set>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/public.h"
#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "translate/imp_exp.h"
#include "translate/text_lines.h"

namespace quintle {

namespace {

// A line that opens a sample: it holds "POP" in any case. A line with a
// comma is an individual's, whatever its name holds.
bool is_separator(std::string const& line) {
    return line.find(',') == std::string::npos && contains_upper(line, "POP");
}

// "?" for a missing allele (coded 0), else its number.
std::string allele_text(std::string const& digits) {
    int const value = my_atoi(digits.c_str());
    return value == 0 ? std::string("?") : std::to_string(value);
}

// The number of loci that a line of the file's head names: its names
// separated by commas, empty ones left out (a trailing comma names none).
std::size_t names_on(std::string_view line) {
    std::size_t names = 0;
    for (std::size_t from = 0;;) {
        std::size_t const comma = line.find(',', from);
        if (!is_blank(line.substr(from, comma - from))) ++names;  // npos - from: the rest
        if (comma == std::string_view::npos) return names;
        from = comma + 1;
    }
}

bool is_genotype(std::string_view token) {
    return (token.size() == 4 || token.size() == 6) && all_digits(token);
}

std::string counted(std::size_t n, char const* one, char const* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The genotypes of one individual, locus by locus.
class Genotypes {
public:
    void clear() {
        first_.clear();
        second_.clear();
        wrong_.clear();
    }
    // Reads the genotypes of `line` from `start`: tokens end at a blank or
    // a tab; four digits hold two 2-digit alleles, six two 3-digit ones.
    // The first other token is kept for the refusal of the file.
    void parse(std::string const& line, std::size_t start) {
        std::size_t i = start;
        while (wrong_.empty()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',')) ++i;
            if (i >= line.size()) return;
            std::size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
            std::string_view const token = std::string_view(line).substr(i, end - i);
            if (!is_genotype(token)) {
                wrong_ = token;
                return;
            }
            std::size_t const half = token.size() / 2;
            first_.push_back(allele_text(std::string(token.substr(0, half))));
            second_.push_back(allele_text(std::string(token.substr(half))));
            i = end;
        }
    }
    std::vector<std::string> const& first() const { return first_; }
    std::vector<std::string> const& second() const { return second_; }
    // The first token that is not a genotype, or empty.
    std::string const& wrong() const { return wrong_; }

private:
    std::vector<std::string> first_;
    std::vector<std::string> second_;
    std::string wrong_;
};

// The alleles as the project writes them, each followed by a blank.
void join_alleles(std::vector<std::string> const& alleles, std::string& line) {
    line.clear();
    for (std::string const& a : alleles) line.append(a).push_back(' ');
}

// The identifiers of a haploid read, where each individual is a haplotype
// of the project and an identifier names one allele text. An individual's
// own "<name>_<k>" is kept when no earlier one was given it, or when that
// one has the same alleles; else it takes the identifier given earlier to
// its "<name>_<k>" with its alleles, or a new one made unique. Samples
// numbering their individuals afresh, or naming all alike, then convert.
class HaplotypeIds {
public:
    std::string const& id(std::string const& own, std::string const& alleles) {
        std::size_t const text = texts_.try_emplace(alleles, texts_.size()).first->second;
        std::size_t given = text;
        if (ids_.give(own, given) || given == text) return own;
        auto const [renamed, fresh] = renamed_.try_emplace({own, text});
        if (fresh) renamed->second = ids_.unique(own, text);
        return renamed->second;
    }

private:
    UniqueNames ids_;  // marked with the number of their allele text
    std::unordered_map<std::string, std::size_t> texts_;  // distinct allele texts, numbered
    std::map<std::pair<std::string, std::size_t>, std::string> renamed_;
};

// One sample block: its individuals are gathered first, so that the
// block declares the number it holds.
void write_sample(std::ostream& out, int number, int individuals, std::string const& data) {
    out << "\t\t SampleName= \"Population" << number << '"' << '\n';
    out << "\t\t SampleSize=" << individuals << '\n';
    out << "\t\t SampleData={" << '\n';
    out << data;
    out << "     }\n" << '\n';
}

// Allele numbers per locus: the alleles the samples hold, numbered from 1
// in their order in the project's allele database; missing data 0. Alleles
// of the database that no sample holds (the blank that stands first at
// every locus) get no number.
class AlleleNumbers {
public:
    AlleleNumbers(Project const& p, char missing) : missing_(missing) {
        Samples const& samples = *p.samples;
        std::vector<std::set<std::string>> held(static_cast<std::size_t>(p.allele_db.loci.count));
        auto hold = [&](long locus, TAllele const* allele) {
            if (allele != nullptr && locus >= 0 && static_cast<std::size_t>(locus) < held.size())
                held[static_cast<std::size_t>(locus)].insert(allele->name.c_str());
        };
        auto holdAll = [&](auto const& alleles) {
            for (long l = 0; l < alleles.count; ++l) hold(l, alleles.data[l]);
        };
        for (long s = 0; s < samples.Populations.count; ++s) {
            Population const* pop = samples.Populations.data[s];
            if (pop == nullptr) continue;
            for (long k = 0; k < pop->haplotypes.count; ++k)
                if (PHaploDef const* e = pop->haplotypes.data[k]; e != nullptr && e->haplotype != nullptr)
                    holdAll(e->haplotype->alleles);
            for (long k = 0; k < pop->phenotypes.size(); ++k) {
                TPhenotype const* ind = pop->phenotypes[k];
                if (ind == nullptr) continue;
                if (ind->pseudo1) holdAll(ind->pseudo1->alleles);
                if (ind->pseudo2) holdAll(ind->pseudo2->alleles);
            }
        }
        numbers_.resize(held.size());
        for (std::size_t l = 0; l < held.size(); ++l) {
            TLocus const* locus = p.allele_db.loci.data[l];
            if (locus == nullptr) continue;
            int next = 0;
            for (long a = 0; a < locus->alleles.count; ++a) {
                TAllele const* allele = locus->alleles.data[a];
                if (allele == nullptr || is_missing(allele->name.c_str())) continue;
                if (held[l].count(allele->name.c_str()) == 0) continue;
                numbers_[l].emplace(allele->name.c_str(), ++next);
            }
            largest_ = std::max(largest_, next);
        }
    }
    int largest() const { return largest_; }
    int number(long locus, TAllele const* allele) const {
        if (allele == nullptr || locus < 0 || static_cast<std::size_t>(locus) >= numbers_.size()) return 0;
        auto const& names = numbers_[static_cast<std::size_t>(locus)];
        auto const found = names.find(allele->name.c_str());
        return found == names.end() ? 0 : found->second;
    }

private:
    bool is_missing(char const* name) const { return name[0] == missing_; }

    char missing_;
    std::vector<std::map<std::string, int>> numbers_;
    int largest_ = 0;
};

class NumberWriter {
public:
    explicit NumberWriter(int digits) : digits_(digits) {}
    void operator()(std::ostream& out, int number) const {
        out << std::setw(digits_) << std::setfill('0') << number << std::setfill(' ');
    }

private:
    int digits_;
};

// A name as an individual of a GenePop file: the name ends at its first
// comma there, so each comma of it is written as "_". Written in pieces, as
// a writer writes a name for every individual.
void write_name(std::ostream& out, std::string_view name) {
    for (std::size_t comma; (comma = name.find(',')) != std::string_view::npos; name.remove_prefix(comma + 1))
        out << name.substr(0, comma) << '_';
    out << name;
}

}  // namespace

void imp_exp::read_gen_pop() {
    std::ostream& out = *of_str;
    std::vector<std::string> lines;
    {
        TextLines in(in_file_name, line_limit);
        for (std::string line; in.next(line);) lines.push_back(std::move(line));
    }
    // The title is the first line that is not blank; the samples are
    // counted after it.
    std::size_t next = 0;
    while (next < lines.size() && is_blank(lines[next])) ++next;
    std::string title = next < lines.size() ? lines[next++] : std::string();
    trim_right(title);
    int samples = 0;
    for (std::size_t i = next; i < lines.size(); ++i)
        if (is_separator(lines[i])) ++samples;

    out << "[Profile]\n" << '\n';
    out << "\t Title=\"" << quotable(title) << "\"\n";
    out << "\t NbSamples=" << samples << "\n";
    out << (genotypic != 0 ? "\t GenotypicData=1\n" : "\t GenotypicData=0\n");
    out << "\t GameticPhase=0\n";
    out << "\t DataType=STANDARD\n";
    out << "\t LocusSeparator=WHITESPACE\n";
    out << "\t MissingData=\"?\"\n";
    out << "# The names of the loci taken from the GenePop file are listed below as comments" << '\n';
    // The loci the file declares, one name or several to a line.
    std::size_t declared = 0;
    for (; next < lines.size() && !is_separator(lines[next]); ++next) {
        out << "# " << lines[next] << "\n";
        declared += names_on(lines[next]);
    }
    out << '\n' << '\n' << "[Data]" << '\n' << "\t [[Samples]]" << '\n';
    if (next < lines.size()) ++next;  // the first separator

    // The next line that is not blank, without its trailing blanks.
    auto advance = [&](std::string& line) {
        while (next < lines.size() && is_blank(lines[next])) ++next;
        if (next >= lines.size()) return false;
        line = lines[next++];
        trim_right(line);
        return true;
    };

    std::ostringstream data;
    Genotypes genotypes;
    std::string alleles;
    HaplotypeIds haplotypes;
    int sample = 1;
    int individual = 0;
    // Every individual holds as many genotypes as the file declares loci,
    // or, when it declares none, as the first: a name ended by something
    // else than a comma would make one individual of two.
    bool firstSeen = false;
    std::string firstName;
    std::size_t firstLoci = 0;
    std::string line;
    bool more = advance(line);
    while (more) {
        if (is_separator(line)) {
            write_sample(out, sample++, individual, data.str());
            data.str(std::string());
            individual = 0;
            more = advance(line);
            continue;
        }
        ++individual;
        std::size_t const comma = line.find(',');
        std::string const name = as_project_word(without_blanks(line.substr(0, comma)));
        genotypes.clear();
        if (comma != std::string::npos) genotypes.parse(line, comma);
        // Lines without a comma continue the individual's genotypes.
        while ((more = advance(line)) && line.find(',') == std::string::npos && !is_separator(line))
            genotypes.parse(line, 0);
        // Made only for a refusal: a file may hold a million individuals.
        auto const which = [&] {
            return "the individual \"" + message_text(name, 40) + "\" of sample " + std::to_string(sample) + " of " +
                   in_file_name;
        };
        if (!genotypes.wrong().empty()) {
            refuse_source("the genotype \"" + message_text(genotypes.wrong(), 30) + "\" of " + which() +
                          " is not of 4 or 6 digits: the file is not converted");
            return;
        }
        std::size_t const loci = genotypes.first().size();
        if (declared > 0) {
            if (loci != declared) {
                refuse_source(which() + " holds " + counted(loci, "genotype", "genotypes") + ", and the file declares " +
                              counted(declared, "locus", "loci") + ": the file is not converted");
                return;
            }
        } else if (!firstSeen) {
            firstSeen = true;
            firstName = name;
            firstLoci = loci;
        } else if (loci != firstLoci) {
            refuse_source(which() + " holds " + counted(loci, "genotype", "genotypes") + ", the first individual \"" +
                          message_text(firstName, 40) + "\" " + std::to_string(firstLoci) +
                          ": the file is not converted");
            return;
        }

        std::string const own = name + "_" + std::to_string(individual);
        join_alleles(genotypes.first(), alleles);
        data << std::setw(35) << ((genotypic != 0 ? own : haplotypes.id(own, alleles)) + "   1  ") << alleles << '\n';
        if (genotypic != 0) {
            join_alleles(genotypes.second(), alleles);
            data << std::string(35, ' ') << alleles << '\n';
        }
    }
    write_sample(out, sample, individual, data.str());
}

void imp_exp::write_gen_pop() {
    Project& p = *proj;
    std::ostream& out = *of_str;
    if (!copies_to_write()) return;
    out << "Title line:\"" << p.Title << '"' << '\n';
    long const nbSamples = p.samples->Populations.count;
    if (nbSamples == 0) return;

    char const missing = p.MissingData;
    AlleleNumbers const numbers(p, missing);
    if (numbers.largest() > 999) {
        out << "  GenePop files hold at most 999 alleles per locus: this project has more." << '\n';
        refuse_project("a GenePop file holds at most 999 alleles per locus, and this project has more");
        return;
    }
    // All genotypes of a file have the same width: three digits per allele
    // as soon as one number needs them.
    NumberWriter const write(numbers.largest() >= 100 ? 3 : 2);
    long const loci = p.allele_db.loci.count;
    for (long l = 1; l <= loci; ++l) out << "Locus_" << l << '\n';

    for (long s = 0; s < nbSamples; ++s) {
        Population const* pop = p.samples->Populations.data[s];
        out << "POP" << '\n';
        if (pop == nullptr) continue;
        if (p.GenotypicData == 0) {
            for (long k = 0; k < pop->haplotypes.count; ++k) {
                PHaploDef const* entry = pop->haplotypes.data[k];
                if (entry == nullptr || entry->haplotype == nullptr) continue;
                HaploDef const& h = *entry->haplotype;
                // Made once: every copy writes the same line.
                std::ostringstream line;
                write_name(line, h.id.c_str());
                line << " , ";
                for (long l = 0; l < h.alleles.count; ++l) {
                    write(line, numbers.number(l, h.alleles.data[l]));
                    write(line, 0);
                    line << ' ';
                }
                line << '\n';
                std::string const text = line.str();
                int const copies = entry_copies(entry->count);
                for (int c = 0; c < copies; ++c) out << text;
            }
        } else {
            for (long k = 0; k < pop->phenotypes.size(); ++k) {
                TPhenotype const* ind = pop->phenotypes[k];
                if (ind == nullptr || !ind->pseudo1 || !ind->pseudo2) continue;
                // The genotype is made once for all the individuals it
                // stands for, and all their copies.
                TPopHaplotype const& first = *ind->pseudo1;
                TPopHaplotype const& second = *ind->pseudo2;
                std::ostringstream line;
                for (long l = 0; l < first.alleles.count; ++l) {
                    write(line, numbers.number(l, first.alleles.data[l]));
                    write(line, l < second.alleles.count ? numbers.number(l, second.alleles.data[l]) : 0);
                    line << ' ';
                }
                line << '\n';
                std::string const genotype = line.str();
                ind->for_each_individual([&](std::string_view name, double count) {
                    int const copies = individual_copies(count);
                    for (int c = 0; c < copies; ++c) {
                        write_name(out, name);
                        out << ", " << genotype;
                    }
                });
            }
        }
    }
}

}  // namespace quintle
