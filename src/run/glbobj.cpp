#include "run/glbobj.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "core/input_files.h"
#include "sumstat/TSumStat.h"

namespace quintle {

int _GENE_DIVERSITY_ = 0;
int _NUCLEOTIDE_COMPOSITION_ = 0;
int _MOLECULAR_DIVERSITY_ = 0;
int _MISMATCH_ = 0;
int _THETA_ = 0;
int _LINKAGE_DISEQUILIBRIUM_ = 0;
int _HARDY_WEINBERG_ = 0;
int _TAJIMA_ = 0;
int _FU_FS_ = 0;
int _EWENS_WATTERSON_ = 0;
int _CHAKRABORTY_ = 0;
int _PAIRWISE_DIST_ = 0;
int _AMOVA_RES_ = 0;
int _ALLELE_FREQS_ = 0;
int _DETECT_SELECTION_ = 0;

std::ostream* ofs_gen_div = nullptr;
std::ostream* ofs_nuc_comp = nullptr;
std::ostream* ofs_mol_div = nullptr;
std::ostream* ofs_mismatch = nullptr;
std::ostream* ofs_mismatch_sp3 = nullptr;
std::ostream* ofs_mismatch_sp4 = nullptr;
std::ostream* ofs_only_mismatch = nullptr;
std::ostream* ofs_theta = nullptr;
std::ostream* ofs_link_dis = nullptr;
std::ostream* ofs_link_dis_pro = nullptr;
std::ostream* ofs_link_dis_pro_inbreeding = nullptr;
std::ostream* ofs_distrib_LD = nullptr;
std::ostream* ofs_HW = nullptr;
std::ostream* ofs_tajima = nullptr;
std::ostream* ofs_fu_fs = nullptr;
std::ostream* ofs_ewens_watt = nullptr;
std::ostream* ofs_chakra = nullptr;
std::ostream* ofs_pairw_dist = nullptr;
std::ostream* ofs_FST_dist = nullptr;
std::ostream* ofs_varComp_dist = nullptr;
std::ostream* ofs_pairw_diffs = nullptr;
std::ostream* ofs_tau_uneq = nullptr;
std::ostream* ofs_concest = nullptr;
std::ostream* ofs_slatkins = nullptr;
std::ostream* ofs_NM_vals = nullptr;
std::ostream* ofs_amova_res = nullptr;
std::ostream* ofs_selection_res = nullptr;
std::ostream* ofs_allele_freqs = nullptr;

char* _batch_dir = nullptr;

char DistanceNames[NumDistanceNames][DistanceNameSize] = {};

namespace {

// Storage for the objects built before main. The union leaves its member
// unconstructed, so the storage itself is constant-initialised and the
// references below are bound before any dynamic initialisation runs.
template <class T>
union Slot {
    constexpr Slot() : none() {}
    ~Slot() {}
    char none;
    T obj;
};

constinit int globalObjectsCount = 0;
constinit Slot<my_string> usedHaplListDefaultSlot;
constinit Slot<my_string> recessiveAlleleDefaultSlot;
constinit Slot<TSumStat> sumStatSlot;

}  // namespace

constinit my_string& UsedHaplListDefault = usedHaplListDefaultSlot.obj;
constinit my_string& RecessiveAlleleDefault = recessiveAlleleDefaultSlot.obj;
constinit TSumStat& SumStat = sumStatSlot.obj;

detail::GlobalObjectsInit::GlobalObjectsInit() {
    if (globalObjectsCount++ != 0) return;
    ::new (static_cast<void*>(&usedHaplListDefaultSlot.obj)) my_string("NONE");
    ::new (static_cast<void*>(&recessiveAlleleDefaultSlot.obj)) my_string("null");
    ::new (static_cast<void*>(&sumStatSlot.obj)) TSumStat();
}

detail::GlobalObjectsInit::~GlobalObjectsInit() {
    if (--globalObjectsCount != 0) return;
    sumStatSlot.obj.~TSumStat();
    recessiveAlleleDefaultSlot.obj.~my_string();
    usedHaplListDefaultSlot.obj.~my_string();
}

namespace {

// Longest directory prefix under which "glbstreams.txt" is still looked for.
constexpr std::size_t MaxFlagsDirLength = 350;
// Lines read after the free comment line of "glbstreams.txt".
constexpr int MaxFlagLines = 200;

char batchDirStorage[BatchDirSize] = {};

struct FlagEntry {
    char const* name;
    int* flag;
};

constexpr std::array<FlagEntry, 15> flagTable{{
    {"_GENE_DIVERSITY_", &_GENE_DIVERSITY_},
    {"_NUCLEOTIDE_COMPOSITION_", &_NUCLEOTIDE_COMPOSITION_},
    {"_MOLECULAR_DIVERSITY_", &_MOLECULAR_DIVERSITY_},
    {"_MISMATCH_", &_MISMATCH_},
    {"_THETA_", &_THETA_},
    {"_LINKAGE_DISEQUILIBRIUM_", &_LINKAGE_DISEQUILIBRIUM_},
    {"_HARDY_WEINBERG_", &_HARDY_WEINBERG_},
    {"_TAJIMA_", &_TAJIMA_},
    {"_FU_FS_", &_FU_FS_},
    {"_EWENS_WATTERSON_", &_EWENS_WATTERSON_},
    {"_CHAKRABORTY_", &_CHAKRABORTY_},
    {"_PAIRWISE_DIST_", &_PAIRWISE_DIST_},
    {"_AMOVA_RES_", &_AMOVA_RES_},
    {"_ALLELE_FREQS_", &_ALLELE_FREQS_},
    {"_DETECT_SELECTION_", &_DETECT_SELECTION_},
}};

constexpr char batchTitle[] =
    "\n\n-------------------------------------------------------------------"
    "\nPellomar batch run summary file\n";

// One batch file: what opens it, where its stream goes, and the fixed text
// written at opening (optional title, then `text`, then optionally a flushed
// line end).
struct BatchFile {
    int* flag;
    std::ostream** stream;
    char const* name;
    bool title;
    char const* text;
    bool endLine;
    bool truncate;
};

constexpr char pairwiseText[] = "\tfile_name";

// In opening order.
constexpr std::array<BatchFile, 28> batchFiles{{
    {&_GENE_DIVERSITY_, &ofs_gen_div, "gen_div.sum", true,
     "Gene diversity indices:\n"
     "file_name\tpop_name\tnb_gene_copies\tnb_haplotypes\t[orig_nb_haplotypes]\tnum_loci\t"
     "_nb_usable_loci\t_nb_pol_sites\tgene_diversity",
     true, false},
    {&_NUCLEOTIDE_COMPOSITION_, &ofs_nuc_comp, "nucl_comp.sum", true,
     "Nucleotide composition\n"
     "file_name\tpop_name\tC\tT\tA\tG\tsum(CTAG)",
     true, false},
    {&_MOLECULAR_DIVERSITY_, &ofs_mol_div, "mold_div.sum", true,
     "Molecular diversity indices\n"
     "file_name\tpop_name\tindel_w\tts_w\ttv_w\tmiss_lev\t#ts_s\t#tv_s\t#subs_s\t#del_s\t"
     "#pol_s\t#nucl_s\t#usa_loci\tdist_met\tgamma_a\tmol_div\tnucl_div",
     true, false},
    {&_MISMATCH_, &ofs_mismatch, "mismatch.sum", true,
     "Mismatch distribution\n"
     "file_name\tpop_name\tDistance\tgamma_a\tmean\tvariance\ttheta0\ttau\t"
     "Mismatch distribution starting from the zero difference class",
     true, false},
    {&_MISMATCH_, &ofs_mismatch_sp3, "mismatch_sp3.sum", true,
     "Mismatch distribution\n"
     "file_name\tpop_name\tDistance\tgamma_a\tmean\tvariance\ttau\ttheta\tM\t"
     "Mismatch distribution starting from the zero difference class",
     true, false},
    {&_MISMATCH_, &ofs_mismatch_sp4, "mismatch_sp4.sum", true,
     "Mismatch distribution\n"
     "file_name\tpop_name\tDistance\tgamma_a\tmean\tvariance\ttheta0\ttau\ttheta\tM\t"
     "Mismatch distribution starting from the zero difference class",
     true, false},
    // Rewritten on every run, unlike the summary files.
    {&_MISMATCH_, &ofs_only_mismatch, "only_mismatch_sp.txt", false,
     "Mismatch distributions\n", false, true},
    {&_THETA_, &ofs_theta, "theta.sum", true, "\tfile_name", true, false},
    {&_LINKAGE_DISEQUILIBRIUM_, &ofs_link_dis, "link_dis.sum", true,
     "Linkage disequilibrium indices\n"
     "alpha_lev\ty\t#usable_loci",
     true, false},
    {&_LINKAGE_DISEQUILIBRIUM_, &ofs_link_dis_pro, "l_d_pro.sum", true,
     "Linkage disequilibrium probabilities\n"
     "file_name\tpop_name\tloc_1\tloc_2\t#resampl\tl_d_proba\ts.d.",
     true, false},
    {&_LINKAGE_DISEQUILIBRIUM_, &ofs_link_dis_pro_inbreeding, "l_d_proIBD.sum", true,
     "Linkage disequilibrium likelihood ration test with inbreeding\n"
     "file_name\tpop_name\tComp_inbreeding \tlnLHoodLDf \tf_coeff_LD \tlnLHoodLEf \t"
     "f_coeff_LE\tChi2f \tdf \tP_Chi2f\t"
     "Comp_inbreeding \tlnLHoodLDf \tf_coeff_LD \tlnLHoodLE \tf_coeff_LE\tChi2 \tdf \tP_Chi2\t"
     "\tP_Chi2_resamp\tnum_boot",
     true, false},
    {&_LINKAGE_DISEQUILIBRIUM_, &ofs_distrib_LD, "l_d_val.sum", true,
     "Linkage disequilibrium values\n"
     "file_name\tpop_name\tloc_1\tloc_2\tD\tDprime\tD_hedrick\tR\tR2\tR2_hedrick",
     true, false},
    {&_HARDY_WEINBERG_, &ofs_HW, "hw.sum", true,
     "Hardy-Weinberg equilibrium indices\tfile_name\tpop_name", true, false},
    {&_TAJIMA_, &ofs_tajima, "tajima.sum", true,
     "Tajima's D indices:\n"
     "file_name\tpop_name\tnum gene copies\tnum polym sites\ttheta_S\ttheta_pi\tTajima's D\t"
     "P-value beta approx.\tP-value simul.\tProb(Simulated D <= 0)\tNum. simulations",
     true, false},
    {&_FU_FS_, &ofs_fu_fs, "fu_fs.sum", true,
     "file_name\tpop_name\tNo. of Genes copies\tNo. of Haplotypes\tTheta\tFs\t"
     "Prob(sim_Fs <=obs_Fs)\tP( Fs <= 0\tNo. Simulations",
     true, false},
    {&_EWENS_WATTERSON_, &ofs_ewens_watt, "ewens.sum", true,
     "Ewens-Watterson neutrality test indices\n"
     "file_name\tpop_name\tnb_genes\t[nb_orig_hapl]\tnb_#all\tobs_F\texp_F\tp_Ewens_Watt\t"
     "p_exact_Slatkin",
     true, false},
    {&_CHAKRABORTY_, &ofs_chakra, "chakra.sum", true,
     "Chakraborty's neutrality test indices\n"
     "file_name\tpop_name\tnb_genes\tnb_haplotypes\thomozygosity\texp_k(hom)\tp_k_all\t"
     "p_>=k_all",
     true, false},
    {&_PAIRWISE_DIST_, &ofs_pairw_dist, "pairdist.sum", true, pairwiseText, true, false},
    {&_PAIRWISE_DIST_, &ofs_FST_dist, "FSTdist.sum", true, pairwiseText, true, false},
    {&_PAIRWISE_DIST_, &ofs_varComp_dist, "VCompdist.sum", true, "", true, false},
    {&_PAIRWISE_DIST_, &ofs_pairw_diffs, "pairdiff.sum", true, pairwiseText, true, false},
    {&_PAIRWISE_DIST_, &ofs_tau_uneq, "tau_uneq.sum", true, pairwiseText, true, false},
    {&_PAIRWISE_DIST_, &ofs_concest, "coanst_c.sum", true, pairwiseText, true, false},
    {&_PAIRWISE_DIST_, &ofs_slatkins, "slatkin.sum", true, pairwiseText, true, false},
    {&_PAIRWISE_DIST_, &ofs_NM_vals, "NM_value.sum", true, pairwiseText, true, false},
    {&_AMOVA_RES_, &ofs_amova_res, "amovares.sum", false,
     "\nAMOVA computations ..."
     "\nfile_name\n",
     false, false},
    {&_DETECT_SELECTION_, &ofs_selection_res, "selectionDetection.sum", false,
     "\nDetection of loci under selection:"
     "\nfileName\tnumSims\tNumTestedLoci\tnumLowFSTLociBelow_1e-3\tnumLowFSTLociBelow_5e-3\t"
     "numLowFSTLociBelow_1e-2\tnumLowFSTLociBelow_2.5e-2\tnumLociBelow_5e-2"
     "\tnumHighFCTLociBelow_1e-3\tnumHighFCTLociBelow_5e-3\tnumHighFCTLociBelow_1e-2\t"
     "numHighFCTLociBelow_2.5e-2\tnumHighFCTLociBelow_5e-2"
     "\tnumLowFCTLociBelow_1e-3\tnumLowFCTLociBelow_5e-3\tnumLowFCTLociBelow_1e-2\t"
     "numLowFCTLociBelow_2.5e-2\tnumLociBelow_5e-2"
     "\tnumHighFCTLociBelow_1e-3\tnumHighFCTLociBelow_5e-3\tnumHighFCTLociBelow_1e-2\t"
     "numHighFCTLociBelow_2.5e-2\tnumHighFCTLociBelow_5e-2\n",
     false, false},
    {&_ALLELE_FREQS_, &ofs_allele_freqs, "allele_freqs.sum", true,
     "Allele frequencies\nfile_name\n"
     "Population 1 id\tFreq. all. 1\tFreq. all. 2\t...\t"
     "Population 2 id\tFreq. all. 1\tFreq. all. 2\t...",
     true, false},
}};

// What one batch file receives from this process. Runs of different projects
// in one working folder write the same batch files at the same time: the
// text is held here and reaches the file in whole lines, in one write under
// an exclusive lock on the file, when the stream is closed (or, for a run
// that writes a great deal, whenever the text held passes spill_size), so
// that no two runs interleave inside a line and no line is lost.
class BatchBuffer final : public std::streambuf {
public:
    // Held at most before the complete lines are written out.
    static constexpr std::size_t spill_size = std::size_t{4} << 20;

