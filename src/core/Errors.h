#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "core/messages.h"
#include "core/my_string.h"
#include "core/rewrite_file.h"

namespace quintle {

// Kind of a report. The underlying type is fixed so that any int value is a
// valid ErrorType: unknown kinds are logged as errors rather than being
// undefined behaviour.
enum ErrorType : int { WARNING = 0, ERROR = 1, MEMORY = 2, INFO = 3, DEBUG = 4 };

// Thrown by a MEMORY report once its line is written; the value is always 0.
enum ExceptionType : int { NOT_ENOUGH_MEMORY = 0 };

// The numbered message table (messages.cpp); message n is entry n, named
// by Msg.
inline constexpr int error_message_count = static_cast<int>(Msg::m210_too_many_mutations) + 1;
extern const char* const error_messages[];

// The message log: every reported condition goes through the one instance E.
class Errors {
public:
    Errors();
    ~Errors();
    Errors(const Errors&) = delete;
    Errors& operator=(const Errors&) = delete;

    // Writes one numbered line for message `index` of kind `kind`, reported by
    // the function `name`. Index -1 resets the report counters. Does nothing
    // while no log is open. A MEMORY report throws ExceptionType afterwards.
    void error(ErrorType kind, my_string const& name, int index);
    void error(ErrorType kind, my_string const& name, Msg message) {
        error(kind, name, static_cast<int>(message));
    }

    // Opens the log file written anew (see RewritingFile), or appended to,
    // and points _AOS_ at it.
    void init_log_file(const my_string& path, bool append);

    // Closes the log file; the stream object and _AOS_ stay in place.
    void CloseLog_file();

    // 1 while the last init_log_file opened its file, else 0.
    int log_open() const { return log_open_; }
    const my_string& log_path() const { return log_path_; }
    std::ofstream* log_stream() const { return log_.get(); }

    // Text of message `index`, or nullptr for a number outside the table.
    static const char* message(int index);

private:
    void close_log();

    int log_open_ = 0;
    std::unique_ptr<std::ofstream> log_;
    // The log written anew (not appended to) is this RewritingFile, held by
    // log_: its own close() closes it.
    RewritingFile<std::ofstream>* rewritten_log_ = nullptr;
    my_string log_path_;

public:
    // When set, receives a short copy of every report but DEBUG ones. The
    // project run points it at its result file and clears it again; the
    // stream is not owned.
    std::ostream* echo = nullptr;
};

// Holds back the short copies of the reports made while it lives, so that a
// section that computes first and prints afterwards can put them in the
// result file where its text had them. Does nothing while no echo is set.
class EchoCapture {
public:
    EchoCapture();
    // Puts the echo back; text not taken goes to it then.
    ~EchoCapture();
    EchoCapture(const EchoCapture&) = delete;
    EchoCapture& operator=(const EchoCapture&) = delete;

    // What was held back since the last call.
    std::string take();

private:
    std::ostream* saved_;
    std::ostringstream held_;
};

// The one message object and the log stream. Both are valid from the start
// of static initialisation of any translation unit that includes this header
// until the end of its static destruction (see ErrorsInit below). While no
// log is open _AOS_ points at a stream that discards what it is given.
extern Errors& E;
extern std::ostream* _AOS_;

// A warning a caller must not miss although the run goes on: the line
// "WARNING: " + text in the log, and "quintle: " + text on standard error.
void warn_log_and_console(std::string const& text);

namespace detail {
// One instance per translation unit: the first to be constructed builds E and
// the discarding stream, the last to be destroyed tears E down, so the
// order in which translation units are initialised does not matter.
struct ErrorsInit {
    ErrorsInit();
    ~ErrorsInit();
    ErrorsInit(const ErrorsInit&) = delete;
    ErrorsInit& operator=(const ErrorsInit&) = delete;
};
static ErrorsInit errors_init_instance;
}  // namespace detail

}  // namespace quintle
