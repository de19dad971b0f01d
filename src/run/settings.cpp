#include "run/settings.h"

#include <ostream>
#include <string_view>

#include "core/Errors.h"
#include "core/xml.h"
#include "run/private_profile.h"
#include "run/settings_keys.h"

namespace quintle {

bool silentPellomar = false;

namespace {

// Line ends and blanks after a value are not part of it.
void trim_value_end(std::string& value) {
    std::size_t end = value.size();
    while (end > 0) {
        char const c = value[end - 1];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
        --end;
    }
    value.resize(end);
}

// Text up to, not including, the last '.' of the last path component; the
// whole text when that component has no '.'.
std::string without_extension(std::string const& path) {
    std::size_t const dot = path.find_last_of('.');
    if (dot == std::string::npos) return path;
    std::size_t const sep = path.find_last_of("/\\");
    if (sep != std::string::npos && sep > dot) return path;
    return path.substr(0, dot);
}

}  // namespace

settings::settings() { reset_initial_values(); }

settings::settings(settings const& other) : settings() { *this = other; }

settings& settings::operator=(settings const& other) {
    if (this == &other) return *this;
    // Not taken over: the phase files, which belong to the record that
    // opened them, and GraphicsFolder.
    stopFlag = other.stopFlag;
    ResultFile = other.ResultFile;
    MenuScript = other.MenuScript;
    GenotypicData = other.GenotypicData;
    GameticPhase = other.GameticPhase;
    EstimateHaplotypes = other.EstimateHaplotypes;
    PrintSampleAnchor = other.PrintSampleAnchor;
    RunFileFlag = other.RunFileFlag;
    quietMode = other.quietMode;
    LDPValue = other.LDPValue;
    HWPValue = other.HWPValue;
    project_allele_db = other.project_allele_db;
    current_samples = other.current_samples;
    current_structure = other.current_structure;
    current_dist_mat = other.current_dist_mat;
    current_haplotypes = other.current_haplotypes;
    current_allele_db = other.current_allele_db;

    SettingsFileName = other.SettingsFileName;
    ResultFolder = other.ResultFolder;
    ResultFileName = other.ResultFileName;
    res_file_copy = other.res_file_copy;
    ResultBaseName = other.ResultBaseName;
    BackupFileName = other.BackupFileName;
    ProjectFolder = other.ProjectFolder;
    MenuTreeFileName = other.MenuTreeFileName;
    MenuScriptFileName = other.MenuScriptFileName;
    MainPageFileName = other.MainPageFileName;
    exe_dir = other.exe_dir;
    style_file = other.style_file;
    menu_lib_file = other.menu_lib_file;
    time_stamp = other.time_stamp;
    AnchorPrefix = other.AnchorPrefix;
    SigmHistoFileNames = other.SigmHistoFileNames;
    LDHistoFileName = other.LDHistoFileName;
    GibbsWindowSize = other.GibbsWindowSize;

    for (settings_file::Row const& row : settings_file::rows())
        settings_file::copy_field(*this, other, row.field);
    return *this;
}

void settings::reset_initial_values() {
    stopFlag = 0;
    ResultFile = nullptr;
    MenuScript = nullptr;
    EstimateHaplotypes = 1;
    PrintSampleAnchor = 1;
    RunFileFlag = 1;
    quietMode = false;
    LDPValue = 1.0;
    HWPValue = 1.0;
    project_allele_db = nullptr;
    current_samples = nullptr;
    current_structure = nullptr;
    current_dist_mat = nullptr;
    current_haplotypes = nullptr;
    current_allele_db = nullptr;

    // MenuTreeFileName, MenuScriptFileName, MainPageFileName and
    // GraphicsFolder are left to the name builders.
    SettingsFileName = "";
    ResultFolder = "";
    ResultFileName = "";
    res_file_copy = "";
    ResultBaseName = "";
    BackupFileName = "";
    ProjectFolder = "";
    exe_dir = "";
    style_file = "";
    menu_lib_file = "";
    time_stamp = "";
    AnchorPrefix = "";
    for (my_string& name : SigmHistoFileNames) name = "";
    LDHistoFileName = "ld_dis.xl";
    GibbsWindowSize = 0;

    for (settings_file::Row const& row : settings_file::rows())
        if (row.is_key()) settings_file::set_initial(*this, row);
    // Unphased genotypes are tested by permutation, which needs fewer steps.
    if (GenotypicData != 0 && GameticPhase == 0) MarkovChainStepsLD = 1000;
}

void settings::read_settings(my_string const& fileName) {
    using settings_file::Partner;
    PrivateProfile const profile(fileName.c_str());
    std::string value;
    for (settings_file::Row const& row : settings_file::rows()) {
        if (!row.is_key()) continue;
        bool const found = profile.lookup(row.name, settings_file::value_window(row.field), value);
        if (row.optional && !found) continue;
        trim_value_end(value);
        settings_file::store(*this, row.field, value.c_str());
        if (row.partner_role == Partner::Mirrored && !value.empty())
            settings_file::store(*this, row.partner, value.c_str());
    }
    EstimateHaplotypes =
        (ComputeAllAllelesEM != 0 || ComputeAllHaplotypesEM != 0 || GibbsInferGamPhase != 0) ? 1 : 0;
}

void settings::build_sigm_histo_f_name() {
    static constexpr char const* suffixes[4] = {".va", ".vb", ".vc", ".vd"};
    std::string const base = without_extension(ResultFileName.c_str());
    for (std::size_t i = 0; i < SigmHistoFileNames.size(); ++i)
        SigmHistoFileNames[i] = (base + suffixes[i]).c_str();
}

void settings::buildFilenamesFromCurrentProjectName(char const* projectPath) {
    std::string const path = projectPath != nullptr ? projectPath : "";
    std::size_t const sep = path.find_last_of("/\\");
    std::string const folder = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
    std::string const file = sep == std::string::npos ? path : path.substr(sep + 1);
    std::string const base = without_extension(file);
    std::string const result_folder = folder + base + ".res/";
    std::string const result_base = result_folder + base;
    std::string const result_file = result_base + (xmlOutput ? ".xml" : ".htm");

    ResultFolder = result_folder.c_str();
    input_file = (result_folder + file).c_str();
    ProjectFolder = folder.c_str();
    ResultFileName = result_file.c_str();
    res_file_copy = result_file.c_str();
    ResultBaseName = result_base.c_str();
    MenuTreeFileName = (result_base + "_tree.htm").c_str();
    MenuScriptFileName = (result_base + ".js").c_str();
    MainPageFileName = (result_base + "_main.htm").c_str();
    GraphicsFolder = (result_folder + "Graphics/").c_str();
}

std::string settings::progress_line() {
    std::string line;
    if (global_work_to_do > 0.0) {
        double const percent = global_work_done * 100.0 / global_work_to_do;
        int shown = 100;
        if (percent < 0.0)
            shown = 0;
        else if (percent < 100.0)
            shown = static_cast<int>(percent);
        line = std::to_string(shown) + "% : ";
    }
    line += message.c_str();
    return line;
}

void settings::print_message() {
    // A console run shows no progress: the line (progress_line) is not
    // formed at all, so that the hook costs nothing in the long loops.
}

void settings::print_info(char const* text) {
    *_AOS_ << (text != nullptr ? text : "") << std::endl;
}

}  // namespace quintle
