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

// A text holding a NUL byte, which no quoted text can carry, as regedit writes a string in its hex
// form: the UTF-16LE units and the terminator, "hex(1):4e,00,…", lines continued with a backslash
// before they pass 80 columns. Bytes that are no UTF-8 travel as Utf8ToUtf16Le escapes them.
void AppendHexText(std::string& out, size_t lineStart, std::string_view text) {
    const std::string units = Utf8ToUtf16Le(text) + std::string(2, '\0');
    out += "hex(1):";
    static const char* hex = "0123456789abcdef";
    for (size_t i = 0; i < units.size(); ++i) {
        const auto b = static_cast<unsigned char>(units[i]);
        out += hex[b >> 4];
        out += hex[b & 0xF];
        if (i + 1 == units.size()) break;
        out += ',';
        if (out.size() - lineStart > 76) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
        }
    }
}

void AppendKey(std::string& out, const SRegKey& key, const std::string& path) {
    out += "\r\n[";
    out += path;
    out += "]\r\n";
    for (const SRegNamedValue& v : key.values) {
        const size_t lineStart = out.size();
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
        } else if (v.value.text.find('\0') != std::string::npos) {
            AppendHexText(out, lineStart, v.value.text);
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
