#include "platform/IniSettings.h"

#include <dlfcn.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/RegTree.h"
#include "base/RegistrySchema.h"
#include "base/Trace.h"
#include "platform/ini/IniModule.h"

#ifndef WAVORY_INI_MODULE_INSTALLED
#define WAVORY_INI_MODULE_INSTALLED ""
#endif

namespace wavory {

namespace {

constexpr const char* kModuleName = "libwavory_ini.so";

std::string ExePath() {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    return n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
}

bool LstatOf(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }

WavoryIniReadFn LoadReader(std::string& error) {
    static WavoryIniReadFn reader = nullptr;
    if (reader) return reader;
    std::string why;
    const bool secure = ini_module::SecureExecution();
    for (const std::string& path : ini_module::Candidates(secure, ExePath(), WAVORY_INI_MODULE_INSTALLED)) {
        if (::access(path.c_str(), R_OK) != 0) continue;
        if (secure) {
            // The file as it really is, every link resolved; then each part of it checked.
            char* real = ::realpath(path.c_str(), nullptr);
            const std::string resolved = real ? real : path;
            std::free(real);
            const std::string refusal = ini_module::RaisedRightsRefusal(resolved, LstatOf);
            if (!refusal.empty()) {
                why = std::string("this program runs with raised rights (a capability, set-user-ID or "
                                  "set-group-ID), so it loads ") +
                      kModuleName + " only from where it is installed, owned by root and writable by nobody "
                      "else: " + refusal;
                continue;
            }
        }
        // Kept loaded: it is small, and a program reads at most one such file.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* e = ::dlerror();
            why = e ? e : path;
            continue;
        }
        reader = reinterpret_cast<WavoryIniReadFn>(::dlsym(module, "wavory_ini_read"));
        if (reader) return reader;
        why = path + " holds no reader";
    }
    if (why.empty() && secure)
        why = std::string("this program runs with raised rights (a capability, set-user-ID or "
                          "set-group-ID), so it loads ") +
              kModuleName + " only from " + WAVORY_INI_MODULE_INSTALLED + ", and it is not there";
    error =
        why.empty() ? std::string("the reader of such files (") + kModuleName + ") is not installed" : why;
    return nullptr;
}

// The registry kind of a stored value: the schema's, or for a name it does not know a guess from the
// text (the file keeps no kinds). A number value that is no number reads as its default, so it is
// left out.
std::optional<SRegValue> TypedValue(const std::string& name, const std::string& text) {
    const auto dword = ParseDwordText(text);
    bool isDword = false;
    if (const SRegSchemaEntry* entry = FindSchemaEntry(name)) {
        isDword = entry->type == ERegType::Dword;
    } else {
        isDword =
            dword && (text == std::to_string(*dword) || text == std::to_string(static_cast<int>(*dword)));
    }
    if (!isDword) return SRegValue::Sz(text);
    if (!dword) return std::nullopt;
    return SRegValue::Dword(*dword);
}

// Builds the tree as the module reports it. Names that differ only in ASCII case, which the
// registry takes for one, are merged: the later one wins, and the trace says so.
struct STreeBuilder {
    std::vector<SRegKey*> keys;
    std::vector<std::string> where{"the application key"};

    static void Begin(void* ctx, const char* name) {
        auto* self = static_cast<STreeBuilder*>(ctx);
        SRegKey& key = *self->keys.back();
        if (key.FindSubKey(name))
            Trace(
                "\nSettings move: group \"%s\" of %s given twice in different case; merged, the later values "
                "kept",
                name, self->where.back().c_str());
        self->keys.push_back(&key.SubKey(name));
        self->where.push_back(std::string("\"") + name + "\"");
    }
    static void End(void* ctx) {
        auto* self = static_cast<STreeBuilder*>(ctx);
        if (self->keys.size() > 1) {
            self->keys.pop_back();
            self->where.pop_back();
        }
    }
    static void Value(void* ctx, const char* name, const char* text) {
        auto* self = static_cast<STreeBuilder*>(ctx);
        SRegKey& key = *self->keys.back();
        auto value = TypedValue(name, text);
        if (!value) return;
        if (key.FindValue(name))
            Trace("\nSettings move: value \"%s\" of %s given twice in different case; the later one is kept",
                  name, self->where.back().c_str());
        key.SetValue(name, std::move(*value));
    }
};

}  // namespace

namespace ini_module {

bool SecureExecution() { return ::getauxval(AT_SECURE) != 0; }

std::vector<std::string> Candidates(bool secureExecution, const std::string& exePath,
                                    const std::string& installed) {
    std::vector<std::string> paths;
    // The build's own folder is the user's: a program with raised rights never looks there.
    if (!secureExecution && !exePath.empty() && exePath.find('/') != std::string::npos)
        paths.push_back(exePath.substr(0, exePath.find_last_of('/') + 1) + "../lib/wavory/" + kModuleName);
    if (!installed.empty() && installed[0] == '/') paths.push_back(installed);
    return paths;
}

std::string RaisedRightsRefusal(const std::string& path, const StatFn& statOf) {
    if (path.empty() || path[0] != '/') return path + " is not an absolute path";
    // The file, then each folder above it up to the root.
    std::string part = path;
    for (;;) {
        struct stat st {};
        if (!statOf(part, st)) return part + " cannot be examined";
        if (S_ISLNK(st.st_mode)) return part + " is a symbolic link";
        if (st.st_uid != 0) return part + " is not owned by root";
        if (st.st_mode & (S_IWGRP | S_IWOTH)) return part + " may be written by users other than root";
        if (part == "/") return {};
        const size_t slash = part.find_last_of('/');
        part = slash == 0 ? "/" : part.substr(0, slash);
    }
}

}  // namespace ini_module

bool ReadIniSettings(const std::string& file, SRegKey& tree, std::string& error) {
    const WavoryIniReadFn read = LoadReader(error);
    if (!read) return false;
    SRegKey result;
    STreeBuilder builder;
    builder.keys.push_back(&result);
    const WavoryIniSink sink{&builder, &STreeBuilder::Begin, &STreeBuilder::End, &STreeBuilder::Value};
    char why[512] = {};
    if (!read(file.c_str(), &sink, why, sizeof why)) {
        error = why;
        return false;
    }
    tree = std::move(result);
    return true;
}

}  // namespace wavory
