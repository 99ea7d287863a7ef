#include "store/StoreFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wavory {

namespace {

std::string OtherOwner(const std::string& what, const std::string& path, uid_t uid) {
    return "the settings " + what + " " + path + " belongs to another user (uid " + std::to_string(uid) +
           "), not to you (uid " + std::to_string(::geteuid()) +
           "); refusing to use it. Remove it, or make it yours and private (chown, chmod go-rwx).";
}

bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (folder.empty() || ::stat(folder.c_str(), &st) == 0) return true;
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) return false;
    if (::mkdir(folder.c_str(), 0700) != 0) return errno == EEXIST;
    // mkdir applied the umask, which may have taken the owner's own rights too.
    return ::chmod(folder.c_str(), 0700) == 0;
}

// Takes the group's and others' rights away; the owner's stay as they are.
bool Narrow(const std::string& path, mode_t mode) {
    if ((mode & 077) == 0) return true;
    return ::chmod(path.c_str(), mode & 07700) == 0 || errno == EROFS;
}

}  // namespace

bool PreparePrivateFolder(const std::string& folder, std::string& error) {
    struct stat st {};
    const bool existed = ::stat(folder.c_str(), &st) == 0;
    if (!existed && !MakeFolders(folder)) {
        error = "cannot create the settings folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (::stat(folder.c_str(), &st) != 0) {
        error = "cannot use the settings folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "the settings folder " + folder + " is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = OtherOwner("folder", folder, st.st_uid);
        return false;
    }
    if (!Narrow(folder, st.st_mode)) {
        error = "cannot make the settings folder " + folder + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

// The files are only ever opened here to be created: closing a descriptor drops every lock the
// process holds on the file, so opening one that SQLite has open in this process (another store
// object, or the write-ahead files of this one) would take its locks away from under it.
bool PreparePrivateFile(const std::string& file, bool create, std::string& error) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = "cannot use the settings file " + file + ": " + std::strerror(errno);
            return false;
        }
        if (!create) return true;
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Nobody else can have it open yet. The umask may have taken the owner's own rights.
            const bool ok = ::fchmod(fd, 0600) == 0;
            ::close(fd);
            if (!ok) {
                error = "cannot make the settings file " + file + " private: " + std::strerror(errno);
                return false;
            }
            return true;
        }
        if (errno != EEXIST) {
            error = "cannot create the settings file " + file + ": " + std::strerror(errno);
            return false;
        }
        if (::lstat(file.c_str(), &st) != 0) {  // another program made it just now
            error = "cannot use the settings file " + file + ": " + std::strerror(errno);
            return false;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        error = "the settings file " + file + " is a symbolic link; refusing to use it";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "the settings file " + file + " is not a regular file";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = OtherOwner("file", file, st.st_uid);
        return false;
    }
    if (!Narrow(file, st.st_mode)) {
        error = "cannot make the settings file " + file + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace wavory
