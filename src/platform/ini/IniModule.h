// The reader of the first INI settings file is a module of its own, loaded only when such a file
// is found: it needs Qt's QSettings to read the file exactly as it was written, and the command-line
// tool, which otherwise uses no Qt, need not load Qt for every command.
#pragma once

#include <cstddef>

extern "C" {

// What the module reports, in QSettings' order: a group's values, then each of its groups.
struct WavoryIniSink {
    void* ctx;
    void (*begin_group)(void* ctx, const char* name);  // a group inside the current one begins
    void (*end_group)(void* ctx);                      // the current group ends
    void (*value)(void* ctx, const char* name, const char* text);
};

// Reads `file` whole; 1 when it was read, else 0 with the reason in `error` (NUL-terminated, cut
// to `size`).
int wavory_ini_read(const char* file, const WavoryIniSink* sink, char* error, std::size_t size);
using WavoryIniReadFn = int (*)(const char*, const WavoryIniSink*, char*, std::size_t);

}  // extern "C"
