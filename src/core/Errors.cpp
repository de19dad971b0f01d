#include "core/Errors.h"

#include <iomanip>
#include <iostream>
#include <new>

namespace quintle {

namespace {

// Storage for E and for the discarding stream. Both unions are constant
// initialised (no code runs for them), so their addresses are fixed before
// any dynamic initialisation; ErrorsInit constructs the members in place.
union ErrorsSlot {
    constexpr ErrorsSlot() : none() {}
    ~ErrorsSlot() {}
    char none;
    Errors errors;
};

union NullStreamSlot {
    constexpr NullStreamSlot() : none() {}
    ~NullStreamSlot() {}
    char none;
    std::ostream stream;
};

constinit ErrorsSlot errors_slot;
constinit NullStreamSlot null_stream_slot;
constinit int init_count = 0;

std::ostream* null_stream() { return &null_stream_slot.stream; }

}  // namespace

constinit Errors& E = errors_slot.errors;
constinit std::ostream* _AOS_ = &null_stream_slot.stream;

namespace detail {

ErrorsInit::ErrorsInit() {
    if (init_count++ == 0) {
        // A stream without a buffer: every write only sets its badbit.
        new (&null_stream_slot.stream) std::ostream(nullptr);
        new (&errors_slot.errors) Errors();
    }
}

ErrorsInit::~ErrorsInit() {
    if (--init_count == 0) {
        errors_slot.errors.~Errors();
        // The discarding stream is left alive on purpose: objects of units
        // that never included this header may still write to _AOS_ while
        // they are destroyed, and the stream owns nothing.
    }
}

}  // namespace detail

Errors::Errors() = default;

Errors::~Errors() {
    if (_AOS_ == log_.get()) _AOS_ = null_stream();
    log_.reset();
}

const char* Errors::message(int index) {
    if (index < 0 || index >= error_message_count) return nullptr;
    return error_messages[index];
}

void Errors::error(ErrorType kind, my_string const& name, int index) {
    // Counters of the whole run; each holds the number its next report shows.
    static int mess_count = 1;
    static int error_count = 1;
    static int warning_count = 1;
    static int info_count = 1;
    static int memory_count = 1;

    if (log_open_ == 0) return;

    if (index == -1) {
        mess_count = error_count = warning_count = info_count = memory_count = 1;
        return;
    }

    std::ostream& out = *_AOS_;
    out << std::setfill(' ') << std::setw(4) << mess_count;
    ++mess_count;

    const char* label = " #[ERROR # ";
    int* counter = &error_count;
    switch (static_cast<unsigned>(kind)) {
        case WARNING:
            label = " #[WARNING # ";
            counter = &warning_count;
            break;
        case MEMORY:
            label = " #[MEMORY # ";
            counter = &memory_count;
            break;
        case INFO:
            label = " #[INFO # ";
            counter = &info_count;
            break;
        case DEBUG:
            // DEBUG reports share the error counter.
            label = " #[DEBUG # ";
            break;
        default:
            break;
    }
    const int shown = *counter;
    ++*counter;
    out << label << shown;

    if (kind == DEBUG) {
        out << "] " << name << std::endl;
        return;
    }

    const char* text = message(index);
    out << "] " << "from function " << '"' << name << '"' << " : ";
    if (text != nullptr)
        out << text;
    else
        out << "unknown message number " << index;
    out << std::endl;

    if (echo != nullptr) {
        std::ostream& short_copy = *echo;
        short_copy << label << shown << "] : ";
        if (text != nullptr)
            short_copy << text;
        else
            short_copy << "unknown message number " << index;
        short_copy << std::endl;
    }

    if (kind == MEMORY) throw NOT_ENOUGH_MEMORY;
}

EchoCapture::EchoCapture() : saved_(E.echo) {
    if (saved_ != nullptr) E.echo = &held_;
}

EchoCapture::~EchoCapture() {
    if (saved_ == nullptr) return;
    E.echo = saved_;
    *saved_ << held_.str();
}

std::string EchoCapture::take() {
    std::string text = held_.str();
    held_.str("");
    return text;
}

void Errors::init_log_file(const my_string& path, bool append) {
    if (log_) {
        close_log();
        if (_AOS_ == log_.get()) _AOS_ = null_stream();
        log_.reset();
        rewritten_log_ = nullptr;
    }
    if (append) {
        log_ = std::make_unique<std::ofstream>(path.c_str(), std::ios::out | std::ios::app);
        log_open_ = log_->is_open() ? 1 : 0;
    } else {
        // Every flush of the log is written at once: what it says is there
        // for whoever reads it, even of a run killed from outside.
        auto log = std::make_unique<RewritingFile<std::ofstream>>(path.c_str());
        log_open_ = log->is_open() ? 1 : 0;
        rewritten_log_ = log.get();
        log_ = std::move(log);
    }
    log_path_ = path;
    _AOS_ = log_.get();
}

void Errors::close_log() {
    if (rewritten_log_ != nullptr)
        rewritten_log_->close();
    else if (log_)
        log_->close();
}

void Errors::CloseLog_file() { close_log(); }

void warn_log_and_console(std::string const& text) {
    *_AOS_ << "WARNING: " << text << std::endl;
    std::cerr << "quintle: " << text << std::endl;
}

}  // namespace quintle
