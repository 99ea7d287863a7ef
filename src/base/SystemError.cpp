// Message texts for the error codes the settings store and the profile files report, worded as the
// system messages of the platform the codes come from.
#include <string>

#include "base/Registry.h"

namespace wavory {

std::string SystemErrorText(int code) {
    switch (code) {
        case REG_OK:
            return "The operation completed successfully.";
        case REG_ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.";
        case 3:
            return "The system cannot find the path specified.";
        case REG_ERROR_ACCESS_DENIED:
            return "Access is denied.";
        case REG_ERROR_INVALID_DATA:
            return "The data is invalid.";
        case REG_ERROR_WRITE_PROTECT:
            return "The media is write protected.";
        case REG_ERROR_WRITE_FAULT:
            return "The system cannot write to the specified device.";
        case REG_ERROR_FILE_EXISTS:
            return "The file exists.";
        case REG_ERROR_DISK_FULL:
            return "There is not enough space on the disk.";
        case REG_ERROR_FILE_TOO_LARGE:
            return "The file size exceeds the limit allowed and cannot be saved.";
        case REG_ERROR_NOT_A_FILE:
            return "The name is not a regular file.";
        case REG_ERROR_BUSY:
            return "The requested resource is in use.";
        case REG_ERROR_NO_MORE_ITEMS:
            return "No more data is available.";
        case REG_ERROR_BADDB:
            return "The configuration registry database is corrupt.";
        case 1010:
            return "The configuration registry key is invalid.";
        case 1011:
            return "The configuration registry key could not be opened.";
        case 1012:
            return "The configuration registry key could not be read.";
        case 1013:
            return "The configuration registry key could not be written.";
        default:
            return "Unknown error (code " + std::to_string(code) + ").";
    }
}

}  // namespace wavory
