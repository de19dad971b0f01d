#pragma once

// Least-squares fit of the sudden (demographic) expansion model to one
// sample's mismatch distribution, with its parametric bootstrap: samples
// simulated under the fitted model are refitted, giving the P values of the
// sum of squared deviations (SSD) and of the raggedness index, percentile
// intervals of the parameters and a confidence band for the distribution.
//
// The class arrays of the fit are 1-based: entry j stands for mismatch
// class j - 1 (x[j] = j - 1); entry 0 is not used.
//
// The multi-rate fit (finite sites in rate classes, H tables) is a second
// fitting path of the same class; no analysis calls it
// (ann_missmatch_multirate.cpp).

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/my_string.h"
#include "popstats/expansion_kernels.h"
#include "popstats/h_tables.h"
#include "popstats/mutations.h"

namespace quintle {

class PopGenetics;
class settings;

class ann_missmatch {
public:
    // --- the sudden-expansion fit ------------------------------------------
    // The working point of the searches; after a fit, the fitted values.
    double theta0 = 0.0;
    double theta1 = 0.0;
    double tau = 0.0;
    int num_classes = 0;                         // last observed class + 2
    std::unique_ptr<std::ofstream> trace_stream;  // "glob_res.xl"; default constructor only
    PopGenetics* pop_gen = nullptr;              // the sample fitted; not owned
    settings* sets = nullptr;                    // progress and stop request; not owned
    int max_classes = 500;                       // the class arrays hold max_classes + 10 entries
    double obs_raggedness = 0.0;
    int error_flag = 0;                          // 1 after an allocation failure
    int no_convergence = 0;                      // 1 after a search that did not converge
    int pop_size = 4000000;                      // N of the simulations
    int num_sim_sites = 400;
    double ssd = 0.0;                            // at the end of the last search
    int num_pol_sites = 0;                       // of the observed sample
    int max_steps = 2000;
    double tolerance = 0.001;
    int num_boot = 0;                            // replicates asked for; after the bootstrap, accepted
    double p_ssd = 0.0;
    double obs_ssd = 0.0;
    double alpha = 0.0;                          // level of the interval being written
    // Observed SSD, P(SSD), observed raggedness, P(raggedness), then tau,
    // theta0 and theta1 at 2.5 %, 5 %, 95 % and 97.5 %.
    double results[16] = {};
    double sim_pol_sites = 0.0;                  // of the last simulated sample
    my_string sample_name;

    // --- the multi-rate fit ------------------------------------------------
    double rate_r = 0.0;
    double rate_r1 = 1.0;
    double rate_r2 = 1.0;
    double gamma_alpha = -1.0;
    Ex_HNum h_class1;
    Ex_HNum h_class2;
    Ex_HNum h_class3;
    Ex_HNum h_combined;
    std::string h_file_name;  // combined table of rate model 5
    std::vector<double> mut_prob_vect = std::vector<double>(1005, 0.0);
    std::vector<double> geo_theta0_vect = std::vector<double>(1005, 0.0);
    std::vector<double> geo_theta1_vect = std::vector<double>(1005, 0.0);
    int use_rh_search = 1;  // 0: the bootstrap refits with hook_jeeves
    int sample_size = 0;
    int num_pairs = 0;
    int sites_m1 = 0;
    int sites_m2 = 0;
    int sites_m3 = 0;
    int model_type = 2;       // 2, 3: two rate classes; 4: three; 5: a table from a file
    std::string h_file_dir;   // put in front of every H file name
    double transition_rate = 0.33;

    ann_missmatch(PopGenetics* pop, settings* s);
    // Opens "glob_res.xl" in the working directory for appending, with its
    // header line when the file is new.
    ann_missmatch();
    ann_missmatch(ann_missmatch const&) = delete;
    ann_missmatch& operator=(ann_missmatch const&) = delete;
    ~ann_missmatch();

    // theta0, theta1, tau and the rate ratio; the search settings.
    void init_data(double const& t0, double const& t1, double const& t, double const& extra);

    // Fits the model to the sample's distribution, writes the fit to out and
    // runs the bootstrap when num_boot > 0.
    void solve_least_square_rh(std::ostream& out);
    // Loads the observed distribution (counts) into x and y; always 1.
    int read_mismatch_pop(double* x, double* y, int& count, long& total);
    // Expected share of class i at the current parameters (guards kept).
    double f_i_exp(int const& i);
    // Pattern search over theta1, theta0 and tau; 1 when it converged.
    int hook_jeeves_rh(double* x, double* y, int const& count, int const& max_steps, double const& tol);
    void make_bootstrap(double* x, double* y, double* model, int& count, int const& capacity, std::ostream& out,
                        long total);
    // One simulated sample under the current parameters, its distribution
    // in x and y; 0 when nothing could be simulated.
    int simulate_miss(double* x, double* y, int& n);
    // Distribution of the last simulated sample over entries
    // 1 .. capacity - 1; false, with x and y unchanged, when its tree does
    // not have n leaves.
    bool calc_mismatch(double* x, double* y, int n, int capacity);
    double compute_raggedness_index(double* x, double* y, int count);
    double calc_mean_mssm(double* x, double* y, int const& count);

    // --- the multi-rate fit (ann_missmatch_multirate.cpp) --------------------
    void solve_least_square(std::istream& in, std::ostream& out, int const& boot);
    void init_f_i_exp_vect(double const& eps, int& len);
    double f_S2Rate(double* x, double* y, int const& count);
    double f_i_exp_2r(int const& i);
    int hook_jeeves(double* x, double* y, int const& count, int const& max_steps, double const& tol);
    void make_xl_file(double* x, double* y, double* model, int const& count, std::ostream& out);
    void plot_fS(double* x, double* y, int const& count);
    double f_SRod_Harp(double* x, double* y, int const& count);
    int conj_grad(double* x, double* y, int const& count, int const& max_steps, double const& tol);
    void run() {}

protected:
    // SSD of the current point over entries 1 .. count - 1.
    double sudden_ssd(double const* y, int count);
    // The three class arrays, zeroed; false after the failure report.
    bool allocate_class_arrays(std::vector<double>& x, std::vector<double>& y, std::vector<double>& model);
    // Simulation tree of the sample's size, before a series.
    void prepare_tree();
    // The shared hit counts emptied after a simulation.
    void empty_hits();
    // Mutations at rate mu on the genealogy just drawn in the sample's tree,
    // kept as the leaves' states at the sites they hit.
    void drop_mutations(double mu);

    ExpansionWork work_;
    HitSiteStates states_;

private:
    // Refit of a replicate; 1 when it converged.
    int refit(double* x, double* y, int count);
    void multirate_parameters(std::ostream& out, double mu, char const* afterTheta1);
    bool multirate_tables();
};

}  // namespace quintle
