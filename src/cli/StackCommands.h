// profiles import --from and export --to another Wi-Fi stack, and the image files of a shared
// network's QR code.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliSupport.h"

namespace wavory::cli {

// The stacks by the names the options take.
inline const std::vector<std::string> kStackNames{"wpa-supplicant", "networkmanager", "iwd"};

// Imports the networks of a file, a folder or standard input ("-"); without a path, the stack's
// own place. `as` names the file standard input stands for (iwd's file name carries the SSID).
SOutput RunStackImport(const std::string& from, const std::string& path, const std::string& as);
// Writes the named profiles (all without names) for the stack: one wpa_supplicant file (the first
// of args, or wpa_supplicant.conf in dir), or one file a profile in dir. Files are mode 0600.
// `install` (NetworkManager only) hands them to the running NetworkManager as saved connections.
SOutput RunStackExport(const std::string& to, const std::string& dir, const std::vector<std::string>& args,
                       bool force, bool install = false);

// Writes a file only its owner reads (0600): secrets are in it. An existing file is replaced only
// when forced; a failure ends the command with the reason.
void WriteOwnerFile(const std::filesystem::path& path, const std::string& text, bool force);

// The QR code of a URI as an SVG document, and as PNG bytes; `scale` pixels a module.
std::string QrSvg(const std::string& uri);
std::string QrPng(const std::string& uri, int scale);
// The QR code of a URI for a terminal, in Unicode half blocks.
std::string QrText(const std::string& uri);
// The text of the QR code in a PNG image file ("-": standard input). An unreadable image, or one
// without a QR code, ends the command with the reason.
std::string ReadQrImage(const std::string& path);

}  // namespace wavory::cli
