#include "store/RegFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/RegistrySchema.h"
#include "store/HiveReader.h"
#include "store/RegTextReader.h"
#include "store/RegTextWriter.h"

namespace wavory {

namespace {

class CFd {
public:
    explicit CFd(int fd) : m_nFd(fd) {}
    ~CFd() {
        if (m_nFd >= 0) ::close(m_nFd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_nFd; }
    // Closes now and reports the result, which for a written file is the last chance to see an error.
    bool Close() {
        const int fd = m_nFd;
        m_nFd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_nFd;
};

int ErrnoToRegError(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return REG_ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return REG_ERROR_ACCESS_DENIED;
        case EEXIST:
            return REG_ERROR_FILE_EXISTS;
        default:  // ENOSPC, EDQUOT, EFBIG, EIO …
            return REG_ERROR_WRITE_FAULT;
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

int ReadRegFile(const std::string& file, SRegKey& top) {
    // Opened without waiting: a FIFO would otherwise block until someone writes to it. Only a regular
    // file is read; a FIFO, device or folder is refused at once.
    CFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ELOOP ? REG_ERROR_NOT_A_FILE : ErrnoToRegError(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return ErrnoToRegError(errno);
    if (!S_ISREG(st.st_mode)) return REG_ERROR_NOT_A_FILE;
    if (static_cast<uint64_t>(st.st_size) > kMaxRegFileSize) return REG_ERROR_FILE_TOO_LARGE;
    ::fcntl(fd.Get(), F_SETFL, 0);

    // Read to one byte past the limit: a file may grow, and a device reports no size at all.
    std::string bytes;
    bytes.reserve(static_cast<size_t>(st.st_size) + 1);
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return REG_ERROR_ACCESS_DENIED;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
        if (bytes.size() > kMaxRegFileSize) return REG_ERROR_FILE_TOO_LARGE;
    }
    if (bytes.empty()) return REG_ERROR_INVALID_DATA;

    if (bytes.starts_with("regf")) {
        // The hive library opens by name; through the open descriptor it reads the file checked above.
        const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
        return ReadHive(::access(self.c_str(), R_OK) == 0 ? self : file, top);
    }
    return ParseRegText(bytes, top);
}

int ConformToSchema(SRegKey& tree) {
    for (SRegNamedValue& v : tree.values) {
        const SRegSchemaEntry* entry = FindSchemaEntryNoCase(v.name);
        if (!entry) continue;
        v.name = entry->name;
        if (entry->type == v.value.type) continue;
        if (entry->type == ERegType::Sz) {
            v.value = SRegValue::Sz(std::to_string(v.value.dword));
        } else {
            const auto dword = ParseDwordText(v.value.text);
            if (!dword) return REG_ERROR_INVALID_DATA;
            v.value = SRegValue::Dword(*dword);
        }
    }
    for (SRegKey& sub : tree.subkeys) {
        if (const int rc = ConformToSchema(sub); rc != REG_OK) return rc;
    }
    return REG_OK;
}

int WriteRegFile(const std::string& file, const SRegKey& top, std::string_view topPath, bool overwrite) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        if (!overwrite) return REG_ERROR_FILE_EXISTS;
        if (!S_ISREG(st.st_mode)) return REG_ERROR_ACCESS_DENIED;  // never rename over a device or folder
    }
    const std::string bytes = FormatRegText(top, topPath);

    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    CFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0) return ErrnoToRegError(errno);

    auto fail = [&](int err) {
        ::unlink(temp.c_str());
        return ErrnoToRegError(err);
    };
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0) {
        const int err = errno;
        fd.Close();
        return fail(err);
    }
    if (!fd.Close()) return fail(errno);

    if (overwrite) {
        if (::rename(temp.c_str(), file.c_str()) != 0) return fail(errno);
    } else if (::link(temp.c_str(), file.c_str()) == 0) {
        ::unlink(temp.c_str());  // linking refuses an existing target, unlike renaming
    } else if (errno == EEXIST) {
        return fail(EEXIST);
    } else if (::access(file.c_str(), F_OK) == 0) {
        return fail(EEXIST);  // a file system without hard links: check, then rename
    } else if (::rename(temp.c_str(), file.c_str()) != 0) {
        return fail(errno);
    }

    CFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) ::fsync(dirFd.Get());
    return REG_OK;
}

}  // namespace wavory
