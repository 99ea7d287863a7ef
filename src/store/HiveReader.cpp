#include "store/HiveReader.h"

#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace wavory {

namespace {

// Bounds for damaged hives whose cells point back up the tree; and no more keys than a profile
// file may hold.
constexpr int kMaxDepth = 512;

struct SHiveCloser {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using HivePtr = std::unique_ptr<hive_h, SHiveCloser>;

struct SFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, SFreeDeleter>;

class CHiveWalker {
public:
    explicit CHiveWalker(hive_h* h) : m_pHive(h) {}

    bool ReadKey(hive_node_h node, SRegKey& key, int depth) {
        if (m_Visited.size() >= kMaxRegKeys) {
            m_bTooLarge = true;
            return false;
        }
        if (depth > kMaxDepth || !m_Visited.insert(node).second) return false;
        return ReadValues(node, key) && ReadSubKeys(node, key, depth);
    }

private:
    // Adds a value; a name seen before (a damaged hive) replaces it. The index keeps a key of many
    // values linear.
    static void PutValue(SRegKey& key, std::unordered_map<std::string, size_t>& index, const char* name,
                         SRegValue value) {
        auto [it, added] = index.emplace(Lower(name), key.values.size());
        if (added) {
            key.values.push_back({name, std::move(value)});
        } else {
            key.values[it->second].value = std::move(value);
        }
    }

    static std::string Lower(std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    }

    bool ReadValues(hive_node_h node, SRegKey& key) {
        MallocPtr<hive_value_h> values(hivex_node_values(m_pHive, node));
        if (!values) return false;
        std::unordered_map<std::string, size_t> index;
        for (hive_value_h* v = values.get(); *v != 0; ++v) {
            MallocPtr<char> name(hivex_value_key(m_pHive, *v));
            hive_type type{};
            size_t len = 0;
            if (!name || hivex_value_type(m_pHive, *v, &type, &len) != 0) return false;
            if (name.get()[0] == '\0') continue;  // the default value
            switch (type) {
                case hive_t_REG_SZ:
                case hive_t_REG_EXPAND_SZ: {
                    MallocPtr<char> text(hivex_value_string(m_pHive, *v));
                    if (!text) return false;
                    PutValue(key, index, name.get(), SRegValue::Sz(text.get()));
                    break;
                }
                case hive_t_REG_DWORD:
                case hive_t_REG_DWORD_BIG_ENDIAN: {
                    errno = 0;
                    const int32_t dword = hivex_value_dword(m_pHive, *v);
                    if (dword == -1 && errno != 0) return false;
                    PutValue(key, index, name.get(), SRegValue::Dword(static_cast<uint32_t>(dword)));
                    break;
                }
                default:
                    break;
            }
        }
        return true;
    }

    bool ReadSubKeys(hive_node_h node, SRegKey& key, int depth) {
        MallocPtr<hive_node_h> children(hivex_node_children(m_pHive, node));
        if (!children) return false;
        std::unordered_map<std::string, size_t> index;
        for (hive_node_h* c = children.get(); *c != 0; ++c) {
            MallocPtr<char> name(hivex_node_name(m_pHive, *c));
            if (!name || name.get()[0] == '\0') return false;
            auto [it, added] = index.emplace(Lower(name.get()), key.subkeys.size());
            if (added) key.subkeys.push_back(SRegKey{name.get(), {}, {}});
            if (!ReadKey(*c, key.subkeys[it->second], depth + 1)) return false;
        }
        return true;
    }

public:
    bool TooLarge() const { return m_bTooLarge; }

private:
    hive_h* m_pHive;
    std::set<hive_node_h> m_Visited;
    bool m_bTooLarge = false;
};

}  // namespace

int ReadHive(const std::string& file, SRegKey& top) {
    HivePtr hive(hivex_open(file.c_str(), 0));
    if (!hive) return REG_ERROR_INVALID_DATA;
    const hive_node_h root = hivex_root(hive.get());
    MallocPtr<char> rootName(root != 0 ? hivex_node_name(hive.get(), root) : nullptr);
    if (!rootName) return REG_ERROR_INVALID_DATA;

    SRegKey result{rootName.get(), {}, {}};
    CHiveWalker walker(hive.get());
    if (!walker.ReadKey(root, result, 0))
        return walker.TooLarge() ? REG_ERROR_FILE_TOO_LARGE : REG_ERROR_INVALID_DATA;
    top = std::move(result);
    return REG_OK;
}

}  // namespace wavory
