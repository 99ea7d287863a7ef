#include "store/RegTextWriter.h"

#include <cstdio>

#include "store/RegTextCodec.h"

namespace wavory {

namespace {

// Backslash and quote as regedit escapes them; line breaks as "\n" and "\r" so that a text holding
// one still reads back as one line.
void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    out += '"';
}

void AppendKey(std::string& out, const SRegKey& key, const std::string& path) {
    out += "\r\n[";
    out += path;
    out += "]\r\n";
    for (const SRegNamedValue& v : key.values) {
        if (v.name.empty()) {
            out += '@';
        } else {
            AppendQuoted(out, v.name);
        }
        out += '=';
        if (v.value.type == ERegType::Dword) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", v.value.dword);
            out += buf;
        } else {
            AppendQuoted(out, v.value.text);
        }
        out += "\r\n";
    }
    for (const SRegKey& sub : key.subkeys) AppendKey(out, sub, path + '\\' + sub.name);
}

}  // namespace

std::string FormatRegText(const SRegKey& top, std::string_view topPath) {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    AppendKey(text, top, std::string(topPath));
    text += "\r\n";  // regedit ends its files with an empty line
    return "\xFF\xFE" + Utf8ToUtf16Le(text);
}

}  // namespace wavory
