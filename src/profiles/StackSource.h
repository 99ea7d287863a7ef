// Where another stack's networks are read from: a file, a folder of the stack's files, or a text
// given whole. Everything is read and checked before anything is stored; nothing is changed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profiles/StackFiles.h"

namespace wavory {

struct SStackSourceRead {
    std::vector<SStackNetwork> networks;
    std::string error;     // why nothing was read (the caller names the source)
    bool refused = false;  // the file was read and refused as a whole
};

// The networks of a stack's file or folder (wpa_supplicant: a file only). `hint` is added to a
// "permission denied", saying how the front end reads a file only root may read.
SStackSourceRead ReadStackSource(EStack stack, const std::string& path, const std::string& hint);

// The networks of a text given whole; `name` is the file name it stands for (for iwd it carries the
// SSID; several NetworkManager keyfiles one after the other are read one by one).
SStackSourceRead ReadStackText(EStack stack, std::string_view text, const std::string& name);

// A whole file, up to the size any stack's file can have; false with the reason.
bool ReadStackFile(const std::string& path, std::string& text, std::string& why, const std::string& hint);

}  // namespace wavory
