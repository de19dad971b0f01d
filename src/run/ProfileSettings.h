#pragma once

// The "[Profile]" block of a project: what kind of data the project holds and
// how to read it. The data type and the locus separator are class-wide, so
// every reader and analysis of the run sees those of the project read last.
//
// Other names under which some readers and analyses know these fields:
//   RunSettings     the settings pointer (points at the project's options)
//   ExtHaplFile     the external haplotype-list file name
//   DistMatLabel    the distance-matrix label
//   GivenDistMat    the given-distance-matrix flag
//   LociLabels      the locus labels
//   Frequency       the frequency kind (0 ABS, 1 REL)
//   MissingData     the missing-data character

#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

#include "core/my_string.h"
#include "run/glbobj.h"  // UsedHaplListDefault, RecessiveAlleleDefault

namespace quintle {

class settings;

// Data-type codes of a project. The underlying type is fixed so that any
// code read or set elsewhere is a valid value (unknown ones are written as
// nothing by the profile writer).
enum TDataType : int { DNA = 0, RFLP = 1, MICROSAT = 2, STANDARD = 3, FREQUENCY = 4 };

// The keyword of a data type as the project file writes it; null for a
// value that is none of them.
char const* data_type_name(int type);

inline constexpr TDataType DataTypeDefault = STANDARD;
inline constexpr std::int32_t GenotypicDataDefault = 0;
inline constexpr std::int32_t GameticPhaseDefault = 1;
inline constexpr char LocusSeparatorDefault = ' ';
inline constexpr std::int32_t LocusListingDefault = 0;
inline constexpr std::int32_t InterleaveDefault = 0;
inline constexpr char MissingDataDefault = '?';
inline constexpr std::int32_t IndividualLevelDefault = 0;
inline constexpr std::int32_t NbLociDefault = 0;
inline constexpr std::int32_t FrequencyDefault = 0;

class ProfileSettings {
public:
    my_string Title;
    std::int32_t NbSamples{};
    std::int32_t NbGroups{};
    std::int32_t GenotypicData{};
    std::int32_t GameticPhase{};
    std::int32_t LocusListing{};
    // Declared number of loci. The labels keep their own count: a later
    // NbLoci never makes the list longer than what was read, and only the
    // first min(NbLoci, LociLabels.size()) labels are written or copied.
    std::int32_t NbLoci{};
    std::vector<my_string> LociLabels;
    char MissingData{};
    my_string DistMatLabel;
    my_string UsedHaplList;
    my_string ExtHaplFile;
    std::int32_t Interleave{};
    std::int32_t IndividualLevel{};
    std::int32_t Frequency{};
    std::int32_t RecessiveData{};
    my_string RecessiveAllele;
    std::int32_t GivenDistMat{};
    double EpsilonValue{};
    double FrequencyThreshold{};
    settings* RunSettings{};  // not owned

    static TDataType DataType;   // starts as STANDARD
    static char LocusSeparator;  // 0: loci not separated

    ProfileSettings();
    ProfileSettings(ProfileSettings const& other);
    ~ProfileSettings();
    ProfileSettings& operator=(ProfileSettings const& other);

    // Every field back to its default except ExtHaplFile; no labels. The
    // class-wide data type and separator are left alone.
    void initialize();

    // Number of labels that count: none unless NbLoci is positive.
    int label_count() const;

    // Reads a whole "[Profile]" section, keyword by keyword; true when the
    // section ended cleanly (next section or end of input).
    bool get_profile_settings(std::istream& is);
    // Reads the value of one lower-case keyword; false stops the section.
    bool read_profile_id_content(std::istream& is, my_string keyword);

    // Keyword readers: each reads the value after the keyword's "=".
    bool read_GenotypicData(std::istream& is);
    static bool read_DataType(std::istream& is);
    bool read_LociLabels(std::istream& is);
    bool read_UsedHaplList(std::istream& is);
    bool read_MissingData(std::istream& is);
    bool read_LocusListing(std::istream& is);
    bool read_NbLoci(std::istream& is);
    static bool read_LocusSeparator(std::istream& is);
    bool read_IndividualLevel(std::istream& is);
    bool read_Interleave(std::istream& is);
    bool read_Frequency(std::istream& is);
    bool read_GameticPhase(std::istream& is);
    bool read_RecessiveData(std::istream& is);
    bool read_RecessiveAllele(std::istream& is);
    bool read_dist_mat(std::istream& is);
    bool read_freq_threshold(std::istream& is);
    bool read_eps_val(std::istream& is);
};

// Writes the profile as the head of a project file, up to the "[Data]" line.
// Leaves the stream in fixed-point notation.
std::ostream& operator<<(std::ostream& os, ProfileSettings const& profile);

}  // namespace quintle