    // Opens (creates) the file at once. Only a regular file is written: a
    // pipe would block the open or the run, a device takes nothing worth
    // writing. `rewrite`: the file is emptied at the first write.
    BatchBuffer(char const* path, bool rewrite) : rewrite_(rewrite) {
        setp(area_, area_ + sizeof area_);
        // Non-blocking: a pipe without a reader fails the open rather than
        // wait; the flag changes nothing for a regular file.
        do {
            fd_ = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
        } while (fd_ < 0 && errno == EINTR);
        char const* const not_regular = "not a regular file (a device or a pipe)";
        if (fd_ < 0) {
            // ENXIO: a pipe without a reader.
            problem_ = errno == ENXIO ? not_regular : std::strerror(errno);
            return;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            problem_ = not_regular;
        }
    }
    BatchBuffer(BatchBuffer const&) = delete;
    BatchBuffer& operator=(BatchBuffer const&) = delete;
    ~BatchBuffer() override { close_file(); }

    bool is_open() const { return fd_ >= 0; }
    // Why the text given to this file is lost (it could not be opened, or a
    // write failed); empty while nothing is.
    std::string const& problem() const { return problem_; }

    // Writes out what is held and closes the file. Nothing is allocated
    // here: it also runs from the destructor.
    void close_file() {
        if (fd_ < 0) return;
        write_out(held_.size(), std::string_view(pbase(), static_cast<std::size_t>(pptr() - pbase())));
        setp(area_, area_ + sizeof area_);
        ::close(fd_);
        fd_ = -1;
        std::string().swap(held_);
    }

protected:
    int_type overflow(int_type c) override {
        if (fd_ < 0) return traits_type::eof();
        take_area();
        if (!traits_type::eq_int_type(c, traits_type::eof())) held_.push_back(traits_type::to_char_type(c));
        if (held_.size() >= spill_size) {
            // Only whole lines: the rest waits for its line end.
            std::size_t const last = held_.rfind('\n');
            if (last != std::string::npos) write_out(last + 1);
        }
        return traits_type::not_eof(c);
    }
    // A flush (std::endl) writes nothing out: a line reaches the file whole,
    // together with the other lines of its run.
    int sync() override { return 0; }

private:
    void take_area() {
        held_.append(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(area_, area_ + sizeof area_);
    }

    // Writes the first `size` characters held, then `rest`, under the lock.
    // Without a lock (a file system that has none) the text is still
    // written, and a failed write loses it as a full disk loses any write.
    void write_out(std::size_t size, std::string_view rest = {}) {
        int locked = -1;
        while ((locked = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rewrite_) {
            rewrite_ = false;
            if (::ftruncate(fd_, 0) != 0) {
                // then appended to what is there
            }
        }
        if (write_all(std::string_view(held_.data(), size))) write_all(rest);
        if (locked == 0) ::flock(fd_, LOCK_UN);
        held_.erase(0, size);
    }

    // Nothing is allocated here but the reason of the first failure.
    bool write_all(std::string_view text) {
        while (!text.empty()) {
            ssize_t const n = ::write(fd_, text.data(), text.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (problem_.empty()) problem_ = n < 0 ? std::strerror(errno) : "nothing could be written";
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    char area_[8192];
    std::string held_;
    std::string problem_;
    int fd_ = -1;
    bool rewrite_;
};

// A batch file's stream, writing through the buffer above. A file that
// cannot be opened leaves a failed stream that drops what it is given.
class BatchStream final : public std::ostream {
public:
    BatchStream(char const* path, bool rewrite) : std::ostream(nullptr), buffer_(path, rewrite) {
        rdbuf(&buffer_);
        if (!buffer_.is_open()) setstate(std::ios::failbit);
    }
    void close_file() { buffer_.close_file(); }
    std::string const& problem() const { return buffer_.problem(); }

private:
    BatchBuffer buffer_;
};

// The streams themselves; the public ofs_ pointers only view them.
std::array<std::unique_ptr<BatchStream>, batchFiles.size()> batchOwners;

// The batch files of this run whose text is lost, in the order met.
std::vector<std::string> lostBatchFiles;

// Once per file: the first reason stands.
void note_lost(BatchFile const& b, BatchStream const& stream) {
    if (stream.problem().empty()) return;
    std::string const head = std::string(b.name) + ": ";
    for (std::string const& noted : lostBatchFiles)
        if (noted.compare(0, head.size(), head) == 0) return;
    lostBatchFiles.push_back(head + stream.problem());
}

constexpr char const* distanceNameTexts[NumDistanceNames] = {
    "Pairwise difference",
    "Jukes and Cantor",
    "Kimura 2P",
    "Proportion of difference",
    "Tajima and Nei",
    "Tamura",
    "Tamura and Nei",
    "No. of different alleles (FST)",
    "Sum of squared size difference (RST)",
};

}  // namespace

void read_global_flags(char* directory) {
    for (FlagEntry const& f : flagTable) *f.flag = 0;

    batchDirStorage[0] = '\0';
    _batch_dir = batchDirStorage;

    char const* dir = directory ? directory : "";
    std::size_t const dirLength = std::strlen(dir);
    if (dirLength > MaxFlagsDirLength) return;

    // The directory text carries its own trailing separator.
    char path[MaxFlagsDirLength + sizeof("glbstreams.txt")];
    std::memcpy(path, dir, dirLength);
    std::memcpy(path + dirLength, "glbstreams.txt", sizeof("glbstreams.txt"));

    // A pipe would block the open.
    std::ifstream in;
    if (!open_input_file(in, path)) return;

    my_string line;
    // The first line is a free comment and is never tested.
    line.read_line(in);
    if (in.fail() || in.bad()) return;

    for (int i = 0; i < MaxFlagLines; ++i) {
        line.read_line(in);
        line.to_upper();
        for (FlagEntry const& f : flagTable) {
            if (line.contains(f.name)) *f.flag = 1;
        }
        if (in.fail() || in.bad()) break;
    }
}

void initialize_pellomar_global_objects() {
    // Progress text goes to the log once one is open; until then _AOS_ keeps
    // pointing at its always-valid default.
    if (std::ofstream* log = E.log_stream()) _AOS_ = log;

    for (int i = 0; i < NumDistanceNames; ++i) {
        std::strncpy(DistanceNames[i], distanceNameTexts[i], DistanceNameSize - 1);
        DistanceNames[i][DistanceNameSize - 1] = '\0';
    }

    // The batch directory prefix, bounded by its buffer.
    std::size_t prefixLength = 0;
    if (_batch_dir) {
        while (prefixLength < BatchDirSize - 1 && _batch_dir[prefixLength] != '\0') ++prefixLength;
    }
    char fileName[BatchDirSize + 32];

    lostBatchFiles.clear();
    for (std::size_t i = 0; i < batchFiles.size(); ++i) {
        BatchFile const& b = batchFiles[i];
        // A second call replaces, rather than leaks, what the first opened.
        *b.stream = nullptr;
        batchOwners[i].reset();
        if (*b.flag == 0) continue;

        if (prefixLength > 0) std::memcpy(fileName, _batch_dir, prefixLength);
        std::strcpy(fileName + prefixLength, b.name);

        auto stream = std::make_unique<BatchStream>(fileName, b.truncate);
        // A file that cannot be opened leaves a failed stream: everything
        // written to it is dropped, the other files carry on.
        if (b.title) *stream << batchTitle;
        *stream << b.text;
        if (b.endLine) *stream << std::endl;

        note_lost(b, *stream);
        *b.stream = stream.get();
        batchOwners[i] = std::move(stream);
    }
}

std::vector<std::string> const& lost_batch_files() { return lostBatchFiles; }

void close_all_global_streams() {
    _batch_dir = nullptr;
    for (std::size_t i = 0; i < batchFiles.size(); ++i) {
        *batchFiles[i].stream = nullptr;
        if (batchOwners[i]) {
            batchOwners[i]->close_file();
            note_lost(batchFiles[i], *batchOwners[i]);
            batchOwners[i].reset();
        }
    }
}

}  // namespace quintle
