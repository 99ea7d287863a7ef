// Helpers shared by the settings store and profile file tests.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "TestMain.h"

namespace wavory::test {

// A folder of its own for one test, removed afterwards.
class CScratchDir {
public:
    CScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_Root =
            std::filesystem::path(TempHome()) / (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(m_Root);
        std::filesystem::create_directories(m_Root);
    }
    ~CScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_Root, ec);
    }
    std::string Path(std::string_view name) const { return (m_Root / name).string(); }
    // The names in the folder, to see that nothing was left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_Root))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path m_Root;
};

inline std::string ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline unsigned Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0u;
}

// Files of this process may not grow beyond `bytes` while it lives, as on a full disk (a limit
// binds root as well, unlike permission bits).
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes) {
        m_OldHandler = ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_Old);
        rlimit limit = m_Old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_Old);
        ::signal(SIGXFSZ, m_OldHandler);
    }

private:
    rlimit m_Old{};
    sighandler_t m_OldHandler;
};

// Counts changes to a file of a folder: writes to it and files renamed into its place.
class CFileWrites {
public:
    CFileWrites(const std::string& dir, std::string name) : m_strName(std::move(name)) {
        m_nFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(m_nFd, dir.c_str(), IN_MODIFY | IN_MOVED_TO);
    }
    ~CFileWrites() { ::close(m_nFd); }
    int Count() {
        alignas(inotify_event) char buf[8192];
        ssize_t n;
        while ((n = ::read(m_nFd, buf, sizeof buf)) > 0) {
            for (char* p = buf; p < buf + n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(p);
                if (ev->len > 0 && m_strName == ev->name) ++m_nCount;
                p += sizeof(inotify_event) + ev->len;
            }
        }
        return m_nCount;
    }

private:
    int m_nFd;
    std::string m_strName;
    int m_nCount = 0;
};

// UTF-16LE bytes as UTF-16 code units, for looking at exported files without the code under test.
inline std::u16string AsUtf16(std::string_view bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
}

}  // namespace wavory::test
