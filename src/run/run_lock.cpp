#include "run/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quintle {

namespace {

int open_retrying(char const* path, int flags) {
    int fd = -1;
    do {
        fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

std::string result_folder_of(std::string const& projectPath) {
    std::string folder = projectPath;
    std::size_t const separator = folder.find_last_of("/\\");
    std::size_t const dot = folder.find_last_of('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) folder.resize(dot);
    return folder + ".res/";
}

ResultFolderLock::ResultFolderLock(std::string const& folder) {
    // The folder named without its trailing separator, so that a file of
    // that name is seen as a file.
    std::string dir = folder;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    if (dir.empty()) dir.push_back('.');
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        // Made here when missing (a run made it before, and is told why it
        // could not); another process may make it at the same moment.
        if ((::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) || ::stat(dir.c_str(), &info) != 0) {
            problem_ = "cannot create the result folder " + dir + ": " + std::strerror(errno);
            return;
        }
    }
    if (!S_ISDIR(info.st_mode)) {
        problem_ = "cannot create the result folder: " + dir + " exists and is not a folder";
        return;
    }
    std::string const path = folder + run_lock_name;
    fd_ = open_retrying(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC);
    // A lock file made by another user may only be readable: that is enough
    // to take the lock.
    if (fd_ < 0 && errno == EACCES) {
        fd_ = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC);
        // No such file to read: the folder itself may not be written, which
        // is the reason to name.
        if (fd_ < 0 && errno == ENOENT) errno = EACCES;
    }
    if (fd_ < 0) {
        problem_ = "cannot create " + path + ": " + std::strerror(errno);
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

ResultFolderLock::~ResultFolderLock() {
    // Closing the file releases the lock. The file itself stays: removing it
    // would let a waiting run and a new one lock two different files.
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace quintle
