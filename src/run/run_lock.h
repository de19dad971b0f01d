#pragma once

// One project, one run at a time: a run holds an exclusive lock on a file of
// its project's result folder from before it touches the folder (log,
// working copy, result file) to its end, so that a second run of the same
// project waits instead of deleting the first run's working copy. Runs of
// other projects use other folders and never wait for each other.

#include <string>

namespace quintle {

// The lock file's name inside the result folder. The cleaner refuses to make
// a working copy of that name.
inline constexpr char run_lock_name[] = ".quintle_run.lock";

// The result folder of a project: its path without the file name's
// extension (only a dot of the file name itself starts one), then ".res/".
// The run's log and lock, the working copy and a translation's copy all go
// there.
std::string result_folder_of(std::string const& projectPath);

class ResultFolderLock {
public:
    // Locks `folder` (ending with its separator), waiting while another
    // process holds it.
    explicit ResultFolderLock(std::string const& folder);
    ~ResultFolderLock();
    ResultFolderLock(ResultFolderLock const&) = delete;
    ResultFolderLock& operator=(ResultFolderLock const&) = delete;

    // Empty when the run may use the folder; otherwise why it may not (the
    // folder is missing or the lock file cannot be created). A file system
    // without locks lets the run go on unlocked.
    std::string const& problem() const { return problem_; }

private:
    int fd_ = -1;
    std::string problem_;
};

}  // namespace quintle
