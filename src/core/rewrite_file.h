#pragma once

// Output to a file that a run writes anew from its start, progressively
// (the log, the result file), without emptying the old file first.
//
// Emptying a file that holds data gives its blocks back at once; on file
// systems that discard freed blocks and then, on closing, write out the new
// data of a file that was emptied, that is several times the cost of the
// writes themselves. Here the new text is written over the old bytes, and
// the file is cut to the length written as soon as it is longer: from the
// first write on, the file holds what has been written and nothing more,
// as if it had been emptied at the start (a file as long as before, the
// usual case of a call repeated on its project, is never cut at all).

#include <chrono>
#include <cstddef>
#include <fstream>
#include <ios>
#include <memory>
#include <streambuf>
#include <sys/types.h>

#include <type_traits>

namespace quintle {

// How long the result file holds its flushed lines at most (RewriteBuffer's
// held_ms): what a run killed from outside can lose of it; a run that ends,
// well or not, loses nothing. The log is written at every flush.
inline constexpr int progress_write_ms = 50;

class RewriteBuffer final : public std::streambuf {
public:
    // Opens the file for writing, creating it when missing. With `held_ms`
    // above 0, a flush (std::endl) writes out only the first time and then
    // when the last write is that many milliseconds old: a short run writes
    // its text in a few writes, a long one still shows its progress, and
    // the old text is gone from the first flush on.
    explicit RewriteBuffer(char const* path, int held_ms = 0);
    ~RewriteBuffer() override;
    RewriteBuffer(RewriteBuffer const&) = delete;
    RewriteBuffer& operator=(RewriteBuffer const&) = delete;

    bool is_open() const { return fd_ >= 0; }
    // Writes out what is held, cuts the file to the length written and
    // closes it. False when a write or the cut failed (or it was not open).
    bool close_file();

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Writes out what is held; `closing`: cut the file to length even when
    // nothing is held.
    bool write_out(bool closing = false);

    // Large enough that the result file of a long table goes out in few
    // writes; its pages are touched only as far as a file fills it.
    static constexpr std::size_t area_size = 65536;
    std::unique_ptr<char[]> area_{new char[area_size]};
    std::chrono::steady_clock::time_point last_write_{};
    std::chrono::milliseconds held_;
    bool wrote_ = false;
    int fd_ = -1;
    off_t written_ = 0;  // bytes written from the start
    off_t length_ = 0;   // the file's length as last known
    bool failed_ = false;
};

// A stream of type Base (std::ofstream, std::fstream) writing through a
// RewriteBuffer, for code that holds its streams by those types. The writers
// of the result file (a std::fstream) ask it whether it is open through
// Base::is_open(), which is not virtual: there Base's own file buffer gives
// the answer, opened on the same file for appending and never written to.
// Nothing asks the log so. The stream's own close() closes both.
template <class Base>
class RewritingFile final : public Base {
public:
    explicit RewritingFile(char const* path, int held_ms = 0) : buffer_(path, held_ms) {
        if constexpr (std::is_same_v<Base, std::fstream>)
            if (buffer_.is_open()) Base::rdbuf()->open(path, std::ios::out | std::ios::app);
        std::basic_ios<char>::rdbuf(&buffer_);
        if (!buffer_.is_open()) this->setstate(std::ios::failbit);
    }
    ~RewritingFile() override { buffer_.close_file(); }

    bool is_open() const { return buffer_.is_open(); }
    void close() {
        Base::rdbuf()->close();
        if (!buffer_.close_file()) this->setstate(std::ios::failbit);
    }

private:
    RewriteBuffer buffer_;
};

}  // namespace quintle
