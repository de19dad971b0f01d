// The run of one project: working copy, result file and its frame, reading,
// feasibility checks, the group pass and the population pass with their
// statistics lines, and the end-of-run lines.

#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "core/Errors.h"
#include "core/References.h"
#include "core/TJSOut.h"
#include "core/platform.h"
#include "core/rewrite_file.h"
#include "core/timing.h"
#include "core/xml.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/analysis_size_checks.h"
#include "project/Structure.h"
#include "run/cleaner.h"
#include "run/glbobj.h"
#include "run/pmlestart.h"
#include "run/settings_checks.h"
#include "run/task_bits.h"
#include "structure/IndLikelihood.h"
#include "sumstat/TSumStat.h"
#include "sumstat/statistics_fill.h"

namespace quintle {

namespace {

std::string const slash_line(68, '/');
std::string const banner_line(78, '=');

// A settings file without the two substitution weights reads them as 0:
// every substitution then counts for nothing, in the distances and in the
// count of polymorphic sites, and the analyses of sequences report 0 (S,
// which the standard indices count too, Pi, Tajima's D, every sum of
// squares of the AMOVA) as if the data held no variation. Told once per
// project, when such an analysis is to run.
void warn_weightless_substitutions(settings const& s, TDataType type) {
    if (type != DNA || s.TransitionWeight > 0.0 || s.TranversionWeight > 0.0) return;
    // The AMOVA and pairwise FST compare the sequences only when their
    // distances are computed from the data, not taken from a given matrix.
    std::int64_t const structure_tasks =
        s.ComputeDistanceMatrixAMOVA != 0 || s.ComputeConventionalFST != 0 ? task_amova | task_pairwise_fst : 0;
    std::int64_t const comparing =
        task_standard_diversity | task_molecular_diversity | task_mismatch | task_tajima | task_fu_fs | structure_tasks;
    if ((s.TaskNumber & comparing) == 0) return;
    warn_log_and_console("TransitionWeight and TranversionWeight are both 0: substitutions count for nothing in the "
                         "distances and the polymorphic sites of these sequences (a key missing from the settings "
                         "file reads as 0)");
}

std::string date_text() {
    std::time_t const now = std::time(nullptr);
    char text[81] = {};
    std::tm const* local = std::localtime(&now);
    if (local == nullptr) return std::string();
    std::size_t const n = std::strftime(text, sizeof text, "%d/%m/%y at %H:%M:%S", local);
    return std::string(text, n);
}

// The name less its last `n` characters.
std::string cut_end(my_string const& name, std::size_t n) {
    std::string text = name.c_str();
    text.resize(text.size() > n ? text.size() - n : 0);
    return text;
}

std::string without_extension(my_string const& name) {
    my_string base = name;
    base.remove_extension();
    return base.c_str();
}

}  // namespace

std::string computing_time_text(std::int64_t ms) {
    std::int64_t const hours = ms / 3600000;
    std::int64_t const minutes = (ms - hours * 3600000) / 60000;
    std::int64_t const rest = ms - hours * 3600000 - minutes * 60000;
    return std::to_string(hours) + "h " + std::to_string(minutes) + "m " + std::to_string(rest / 1000) + "s " +
           std::to_string(rest % 1000) + " ms";
}

int Project::run() {
    xmlOutput = options.XMLOutput != 0;
    if (!can_run()) return 0;

    cleaner working_copy;
    if (!make_working_copy(working_copy)) return 0;
    std::unique_ptr<std::fstream> result = open_result_file();
    std::ostream& out = *result;
    vectors_built = 0;
    allele_tables_due = false;
    phen_converted = 0;
    ++run_number;

    std::string const date = date_text();
    name_result_frame(date);
    // A run not added to an earlier one's files writes a whole new script.
    RunMenuScript menu_script(options, options.RunFileFlag == 0);
    write_frame_start(out);
    write_run_heading(out, date);

    if (!read_project()) {
        clean();
        print_error_message();
        return abandon_run(result, working_copy);
    }
    print_project_information(out);
    char const kept_separator = LocusSeparator;
    if (!prepare_analyses(out)) {
        clean();
        return abandon_run(result, working_copy);
    }
    bool const passes_done = run_passes();

    end_run(out, kept_separator, working_copy);
    New_print_html_results_footer(false, xmlOutput);
    close_result_file(result);
    return passes_done ? 1 : 0;
}

bool Project::can_run() {
    if (ready == 0) {
        *_AOS_ << "\n No valid project is opened...." << std::endl;
        return false;
    }
    if (!can_open_for_reading(settings::input_file.c_str())) {
        E.error(ERROR, "Project::run()", Msg::m126_cannot_open_project_file);
        return false;
    }
    return true;
}

bool Project::make_working_copy(cleaner& working_copy) {
    // The project is read from its cleaned working copy in the result
    // folder. The class-wide separator still holds the previous project's,
    // so every project is cleaned without one, as the first one is.
    std::string const source = settings::input_file.c_str();
    if (working_copy.execute(0, source.c_str()) && working_copy.get_clean_proj() != nullptr) {
        settings::input_file = working_copy.get_clean_proj();
        options.ResultFileName = settings::input_file;
        options.ResultFolder = working_copy.get_proj_dir();
        options.LDHistoFileName = options.ResultFolder + "ld_dis.xl";
        RunSettings = &options;
        options.ResultFileName.remove_extension();
        options.ResultFileName += xmlOutput ? ".xml" : ".htm";
    } else {
        *_AOS_ << "\nAn error has occurred while cleaning-up the project...\n" << std::endl;
        if (working_copy.refused()) return false;
    }
    settings::input_file.convert_to_slash();
    options.ResultFileName.convert_to_slash();
    options.ResultFolder.convert_to_slash();
    options.BackupFileName.convert_to_slash();
    options.ProjectFolder.convert_to_slash();
    start_clock = static_cast<std::int64_t>(std::clock());
    return true;
}

std::unique_ptr<std::fstream> Project::open_result_file() {
    // In XML append mode new output replaces the closing root element of
    // the earlier runs.
    std::string const result_name = options.ResultFileName.c_str();
    std::unique_ptr<std::fstream> result;
    if (options.RunFileFlag != 0 && xmlOutput && can_open_for_reading(result_name.c_str())) {
        result = std::make_unique<std::fstream>();
        result->open(result_name, std::ios::in | std::ios::out);
        auto const back = static_cast<std::streamoff>(PmlXmlTags::rootTag.end().length() + 3);
        result->seekp(-back, std::ios::end);
        if (result->fail()) {
            result->clear();
            result->seekp(0, std::ios::end);
        }
    } else {
        // Written anew over the old file's bytes (see RewritingFile). The
        // menu script and the tree page of a new run replace the old ones
        // whole when the run writes them.
        result = std::make_unique<RewritingFile<std::fstream>>(result_name.c_str(), progress_write_ms);
    }
    options.ResultFile = result.get();
    E.echo = result.get();
    return result;
}

void Project::close_result_file(std::unique_ptr<std::fstream>& result) {
    if (auto* rewritten = dynamic_cast<RewritingFile<std::fstream>*>(result.get()))
        rewritten->close();
    else
        result->close();
    options.ResultFile = nullptr;
    result.reset();
}

int Project::abandon_run(std::unique_ptr<std::fstream>& result, cleaner& working_copy) {
    New_print_html_results_footer(false, xmlOutput);
    close_result_file(result);
    working_copy.rm_clean_files();
    return 0;
}

void Project::name_result_frame(std::string const& date) {
    options.time_stamp = date.c_str();
    options.time_stamp.remove_blanks();
    options.exe_dir = PellomarExeDirectory.c_str();
    options.exe_dir.convert_to_slash();
    options.res_file_copy = options.ResultFileName;
    options.ResultBaseName = without_extension(options.ResultFileName).c_str();
    std::string const stem = cut_end(options.ResultFileName, 4);
    options.MenuTreeFileName = (stem + "_tree.htm").c_str();
    options.MenuScriptFileName = (stem + ".js").c_str();
    options.MainPageFileName = (stem + "_main.htm").c_str();
    options.style_file = options.exe_dir + "ftie4style.css";
    options.menu_lib_file = options.exe_dir + "ftiens4.js";
}

void Project::write_frame_start(std::ostream& out) {
    New_print_html_frames_output(false);
    // A run appended to an earlier one's files only opens its data part.
    if (options.RunFileFlag != 0 && can_open_for_reading(options.MenuScriptFileName.c_str())) {
        if (xmlOutput)
            out << "\n" << PmlXmlTags::dataTag.write() << "\n";
        else
            out << "\n<PRE>\n";
        return;
    }
    {
        MenuScriptLine const script(options);
        my_string project_name = settings::input_file;
        project_name.rm_path();
        my_string const title = my_string("PELLOMAR RESULTS (") + project_name + ")";
        TJSOut(script.stream()).foldersTree(options.exe_dir, options.ResultFolder, title, my_string());
    }
    print_js_pellomar_log_entry(options);
    New_print_html_results_header(xmlOutput);
}

void Project::write_run_heading(std::ostream& out, std::string const& date) {
    out << THeader{my_string("Pellomar results")};
    print_js_aux_entry(options, 1, "", ("Run of " + date).c_str());
    TXmlTag::time = date.c_str();
    TXmlTag const run_tag("run");
    if (xmlOutput) out << run_tag.open();
    out << "\n" << slash_line << "\n" << "RUN NUMBER " << run_number << " (" << date << ")" << std::endl;
    out << slash_line << "\n\n";
    if (xmlOutput) out << run_tag.close();
    *_AOS_ << "\n" << slash_line << "\nRUN NUMBER " << run_number << " (" << date << ")\n" << slash_line << std::endl;
    *_AOS_ << "\nReading Project: " << Title << std::endl;
}

bool Project::read_project() {
    initialize();
    RunSettings = &options;
    settings::message = "Opening Project...";
    settings::print_message();
    PopGenetics::globalAllelicDB.destroy();
    // No project may test an earlier project's Mantel matrices.
    mantel.clear();
    if (newOpen() != 0) {
        // The project's profile as read to its end is the samples' context.
        if (samples) samples->set_data_context(DataType, LocusSeparator);
        return true;
    }
    *_AOS_ << "Error opening project... " << settings::input_file << std::endl;
    return false;
}

void Project::print_project_information(std::ostream& out) {
    print_js_doc_entry(options, 1, "_run_information", "Settings");
    samples->convert_dna_upper();
    if ((samples->dataType == DNA || samples->dataType == RFLP) && samples->locusSeparator != 0) {
        samples->rm_separators();
        LocusSeparator = 0;
        samples->set_data_context(samples->dataType, 0);
        out << "\nWarning: The locus separator has been removed\n-------\n\n";
        *_AOS_ << "\nWarning: The locus separator has been removed\n\n";
    }

    out << "\nProject information:" << "\n--------------------\n";
    out << "\tNbSamples      =  " << NbSamples << "\n";
    char const* const type = data_type_name(samples->dataType);
    out << "\tDataType       =  " << (type != nullptr ? type : "") << "\n";
    out << "\tGenotypicData  =  " << GenotypicData << "\n";
    if (GenotypicData != 0) {
        out << "\tGameticPhase   =  " << GameticPhase << "\n";
        out << "\tRecessiveData  =  " << options.RecessiveAllelesEM << "\n";
    }
    out << std::endl;
    options.GenotypicData = GenotypicData;
    options.GameticPhase = GameticPhase;
    options.print_pretty_settings(out, samples->dataType);
    *_AOS_ << "\n" << std::string(72, '-') << std::endl;
}

bool Project::prepare_analyses(std::ostream& out) {
    ready = 0;
    // Settings and sample sizes that no analysis could hold fail the project
    // before anything is allocated for them.
    bool const groups_pooled = SumStat.computing ? SumStat.GROUP_LEVEL : options.ComputeSumStatsWithinGroups != 0;
    // The run's own analyses follow: rows over shared characters may do.
    character_rows_allowed = true;
    bool const possible = settings_in_range(options) &&
                          samples_fit_analyses(*samples, structure.get(), options, groups_pooled) &&
                          make_run_possible() != 0;
    character_rows_allowed = false;
    if (!possible) {
        out << "\nOne of the scheduled task is not possible with these data," << std::endl;
        out << "for more details look into 'Pellomar_log.txt'" << std::endl;
        return false;
    }
    ready = 1;
    warn_weightless_substitutions(options, samples->dataType);
    samples->evaluate_work(options);
    // Haplotypic data have no individuals to make a level of: asked for,
    // the level is left out, and the user told so.
    if (GenotypicData == 0 && options.IncludeIndividualLevel != 0) {
        *_AOS_ << "WARNING: the individual level (IncludeIndividualLevel=" << options.IncludeIndividualLevel
               << ") needs diploid genotypes; the data of this project are haploid and are analysed without it"
               << std::endl;
    }
    if (GenotypicData == 0 || (GameticPhase == 0 && options.ComputeConventionalFST != 0))
        options.IncludeIndividualLevel = 0;
    return true;
}

bool Project::run_passes() {
    // The settings as the checks adapted them: the population pass runs with
    // these even after the group pass has read the settings file again.
    settings const checked = options;

    bool group_pass = false;
    bool population_pass = true;
    if (SumStat.computing) {
        group_pass = SumStat.GROUP_LEVEL;
        population_pass = SumStat.POP_LEVEL;
        // A pipeline whose statistics list went missing would otherwise get
        // a successful run and no line: told in the log and on standard error.
        if (!group_pass && !population_pass) {
            std::string const told = std::string("the statistics list \"") + SumStat.defFileName.c_str() +
                                     "\" is missing or asks for neither POP_LEVEL nor GROUP_LEVEL: no analysis "
                                     "runs and no statistics line is added";
            warn_log_and_console(told);
        }
    } else {
        group_pass = options.ComputeSumStatsWithinGroups != 0;
    }
    if (group_pass) run_group_pass(checked);
    return !population_pass || run_population_pass();
}

void Project::end_run(std::ostream& out, char kept_separator, cleaner& working_copy) {
    std::string const end_date = date_text();
    LocusSeparator = kept_separator;
    clean();
    working_copy.rm_clean_files();
    settings::global_work_to_do = 0.0;
    if (options.stopFlag != 0) {
        settings::message = " WARNING !!! Process stopped by user. The results may be incorrect";
        *_AOS_ << settings::message << std::endl;
    } else {
        settings::message = " Computations are over";
    }
    settings::print_message();

    elapsed_ms = elapsed_ms_since(start_clock);
    for (std::ostream* os : {_AOS_, static_cast<std::ostream*>(&out)}) {
        *os << "\n" << slash_line << "\n" << "END OF RUN NUMBER " << run_number << " (" << end_date << ")"
            << "\nTotal computing time for this run : " << computing_time_text(elapsed_ms) << std::endl;
        *os << slash_line << "\n" << std::endl;
    }
}

void Project::run_group_pass(settings const& checked) {
    auto pooled_samples = std::make_unique<Samples>();
    auto pooled_structure = std::make_unique<Structure>();
    static_cast<ProfileSettings&>(*pooled_samples) = static_cast<ProfileSettings const&>(*samples);
    pooled_samples->NbHaplotypes = samples->NbHaplotypes;
    static_cast<ProfileSettings&>(*pooled_structure) = static_cast<ProfileSettings const&>(*structure);
    ProfileSettings const kept_profile(*this);
    int const kept_converted = phen_converted;
    pass_results = PassResults{};

    poolSamplesInGroups(*samples, *structure, *pooled_samples, *pooled_structure);
    std::unique_ptr<Samples> kept_samples = std::exchange(samples, std::move(pooled_samples));
    std::unique_ptr<Structure> kept_structure = std::exchange(structure, std::move(pooled_structure));
    samples->GroupLevel = true;
    SumStat.groupPass = true;
    options.current_samples = samples.get();

    run_pass_tasks("Groups",
                   "\n" + banner_line + "\n== ANALYSES AT THE INTRA-GROUP LEVEL" + "\n" + banner_line + "\n\n",
                   kept_structure.get());

    // The pooled pair goes; the structure first, as it borrows the samples.
    pooled_structure = std::exchange(structure, std::move(kept_structure));
    pooled_samples = std::exchange(samples, std::move(kept_samples));
    ProfileSettings::operator=(kept_profile);
    // Re-reading the settings file would undo the checks' adaptations (tasks
    // found impossible, raised dememorisation steps, ...): the checked copy
    // is put back over it. A stop asked during the pass still holds.
    int const stop = options.stopFlag;
    options.read_settings(options.SettingsFileName);
    options = checked;
    options.stopFlag = stop;
    options.current_samples = samples.get();
    pooled_structure.reset();
    pooled_samples.reset();

    output_pass_statistics();
    phen_converted = kept_converted;
}

bool Project::run_population_pass() {
    pass_results = PassResults{};
    samples->GroupLevel = false;
    SumStat.groupPass = false;
    options.current_samples = samples.get();
    vectors_built = 0;

    run_pass_tasks("Samples",
                   "\n" + banner_line + "\n== ANALYSES AT THE INTRA-POPULATION LEVEL" + "\n" + banner_line + "\n",
                   nullptr);

    if (options.DetectSelectedLoci != 0) {
        std::int64_t const start = static_cast<std::int64_t>(std::clock());
        std::ostream discard(nullptr);
        std::ostream& out = options.ResultFile != nullptr ? static_cast<std::ostream&>(*options.ResultFile) : discard;
        out << "\n" << banner_line
            << "\n== DETECTION OF LOCI UNDER SELECTION FROM GENOME SCANS BASED ON F-STATISTICS" << "\n"
            << banner_line << "\n";
        References(out, my_string("SelectionScan_1996"), 0);
        References(out, my_string("SelectionScanHier_2009"), 2);
        print_js_aux_entry(options, 2, "_fdist2_", "Loci under selection");
        *_AOS_ << "Detecting loci under selection based on F-statistics\n";
        if (samples->dataType == FREQUENCY && structure->NbGroups != 0) {
            char const* const text = "Impossible to detect outlier loci with relative frequency data\n";
            out << text;
            *_AOS_ << "\t" << text;
        } else if (structure->NbGroups == 0) {
            char const* const text = "Impossible to detect outlier loci when no genetic structure is defined\n";
            out << text;
            *_AOS_ << "\t" << text;
        } else if (!detectSelectedLociFromFSTHetComparison(options.UseHierarchicalIslandModel != 0)) {
            // The settings left the scan nothing to test against: the
            // project fails, and adds no line.
            return false;
        }
        *_AOS_ << "done with detection of loci under selection! (" << elapsed_ms_since(start) << " ms)\n";
    }

    output_pass_statistics();
    return true;
}

void Project::run_pass_tasks(char const* folder, std::string const& banner, Structure* kept) {
    if ((options.TaskNumber & task_assignment) != 0) {
        int const phase = options.GameticPhase;
        bool const phased = options.GenotypicData != 0 && phase != 0;
        if (phased) {
            options.GameticPhase = 0;
            samples->GameticPhase = 0;
        }
        IndLikelihood(options, samples.get(), 1e-10).run();
        if (phased) {
            options.GameticPhase = phase;
            samples->GameticPhase = phase;
        }
    }

    if ((options.TaskNumber & tasks_within_samples) != 0) {
        TJSOut(MenuScriptLine(options).stream()).aux(2, my_string(folder), my_string());
        if (options.ResultFile != nullptr) {
            *options.ResultFile << banner;
            if (kept != nullptr) *options.ResultFile << *kept << std::endl;
        }
    }
    // The substitution sites are collected anew by each pass.
    PopGenetics::globalSubstPolymSites.count = 0;
    PopGenetics::globalSubstPolymSites.capacity = 0;
    samples->compute_stuff(this, options);
    pass_results.summary = std::move(samples->summary_line);
    pass_results.linkage = std::move(samples->linkage_line);

    if ((options.TaskNumber & tasks_between_samples) != 0) GenStructCalculations(options.ResultFile);
}

void Project::output_pass_statistics() {
    fill_statistics_record(pass_results, SumStat);
    if (settings::num_proj_done == 0) SumStat.outputHeader(samples->dataType);
    SumStat.outputStats(samples->dataType);
}

}  // namespace quintle
