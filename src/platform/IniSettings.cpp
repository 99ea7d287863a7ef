#include "platform/IniSettings.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
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

// The module beside the running program's build (bin/../lib/wavory), else where the package puts it.
std::vector<std::string> ModulePaths() {
    std::vector<std::string> paths;
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir.erase(dir.find_last_of('/') + 1);
        paths.push_back(dir + "../lib/wavory/" + kModuleName);
    }
    if (*WAVORY_INI_MODULE_INSTALLED) paths.emplace_back(WAVORY_INI_MODULE_INSTALLED);
    return paths;
}

WavoryIniReadFn LoadReader(std::string& error) {
    static WavoryIniReadFn reader = nullptr;
    if (reader) return reader;
    std::string why;
    for (const std::string& path : ModulePaths()) {
        if (::access(path.c_str(), R_OK) != 0) continue;
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
