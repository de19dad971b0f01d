#pragma once

// Guards for the process-wide values that tests set: the current data type
// and locus separator, the statistics record SumStat, the message log, the
// project-wide allele database and the coalescent's mutation table. A guard
// takes the value over for its lifetime and puts it back when it goes,
// whatever the test did or however it failed, so that the tests of one
// program give the same results in any order and when repeated
// (--gtest_shuffle, --gtest_repeat, ctest --schedule-random).

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "core/Errors.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "sumstat/TSumStat.h"

namespace quintle::test {

// Any copyable process-wide value: saved when built, optionally replaced,
// restored when destroyed.
template <class T>
class Saved {
public:
    explicit Saved(T& value) : value_(value), saved_(value) {}
    Saved(T& value, T replacement) : Saved(value) { value_ = std::move(replacement); }
    ~Saved() { value_ = std::move(saved_); }
    Saved(Saved const&) = delete;
    Saved& operator=(Saved const&) = delete;

private:
    T& value_;
    T saved_;
};

// ProfileSettings::DataType and ProfileSettings::LocusSeparator, which the
// readers take as the current project's (the analyses read the sample's).
class ProfileGuard {
public:
    // Keeps the current values.
    ProfileGuard() = default;
    // Sets the data type, or both, for the guard's lifetime.
    explicit ProfileGuard(TDataType type) : type_(ProfileSettings::DataType, type) {}
    ProfileGuard(TDataType type, char separator)
        : type_(ProfileSettings::DataType, type), separator_(ProfileSettings::LocusSeparator, separator) {}

private:
    Saved<TDataType> type_{ProfileSettings::DataType};
    Saved<char> separator_{ProfileSettings::LocusSeparator};
};

// SumStat, which cannot be copied: rebuilt fresh, as the program starts with
// it, when the guard is built and again when it goes.
class SumStatGuard {
public:
    SumStatGuard() { renew(); }
    ~SumStatGuard() { renew(); }
    SumStatGuard(SumStatGuard const&) = delete;
    SumStatGuard& operator=(SumStatGuard const&) = delete;

private:
    static void renew() {
        std::destroy_at(&SumStat);
        std::construct_at(&SumStat);
    }
};

// What the samples of a project share: PopGenetics::globalAllelicDB and
// the flags of the sites polymorphic in any sample (both empty for the
// guard's lifetime), and the counts of samples and groups that allele
// frequencies are sized by.
class AllelicDBGuard {
public:
    AllelicDBGuard() {
        PopGenetics::globalAllelicDB.destroy();
        PopGenetics::globalSubstPolymSites.count = 0;
    }

private:
    Saved<TAlleleDB> db_{PopGenetics::globalAllelicDB};
    Saved<MY_TArrayAsVector<bool>> sites_{PopGenetics::globalSubstPolymSites};
    Saved<int> samples_{TAllele::numPop};
    Saved<int> groups_{TAllele::numGroup};
};

// TNode::hits, the sites the last simulated genealogy hit (empty for the
// guard's lifetime), the site rates mutations are drawn with and the count
// of mutations placed.
class HitsGuard {
public:
    HitsGuard() { TNode::hits.count = 0; }

private:
    Saved<MY_TArrayAsVector<long>> hits_{TNode::hits};
    Saved<GammaRates> rates_{TNode::mut_rates};
    Saved<long> mutations_{TNode::_tot_mut};
};

// The message log: opened on its own file in a fresh folder, report
// numbering from 1, no copy to a result file. When the guard goes the log is
// closed and silent, as before any project, and the folder is removed.
class LogGuard {
public:
    explicit LogGuard(std::string const& tag = "quintle_log") {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               (tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        E.echo = nullptr;
        restart();
    }
    ~LogGuard() {
        E.echo = nullptr;
        E.CloseLog_file();
        // A log that cannot be opened: nothing is written until the next one.
        E.init_log_file(my_string((dir_ / "absent" / "log.txt").string().c_str()), false);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    LogGuard(LogGuard const&) = delete;
    LogGuard& operator=(LogGuard const&) = delete;

    // Empties the folder and the log; numbering starts again from 1.
    void restart() {
        E.CloseLog_file();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        E.init_log_file(my_string(path().string().c_str()), false);
        E.error(WARNING, "", -1);
    }
    // Everything logged so far.
    std::string text() const {
        _AOS_->flush();
        std::ifstream in(path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The folder, free for the test's own files; the log is "log.txt" in it.
    std::filesystem::path const& dir() const { return dir_; }
    std::filesystem::path path() const { return dir_ / "log.txt"; }

private:
    std::filesystem::path dir_;
};

}  // namespace quintle::test
