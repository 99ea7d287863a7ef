// Runs the wavoryctl program as a user would, against this test process's simulated adapter and
// temporary settings folder (both inherited through the environment).
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace wavory::test {

struct SRun {
    int code = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// A program started by a test that has not been waited for yet.
struct SChild {
    pid_t pid = -1;
    std::string outFile;
    std::string errFile;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Starts a program (argv[0] is its path) with this process's environment plus `extraEnv`
    // ("NAME=value"); its output goes to files of the scratch folder, its input comes from `input`.
    SChild Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                 const std::string& input = "/dev/null");
    // Waits for it (killing it after `timeout`) and collects its exit status and output.
    SRun Finish(SChild& child, std::chrono::seconds timeout = std::chrono::seconds(60));
    // Runs wavoryctl with the arguments (standard input from the file `input`).
    SRun Run(const std::vector<std::string>& args, const std::string& input = "/dev/null");
    // Runs it with --json, expects success and returns the parsed output.
    nlohmann::json RunJson(std::vector<std::string> args);
    // Expects a failure with that exit code and one line on standard error holding `needle`, and the
    // settings file unchanged.
    void ExpectRefused(const std::vector<std::string>& args, int code, const std::string& needle);

    // The settings file's bytes ("" when it does not exist).
    std::string SettingsBytes() const;
    std::string SettingsFile() const;
    // A path in a scratch folder of this test.
    std::string ScratchPath(const std::string& name) const;

    // A profile made through the program; fails the test when it is refused.
    void NewProfile(const std::vector<std::string>& options);

    std::string m_strScratch;
    int m_nChildren = 0;
};

// True when the output is exactly one line.
bool IsOneLine(const std::string& text);

}  // namespace wavory::test
