#include "translate/imp_exp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "core/Errors.h"
#include "core/my_string.h"
#include "core/platform.h"
#include "data/HaploDef.h"
#include "data/TPhenotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "run/cleaner.h"
#include "run/run_lock.h"
#include "run/settings.h"
#include "translate/text_lines.h"

namespace quintle {

namespace {

// The most copies a writer writes of one sample (the most the Biosys reader
// reads into a sample) and of a whole project: a count of a small project
// must not make a target of gigabytes.
constexpr std::int64_t largest_sample_copies = 1000000;
constexpr std::int64_t largest_project_copies = 10000000;

char const* header_format_name(int code) {
    switch (code) {
        case imp_exp::genepop_code: return "GenePop";
        case imp_exp::phylip_code: return "Phylip";
        case imp_exp::mega_code: return "Mega";
        case imp_exp::biosys_code: return "Biosys";
        case imp_exp::tarvola_code: return "Tarvola";
        default: return nullptr;
    }
}

// Creates `path` only when no file of that name is there: a file so named
// that this process did not make is someone else's and stays untouched.
bool create_new_file(char const* path) {
    int const fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// A reason as a sentence of the log; standard error has it as a clause.
std::string as_sentence(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text + ".";
}

// The folder part of a path, with its separator; empty without one.
std::string folder_of(std::string const& path) {
    std::size_t const slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The settings the genotypic preparation changes, back on every way out.
class KeptSettings {
public:
    explicit KeptSettings(Project& p)
        : p_(p),
          task_(p.options.TaskNumber),
          initial_(p.options.InitialConditionsEM),
          replicates_(p.options.NumBootstrapReplicatesEM),
          genotypic_(p.options.GenotypicData),
          phase_(p.options.GameticPhase) {}
    ~KeptSettings() {
        p_.options.TaskNumber = task_;
        p_.options.InitialConditionsEM = initial_;
        p_.options.NumBootstrapReplicatesEM = replicates_;
        p_.options.GenotypicData = genotypic_;
        p_.options.GameticPhase = phase_;
    }
    KeptSettings(KeptSettings const&) = delete;
    KeptSettings& operator=(KeptSettings const&) = delete;

private:
    Project& p_;
    std::int64_t task_;
    int initial_;
    int replicates_;
    int genotypic_;
    int phase_;
};

}  // namespace

int imp_exp::import_data(int code, char const* source, char const* target, std::ofstream* stream) {
    in_file_name = source != nullptr ? source : "";
    out_file_name = target != nullptr ? target : "";
    source_folder_.clear();
    refusal_.clear();
    source_refused_ = false;
    reading_line_ended_ = false;
    held_warning_.clear();
    *_AOS_ << "\tReading  " << in_file_name << " ...";
    of_str = stream;
    format = code;
    if (of_str == nullptr || !of_str->is_open()) {
        *_AOS_ << "\n\t\tThe intermediate project " << out_file_name << " cannot be written." << std::endl;
        return 0;
    }
    if (!can_open_for_reading(in_file_name)) {
        *_AOS_ << "\n\t\tThe source file " << in_file_name << " cannot be read." << std::endl;
    }
    try {
        if (code == project_code) {
            read_pellomar();
        } else {
            create_header();
            switch (code) {
                case genepop_code: read_gen_pop(); break;
                case phylip_code: read_phylip(); break;
                case mega_code: read_mega(); break;
                case biosys_code: read_biosys(); break;
                case tarvola_code: read_tar_vola(); break;
                default: break;
            }
        }
    } catch (LineTooLong const& tooLong) {
        // The reader stopped at the line: what it wrote is only a part.
        refuse_source(std::string(tooLong.what()) + ": the file is not converted");
    }
    give_held_warning();
    of_str->flush();
    *_AOS_ << "\tdone." << std::endl;
    return 1;
}

std::string imp_exp::own_file_name(char const* stem, char const* extension) {
    return std::string(stem) + "_" + std::to_string(static_cast<long>(::getpid())) + extension;
}

void imp_exp::refuse_source(std::string const& why) {
    give_held_warning();
    end_reading_line();
    *_AOS_ << "\t\t" << as_sentence(why) << std::endl;
    refusal_ = why;
    source_refused_ = true;
}

void imp_exp::end_reading_line() {
    if (!reading_line_ended_) *_AOS_ << '\n';
    reading_line_ended_ = true;
}

void imp_exp::warn_source(std::string const& text) {
    end_reading_line();
    warn_log_and_console(text);
}

void imp_exp::hold_warning(std::string text) { held_warning_ = std::move(text); }

void imp_exp::give_held_warning() {
    if (held_warning_.empty()) return;
    warn_source(held_warning_);
    held_warning_.clear();
}

void imp_exp::refuse_project(std::string const& why) {
    *_AOS_ << "\t\t" << as_sentence(why) << std::endl;
    refusal_ = why;
}

void imp_exp::refuse_bound(std::string const& bound, std::string const& has) {
    // The writer's line in the target says what the reason says.
    *of_str << "  A " << bound << ": " << has << "." << '\n';
    refuse_project("a " + bound + ", and " + has);
}

int imp_exp::individual_copies(double count) { return entry_copies(truncate_count(count + 0.1)); }

std::optional<std::int64_t> imp_exp::copies_to_write() {
    Project const& p = *proj;
    Samples const& samples = *p.samples;
    char const* const name = header_format_name(format);
    std::string const what = p.GenotypicData == 0 ? " haplotypes" : " individuals";
    auto refuse = [&](std::int64_t most, char const* where, std::string const& has) {
        refuse_bound(std::string(name != nullptr ? name : "foreign") + " file is written with at most " +
                         std::to_string(most) + what + where,
                     has);
        return std::nullopt;
    };
    std::int64_t total = 0;
    for (long s = 0; s < samples.Populations.count; ++s) {
        Population const* pop = samples.Populations.data[s];
        if (pop == nullptr) continue;
        std::int64_t copies = 0;
        if (p.GenotypicData == 0) {
            for (long k = 0; k < pop->haplotypes.count; ++k) {
                PHaploDef const* e = pop->haplotypes.data[k];
                if (e != nullptr && e->haplotype != nullptr) copies += entry_copies(e->count);
            }
        } else {
            for (long k = 0; k < pop->phenotypes.size(); ++k)
                if (TPhenotype const* ind = pop->phenotypes[k])
                    ind->for_each_individual(
                        [&copies](std::string_view, double count) { copies += individual_copies(count); });
        }
        if (copies > largest_sample_copies)
            return refuse(largest_sample_copies, " per sample",
                          "sample " + std::to_string(s + 1) + " \"" + message_text(pop->name.c_str(), 60) +
                              "\" has " + std::to_string(copies));
        total += copies;
    }
    if (total > largest_project_copies)
        return refuse(largest_project_copies, " in all", "this project has " + std::to_string(total));
    return total;
}

void imp_exp::create_header() {
    std::time_t const now = std::time(nullptr);
    char date[80] = {};
    if (std::tm const* local = std::localtime(&now)) std::strftime(date, sizeof date, "%d/%m/%y at %H:%M:%S)", local);
    std::ostream& out = *of_str;
    out << "#File created by Pellomar translator on " << date << '\n';
    out << "#The input file was \"" << in_file_name << "\"  with format ";
    if (char const* name = header_format_name(format)) out << '"' << name << "\" ";
    out << "\n\n";
}

void imp_exp::read_pellomar() {
    // The cleaned copy goes to the project's result folder under the
    // project's own name, where a run of the project and every other
    // translation of it put theirs: the run lock keeps them apart until the
    // copy is read and removed. A source that cannot be read makes no folder.
    std::optional<ResultFolderLock> lock;
    if (can_open_for_reading(in_file_name)) {
        lock.emplace(result_folder_of(in_file_name));
        if (!lock->problem().empty()) {
            refuse_source(lock->problem());
            return;
        }
    }
    // The same cleaning as a project run's working copy, without a locus
    // separator; the copy is removed again once read.
    cleaner working_copy;
    bool const cleaned = working_copy.execute(0, in_file_name.c_str());
    if (!cleaned) *_AOS_ << "\nAn error has occurred while cleaning-up the project...\n" << in_file_name << "\n" << std::endl;
    source_folder_ = folder_of(in_file_name);
    if (char const* copy = working_copy.get_clean_proj()) {
        TextLines in(copy);
        std::string line;
        while (in.next(line)) *of_str << line << '\n';
    }
    working_copy.rm_clean_files();
}

void imp_exp::write_pellomar() {
    TextLines in(in_file_name);
    std::string line;
    try {
        while (in.next(line)) *of_str << line << '\n';
    } catch (LineTooLong const& tooLong) {
        // Project::open has read this file with the same bound, so this
        // stays a guard: no copy in part.
        refuse_project(std::string(tooLong.what()) + ": the file is not converted");
        return;
    }
    // The copy has always ended with one empty line more than its source.
    *of_str << '\n';
}

void imp_exp::refuse_target(char const* why) {
    if (of_str != nullptr) *of_str << "  Impossible to translate this file: " << why << '\n';
}

int imp_exp::prepare_and_write(int code) {
    Project& p = *proj;
    bool prepared = false;
    if (p.GenotypicData == 0) {
        prepared = p.make_run_possible() != 0;
        if (prepared) {
            p.build_allele_tables();
            p.build_all_vectors(p.allele_db);
        }
    } else {
        KeptSettings const kept(p);
        settings& s = p.options;
        p.GameticPhase = 0;
        s.GenotypicData = p.GenotypicData;
        s.GameticPhase = 0;
        s.TaskNumber = 4096;
        s.InitialConditionsEM = 0;
        s.NumBootstrapReplicatesEM = 0;
        prepared = p.make_run_possible() != 0 && p.samples->compute_stuff(&p, s) != 0;
    }
    if (!prepared) {
        *_AOS_ << "\t\tTranslator is unable to prepare the data of the Pellomar File" << std::endl;
        refuse_target("its data did not pass the checks (see the log).");
        return 0;
    }
    format = code;
    switch (code) {
        case genepop_code: write_gen_pop(); break;
        case phylip_code: write_phylip(); break;
        case mega_code: write_mega(); break;
        case biosys_code: write_biosys(); break;
        case tarvola_code: write_tar_vola(); break;
        case project_code: write_pellomar(); break;
        default: break;
    }
    return refusal_.empty() ? 1 : 0;
}

int imp_exp::export_data(int code, char const* source, char const* target, std::ofstream* stream) {
    in_file_name = source != nullptr ? source : "";
    out_file_name = target != nullptr ? target : "";
    of_str = stream;
    format = code;
    settings::input_file = in_file_name.c_str();

    Project& p = *proj;
    settings& s = p.options;
    p.RunSettings = &s;
    // The export analyses nothing and writes individuals one by one: a run
    // of identical ones is read as one phenotype that keeps their names, so
    // that a sample of a million costs a name per individual.
    p.group_identical_runs = true;
    // EXTERN names of a project-format source are its own folder's; those
    // the foreign readers write are as the run file gave them.
    s.ResultFolder = source_folder_.c_str();
    s.ProjectFolder = source_folder_.c_str();
    std::string const sink = own_file_name("trans_out", ".txt");
    s.ResultFileName = sink.c_str();
    // Whatever reading and preparing print goes to this file, deleted at
    // the end; when a file of that name is already there, it goes nowhere.
    std::fstream result;
    if (create_new_file(sink.c_str())) {
        Project::translator_made(sink);
        result.open(sink, std::ios::out | std::ios::trunc);
    }
    s.ResultFile = &result;

    int written = 0;
    if (of_str == nullptr || !of_str->is_open()) {
        *_AOS_ << "\t\tThe target file " << out_file_name << " cannot be created." << std::endl;
    } else if (source_refused_) {
        refuse_target("its data could not be read (see the log).");
    } else if (p.open() == 0) {
        *_AOS_ << "\t\tTranslator is unable to open the Pellomar File" << std::endl;
        refuse_target("its data could not be read (see the log).");
    } else {
        written = prepare_and_write(code);
    }
    if (of_str != nullptr) of_str->flush();
    *_AOS_ << "    Writing  " << out_file_name << (written != 0 ? "... done." : "... not done.") << std::endl;

    s.ResultFile = nullptr;
    result.close();
    p.clean();
    return written;
}

}  // namespace quintle
