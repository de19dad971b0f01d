#include "amova/amova_results.h"

#include "amova/Amova.h"
#include "core/TJSOut.h"
#include "run/settings.h"

namespace quintle {

namespace {

void append_values(MY_TArrayAsVector<double>& list, double const* values, int n) {
    if (values == nullptr || n < 1) return;
    for (int i = 0; i < n; ++i) list.Add(values[i]);
}

}  // namespace

void amova_results::set_amova_results(int df1_, double SS1_, double V1_, int df2_, double SS2_, double V2_,
                                      int df3_, double SS3_, double V3_, int df4_, double SS4_, double V4_,
                                      int df_total_, double SST_, double VT_, double FST_, double FSC_, double FCT_,
                                      double FIT_, double FIS_, double P_FST_, double P_FSC_, double P_FCT_,
                                      double P_FIT_, double P_FIS_, double const* pop_FST_, double const* pop_FIS_,
                                      double const* pop_spare_, int n) {
    df1 = df1_;
    SS1 = SS1_;
    V1 = V1_;
    df2 = df2_;
    SS2 = SS2_;
    V2 = V2_;
    df3 = df3_;
    SS3 = SS3_;
    V3 = V3_;
    df4 = df4_;
    SS4 = SS4_;
    V4 = V4_;
    df_total = df_total_;
    SST = SST_;
    VT = VT_;
    FST = FST_;
    FSC = FSC_;
    FCT = FCT_;
    FIT = FIT_;
    FIS = FIS_;
    P_FST = P_FST_;
    P_FSC = P_FSC_;
    P_FCT = P_FCT_;
    P_FIT = P_FIT_;
    P_FIS = P_FIS_;
    append_values(pop_FST, pop_FST_, n);
    append_values(pop_FIS, pop_FIS_, n);
    append_values(pop_spare, pop_spare_, n);
    type = 0;
}

void Amova::print_amova_anchor(int level, quintle::settings& s, my_string const& section, my_string const& title) {
    my_string anchor = anchor_name(s.AnchorPrefix, "_amova_");
    anchor += section;
    print_js_doc_anchor(s, level, anchor, title);
}

}  // namespace quintle
