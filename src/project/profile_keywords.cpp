// The "[Profile]" keywords of a project file, as the project reader meets
// them in its line loop: each handler reads its value from the current line
// and fills the project's profile (and the class-wide data type and locus
// separator). A refused value falls back to the keyword's default with a
// warning; only an unreadable NbSamples ends the read.

#include <ostream>

#include "core/Errors.h"
#include "core/checked_int.h"
#include "core/parsing.h"
#include "project/Project.h"

namespace quintle {

namespace {

constexpr char const* reader_name = "Project::newOpen()";

std::ostream& line_message(int lineNo) {
    return *_AOS_ << "\tProject file, Line #" << lineNo;
}

bool has_equal_sign(Project::ReadState const& st, char const* key) {
    return checkForPresenceOfEqualSign(st.line, key, st.lineNo) != 0;
}

// getValue followed by the conversion to int. A number that does not fit an
// int (NaN, an infinity, 1e30) is refused as getValue refuses +infinity,
// with the same log line and report.
bool get_int_value(Project::ReadState const& st, char const* key, int& value) {
    double number = 0.0;
    if (!getValue(st.line, number, key, st.lineNo)) return false;
    if (checked_int(number, value)) return true;
    E.error(WARNING, "readStringContent(...)", Msg::m190_bad_keyword_value);
    line_message(st.lineNo) << " : Bad value after keyword '" << key << "'\n";
    return false;
}

// A 0/1 switch: true with the truncated number when it is 0 or 1. Any
// other number, NaN and infinities included, is refused like a bad value.
bool get_switch(Project::ReadState const& st, char const* key, std::int32_t& field) {
    double number = 0.0;
    int value = 0;
    if (!getValue(st.line, number, key, st.lineNo) || !checked_int(number, value)) return false;
    if (value != 0 && value != 1) return false;
    field = value;
    return true;
}

}  // namespace

int Project::read_Title(ReadState& st) {
    if (!has_equal_sign(st, "Title")) return 1;
    my_string value;
    if (getQuotedString(st.line, value, "Title", st.lineNo)) {
        Title = value;
    } else {
        Title = "";
    }
    return 1;
}

int Project::read_NbSamples(ReadState& st) {
    st.nbSamples = true;
    if (!has_equal_sign(st, "NbSamples")) return 1;
    int value = 0;
    if (!get_int_value(st, "NbSamples", value)) {
        st.in.close();
        E.error(ERROR, reader_name, Msg::m95_invalid_nb_samples);
        return 0;
    }
    NbSamples = value;
    return 1;
}

int Project::read_DataType(ReadState& st) {
    st.dataType = true;
    if (!has_equal_sign(st, "DataType")) return 1;
    my_string value;
    getUnQuotedString(st.upper, value, "DataType", st.lineNo);
    if (value.contains("DNA")) {
        DataType = DNA;
    } else if (value.contains("RFLP")) {
        DataType = RFLP;
    } else if (value.contains("MICROSAT")) {
        DataType = MICROSAT;
    } else if (value.contains("STANDARD")) {
        DataType = STANDARD;
    } else if (value.contains("FREQUENCY")) {
        DataType = FREQUENCY;
    } else {
        DataType = DataTypeDefault;
        E.error(WARNING, "ProfileSettings::read_DataType()", Msg::m75_invalid_data_type);
    }
    return 1;
}

int Project::read_GenotypicData(ReadState& st) {
    st.genotypicData = true;
    if (!has_equal_sign(st, "GenotypicData")) return 1;
    if (!get_switch(st, "GenotypicData", GenotypicData)) {
        E.error(WARNING, reader_name, Msg::m74_invalid_genotypic_data);
        GenotypicData = GenotypicDataDefault;
    }
    return 1;
}

int Project::read_LocusSeparator(ReadState& st) {
    st.locusSeparator = true;
    if (!has_equal_sign(st, "LocusSeparator")) return 1;
    if (st.upper.contains("TAB")) {
        LocusSeparator = '\t';
    } else if (st.upper.contains("WHITESPACE")) {
        LocusSeparator = ' ';
    } else if (st.upper.contains("NONE") || st.upper.contains("\\0")) {
        LocusSeparator = 0;
    } else {
        // Without quotes the text after "=" is taken as it stands.
        my_string value;
        getQuotedString(st.line, value, "LocusSeparator", st.lineNo);
        value.remove_blanks();
        if (value.length() == 1) {
            LocusSeparator = value[0];
        } else {
            E.error(WARNING, reader_name, Msg::m82_invalid_locus_separator);
            LocusSeparator = LocusSeparatorDefault;
            line_message(st.lineNo) << " : Invalid value ('" << value
                                    << "\") assigned to keyword \"LocusSeparator\"" << std::endl;
        }
    }
    return 1;
}

int Project::read_GameticPhase(ReadState& st) {
    st.gameticPhase = true;
    if (!has_equal_sign(st, "GameticPhase")) return 1;
    if (!get_switch(st, "GameticPhase", GameticPhase)) {
        E.error(WARNING, reader_name, Msg::m89_invalid_gametic_phase);
        GameticPhase = GameticPhaseDefault;
    }
    return 1;
}

int Project::read_RecessiveData(ReadState& st) {
    if (!has_equal_sign(st, "RecessiveData")) return 1;
    // A value with trailing text still gives the number read before it; a
    // number that is no int switches recessive data off.
    double number = 0.0;
    getValue(st.line, number, "RecessiveData", st.lineNo);
    int value = 0;
    RecessiveData = checked_int(number, value) ? value : 0;
    return 1;
}

int Project::read_RecessiveAllele(ReadState& st) {
    st.recessiveAllele = true;
    if (!has_equal_sign(st, "RecessiveAllele")) return 1;
    // Without quotes the text after "=" is taken as it stands, blanks included.
    my_string value;
    getQuotedString(st.line, value, "RecessiveAllele", st.lineNo);
    if (value.contains(' ') || value.contains('\t')) {
        RecessiveAllele = RecessiveAlleleDefault;
        RecessiveData = 0;
        E.error(WARNING, reader_name, Msg::m90_invalid_recessive_allele);
        line_message(st.lineNo) << " : Invalid value (\"" << value
                                << "\") assigned to keyword \"RecessiveAllele\"" << std::endl;
    } else {
        RecessiveAllele = value;
    }
    return 1;
}

int Project::read_MissingData(ReadState& st) {
    st.missingData = true;
    if (!has_equal_sign(st, "MissingData")) return 1;
    my_string value;
    getQuotedString(st.line, value, "MissingData", st.lineNo);
    value.remove_blanks();
    if (value.length() == 1) {
        MissingData = value[0];
    } else {
        line_message(st.lineNo) << " : Invalid value (\"" << value
                                << "\") assigned to keyword \"MissingData\"" << std::endl;
        MissingData = MissingDataDefault;
        E.error(WARNING, reader_name, Msg::m78_missing_missing_data);
    }
    return 1;
}

int Project::read_Frequency(ReadState& st) {
    if (!has_equal_sign(st, "Frequency")) return 1;
    // Letter case counts here: only "ABS" and "REL" in capitals are known.
    my_string value;
    getUnQuotedString(st.line, value, "Frequency", st.lineNo);
    if (value.contains("ABS")) {
        Frequency = 0;
    } else if (value.contains("REL")) {
        Frequency = 1;
    } else {
        line_message(st.lineNo) << " : Invalid value (\"" << value
                                << "\") assigned to keyword \"Frequency\"\n";
        Frequency = 0;
        E.error(WARNING, reader_name, Msg::m87_invalid_frequency);
    }
    return 1;
}

int Project::read_CompDistMatrix(ReadState& st) {
    line_message(st.lineNo) << " : Keyword \"CompDistMatrix\" is now obsolete. Please set this "
                               "parameter directly throug the interface\n"
                            << std::endl;
    return 1;
}

int Project::read_FrequencyThreshold(ReadState& st) {
    if (!has_equal_sign(st, "FrequencyThreshold")) return 1;
    double value = 0.0;
    FrequencyThreshold = getValue(st.line, value, "FrequencyThreshold", st.lineNo) ? value : 1e-5;
    return 1;
}

int Project::read_EpsilonValue(ReadState& st) {
    if (!has_equal_sign(st, "EpsilonValue")) return 1;
    double value = 0.0;
    EpsilonValue = getValue(st.line, value, "EpsilonValue", st.lineNo) ? value : 1e-7;
    return 1;
}

}  // namespace quintle
