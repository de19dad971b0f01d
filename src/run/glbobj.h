#pragma once

// Process-wide objects of a run: the batch-summary output flags and their
// streams, the distance-method names, the profile defaults and the one
// statistics record. The flags, stream pointers and name table are plain
// zero-initialised data; the three objects that need a constructor are built
// by the initialiser below so that any translation unit including this header
// may use them from its own static initialisation on.

#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/my_string.h"

namespace quintle {

class TSumStat;

// Batch-summary flags: 0 off, 1 on. Each name is also the keyword looked for
// in "glbstreams.txt".
extern int _GENE_DIVERSITY_;
extern int _NUCLEOTIDE_COMPOSITION_;
extern int _MOLECULAR_DIVERSITY_;
extern int _MISMATCH_;
extern int _THETA_;
extern int _LINKAGE_DISEQUILIBRIUM_;
extern int _HARDY_WEINBERG_;
extern int _TAJIMA_;
extern int _FU_FS_;
extern int _EWENS_WATTERSON_;
extern int _CHAKRABORTY_;
extern int _PAIRWISE_DIST_;
extern int _AMOVA_RES_;
extern int _ALLELE_FREQS_;
extern int _DETECT_SELECTION_;

// Batch-summary streams: null while their flag is off. Owned here; writers
// only test the flag and write through the pointer. What a run writes is
// held in memory and put in its file under a lock on the file, in one piece
// by close_all_global_streams (in whole lines before that when a run writes
// a great deal): concurrent runs in one folder never interleave inside a
// line. Only regular files are written.
extern std::ostream* ofs_gen_div;
extern std::ostream* ofs_nuc_comp;
extern std::ostream* ofs_mol_div;
extern std::ostream* ofs_mismatch;
extern std::ostream* ofs_mismatch_sp3;
extern std::ostream* ofs_mismatch_sp4;
extern std::ostream* ofs_only_mismatch;
extern std::ostream* ofs_theta;
extern std::ostream* ofs_link_dis;
extern std::ostream* ofs_link_dis_pro;
extern std::ostream* ofs_link_dis_pro_inbreeding;
extern std::ostream* ofs_distrib_LD;
extern std::ostream* ofs_HW;
extern std::ostream* ofs_tajima;
extern std::ostream* ofs_fu_fs;
extern std::ostream* ofs_ewens_watt;
extern std::ostream* ofs_chakra;
extern std::ostream* ofs_pairw_dist;
extern std::ostream* ofs_FST_dist;
extern std::ostream* ofs_varComp_dist;
extern std::ostream* ofs_pairw_diffs;
extern std::ostream* ofs_tau_uneq;
extern std::ostream* ofs_concest;
extern std::ostream* ofs_slatkins;
extern std::ostream* ofs_NM_vals;
extern std::ostream* ofs_amova_res;
extern std::ostream* ofs_selection_res;
extern std::ostream* ofs_allele_freqs;

// Directory prefix of the batch files (801 bytes, empty): valid between
// read_global_flags and close_all_global_streams, null otherwise.
constexpr int BatchDirSize = 801;
extern char* _batch_dir;

// Names of the distance methods, indexed by the settings' distance code;
// filled by initialize_pellomar_global_objects.
constexpr int NumDistanceNames = 9;
constexpr int DistanceNameSize = 40;
extern char DistanceNames[NumDistanceNames][DistanceNameSize];

// Built before main, destroyed after it (see detail::GlobalObjectsInit).
extern my_string& UsedHaplListDefault;     // "NONE"
extern my_string& RecessiveAlleleDefault;  // "null"
extern TSumStat& SumStat;

// Sets the fifteen flags from "glbstreams.txt" found under the directory
// prefix (null counts as empty) and creates an empty _batch_dir.
void read_global_flags(char* directory);

// Opens the batch file of every flag that is set, writes its title and
// column header, and fills DistanceNames.
void initialize_pellomar_global_objects();

// The batch files of the run whose lines are lost, each as its name, ": "
// and the reason: a file that could not be opened (at the opening), or one
// whose writing failed (when it is written out). Emptied by the opening.
std::vector<std::string> const& lost_batch_files();

// Writes out, closes and destroys every open batch stream and drops
// _batch_dir. Safe to call any number of times. The flags keep their values.
// Streams still open at the end of the process are written out then.
void close_all_global_streams();

namespace detail {
// Counted initialiser: the first instance to be constructed builds
// UsedHaplListDefault, RecessiveAlleleDefault and SumStat (in that order),
// the last one to be destroyed tears them down in reverse order. One instance
// lives in every translation unit that includes this header, after E's own
// initialiser and ahead of that unit's globals, so the objects exist whatever
// order the units are initialised in.
struct GlobalObjectsInit {
    GlobalObjectsInit();
    ~GlobalObjectsInit();
    GlobalObjectsInit(GlobalObjectsInit const&) = delete;
    GlobalObjectsInit& operator=(GlobalObjectsInit const&) = delete;
};
static GlobalObjectsInit global_objects_init_instance;
}  // namespace detail

}  // namespace quintle
