#pragma once
// A result file and menu script in a fresh directory, settings pointing at
// them, a sample set; the data type, the statistics record and the XML
// switch put back afterwards.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "core/xml.h"
#include "datatypes/PopulDNA.h"
#include "project/Samples.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
#include "support/process_state.h"

namespace quintle::testing_support {

inline std::string slurp(std::filesystem::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<double> values_of(TSumStat::Values const& a) { return {a.data, a.data + a.count}; }

template <class T>
void fill(MY_TArrayAsVector<T>& a, std::type_identity_t<std::vector<T>> const& values) {
    a.count = a.auxCount = 0;
    for (T v : values) a.Add(v);
}

class SummaryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("quintle_summary_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::create_directories(dir_);
        result_.open(dir_ / "res.htm", std::ios::in | std::ios::out | std::ios::trunc);
        s_.ResultFile = &result_;
        s_.ResultFileName = (dir_ / "res.htm").string().c_str();
        s_.MenuScriptFileName = (dir_ / "menu.js").string().c_str();
    }
    void TearDown() override {
        result_.close();
        std::filesystem::remove_all(dir_);
    }

    std::string output() {
        result_.flush();
        return slurp(dir_ / "res.htm");
    }

    template <class T = PopulDNA>
    T* add(char const* name) {
        auto* p = new T();
        p->name = my_string(name);
        set_.Populations.Add(p);
        return p;
    }

private:
    test::ProfileGuard profile_;
    test::SumStatGuard sumStat_;
    test::Saved<bool> xml_{xmlOutput, false};

protected:
    std::filesystem::path dir_;
    std::fstream result_;
    settings s_;
    Samples set_;
};

}  // namespace quintle::testing_support
