#include "core/rewrite_file.h"

#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace quintle {

#ifdef _WIN32
// Without the cut to length, a plain emptied file.
RewriteBuffer::RewriteBuffer(char const* path, int held_ms) : held_(held_ms) {
    setp(area_.get(), area_.get() + area_size);
    if (path != nullptr) fd_ = ::_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0666);
}
#else
RewriteBuffer::RewriteBuffer(char const* path, int held_ms) : held_(held_ms) {
    setp(area_.get(), area_.get() + area_size);
    if (path == nullptr) return;
    do {
        fd_ = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) return;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    if (S_ISREG(info.st_mode)) {
        length_ = info.st_size;
    } else {
        // A device or a pipe has no length to cut, and no start to write
        // over: it is written to as a stream.
        length_ = 0;
    }
}
#endif

RewriteBuffer::~RewriteBuffer() { close_file(); }

bool RewriteBuffer::write_out(bool closing) {
    char const* data = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    setp(area_.get(), area_.get() + area_size);
    if (fd_ < 0) return false;
    // Nothing to write: the file is left as it is until the end.
    if (left == 0 && !closing) return !failed_;
    if (left > 0) {
        wrote_ = true;
        if (held_.count() > 0) last_write_ = std::chrono::steady_clock::now();
    }
    while (left > 0 && !failed_) {
#ifdef _WIN32
        int const n = ::_write(fd_, data, static_cast<unsigned>(left));
#else
        ssize_t const n = ::write(fd_, data, left);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) {
            failed_ = true;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
        written_ += static_cast<off_t>(n);
    }
#ifndef _WIN32
    // The old text past what is written now goes at the first write.
    if (!failed_ && length_ > written_) {
        if (::ftruncate(fd_, written_) != 0) failed_ = true;
        length_ = written_;
    }
#endif
    return !failed_;
}

RewriteBuffer::int_type RewriteBuffer::overflow(int_type c) {
    if (!write_out()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int RewriteBuffer::sync() {
    if (wrote_ && held_.count() > 0 && fd_ >= 0 && !failed_ &&
        std::chrono::steady_clock::now() - last_write_ < held_)
        return 0;
    return write_out() ? 0 : -1;
}

bool RewriteBuffer::close_file() {
    if (fd_ < 0) return false;
    bool const ok = write_out(true);
#ifdef _WIN32
    bool const closed = ::_close(fd_) == 0;
#else
    bool const closed = ::close(fd_) == 0;
#endif
    fd_ = -1;
    return ok && closed;
}

}  // namespace quintle
