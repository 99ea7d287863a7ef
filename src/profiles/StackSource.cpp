#include "profiles/StackSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "profiles/ProfileMngr.h"

namespace wavory {

namespace fs = std::filesystem;

namespace {

// The most files of a folder read: as many as the utility holds profiles.
constexpr std::size_t kMaxFolderFiles = CProfileMngr::kMaxImportProfiles;

bool IsStackFile(const fs::path& p, EStack stack) {
    const std::string ext = p.extension().string();
    if (stack == EStack::NetworkManager) return ext == ".nmconnection";
    return ext == ".psk" || ext == ".open" || ext == ".8021x";
}

}  // namespace

bool ReadStackFile(const std::string& path, std::string& text, std::string& why, const std::string& hint) {
    const std::size_t limit = kMaxStackFileBytes;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return why = "it does not exist", false;
    if (!fs::is_regular_file(st)) return why = "it is not a regular file", false;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = errno == EACCES ? "permission denied" + hint : std::string(std::strerror(errno));
        return false;
    }
    text.resize(limit + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > limit)
        return why = "it is larger than " + std::to_string(limit) + " bytes, more than any network file", false;
    return true;
}

SStackSourceRead ReadStackText(EStack stack, std::string_view text, const std::string& name) {
    SStackSourceRead out;
    if (stack == EStack::WpaSupplicant) {
        SStackRead read = ReadWpaSupplicantConf(text);
        out.error = read.refusal;
        out.refused = !read.refusal.empty();
        out.networks = std::move(read.networks);
        return out;
    }
    if (stack == EStack::Iwd) {
        out.networks.push_back(ReadIwdFile(text, name));
        return out;
    }
    // Several keyfiles may come one after the other (sudo cat DIR/*.nmconnection).
    const std::vector<std::string_view> files = SplitNmKeyfiles(text);
    if (files.size() == 1) {
        out.networks.push_back(ReadNmKeyfile(text, name));
        return out;
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        out.networks.push_back(ReadNmKeyfile(files[i], name + ", connection " + std::to_string(i + 1)));
    return out;
}

SStackSourceRead ReadStackSource(EStack stack, const std::string& path, const std::string& hint) {
    SStackSourceRead out;
    std::string text, why;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        if (!ReadStackFile(path, text, why, hint)) return out.error = why, out;
        return ReadStackText(stack, text, fs::path(path).filename().string());
    }
    if (stack == EStack::WpaSupplicant)
        return out.error = "it is a folder; name the wpa_supplicant.conf file", out;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsStackFile(it->path(), stack)) files.push_back(it->path());
        if (files.size() > kMaxFolderFiles)
            return out.error = "it holds more than " + std::to_string(kMaxFolderFiles) + " network files", out;
    }
    if (ec) return out.error = ec.message() + (ec == std::errc::permission_denied ? hint : ""), out;
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        if (!ReadStackFile(file.string(), text, why, hint)) {
            SStackNetwork bad;
            bad.where = name;
            bad.refusal = "the file cannot be read: " + why;
            out.networks.push_back(std::move(bad));
            continue;
        }
        const SStackSourceRead one = ReadStackText(stack, text, name);
        out.networks.insert(out.networks.end(), one.networks.begin(), one.networks.end());
    }
    if (out.networks.empty()) out.error = "the folder holds no network file";
    return out;
}

}  // namespace wavory
