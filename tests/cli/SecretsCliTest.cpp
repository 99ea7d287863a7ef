// Keys and passphrases that never appear on a command line: read from a file, from standard input,
// or typed at a terminal without echo.
#include <dirent.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <png.h>
// libjpeg's header needs the size types declared first.
#include <cstdio>
#include <jpeglib.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "CliFixture.h"
#include "kccl_sim.h"

extern char** environ;

namespace wavory::test {
namespace {

using nlohmann::json;

// Spaces, quotes and a backslash: a file hands them over as they are.
constexpr const char* kPassphrase = R"( canal "gates" at\dawn )";

std::string LockkeeperWith(const std::string& passphrase, int joinDelayMs) {
    json network = {{"ssid", "Lockkeeper"}, {"bssid", "00-1D-7E-11-22-33"}, {"channel", 6},
                    {"security", "wpa2"},   {"passphrase", passphrase},     {"join_delay_ms", joinDelayMs}};
    return network.dump();
}

json SimState() {
    std::string buf(1 << 16, '\0');
    kccl_sim_state_json(buf.data(), buf.size());
    return json::parse(buf.c_str());
}

// Every process's command line that holds the text.
std::vector<std::string> CommandLinesHolding(const std::string& text) {
    std::vector<std::string> found;
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
        const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (line.find(text) != std::string::npos) found.push_back(entry->d_name);
    }
    closedir(proc);
    return found;
}

// The last passphrase request as the adapter's log keeps it: the length byte, then what follows.
std::string PassphraseLogged() {
    KCCL_SIM_LOG_ENTRY log[64];
    const int n = kccl_sim_get_log(log, 64);
    for (int i = n - 1; i >= 0; --i)
        if (log[i].code == 0x450) return std::string(reinterpret_cast<const char*>(log[i].head), 64);
    return {};
}

class SecretsCliTest : public CliTest {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = ScratchPath(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(SecretsCliTest, PassphraseFromAFileReachesTheAdapterExactlyAndNoCommandLine) {
    ASSERT_EQ(kccl_sim_put_network(LockkeeperWith(kPassphrase, 60000).c_str()), 0);
    const std::string file = WriteFile("passphrase.txt", std::string(kPassphrase) + "\n");
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    SChild connect =
        Start({WAVORYCTL_PATH, "connect", "--ssid", "Lockkeeper", "--passphrase-file", file, "--json"});
    // While the program waits for the join, no process's command line holds the secret.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (SimState()["join"]["state"] != "joining" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(SimState()["join"]["state"], "joining");
    EXPECT_EQ(CommandLinesHolding("gates"), std::vector<std::string>{});
    // The adapter's log (wavory-sim log) tells the length, never a character of it.
    const std::string logged = PassphraseLogged();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(static_cast<unsigned char>(logged[0]), std::strlen(kPassphrase));
    EXPECT_EQ(logged.substr(1), std::string(63, '\0'));
    ASSERT_EQ(kccl_sim_advance(60000), 0);
    // The network takes its passphrase only: the join proves it arrived exactly.
    const SRun run = Finish(connect);
    ASSERT_EQ(run.code, 0) << run.err;
    const json saved =
        RunJson({"profiles", "show", json::parse(run.out)["profile"].get<std::string>(), "--show-keys"});
    EXPECT_EQ(saved["passphrase"], kPassphrase);
}

TEST_F(SecretsCliTest, SecretsFromStandardInputAndKeyFiles) {
    // One line end is dropped, also a CR LF one; what stands before it stays.
    const std::string input = WriteFile("stdin.txt", std::string(kPassphrase) + "\r\n");
    const SRun created = Run({"profiles", "new", "--name", "Lock", "--ssid", "Lockkeeper", "--mode",
                              "infrastructure", "--security", "wpa2", "--passphrase-file", "-"},
                             input);
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_EQ(RunJson({"profiles", "show", "Lock", "--show-keys"})["passphrase"], kPassphrase);

    const std::string key = WriteFile("key.txt", "1A2B3C4D5E\n");
    const SRun edited = Run({"profiles", "edit", "Lock", "--security", "wep", "--key-file", key});
    ASSERT_EQ(edited.code, 0) << edited.err;
    const json shown = RunJson({"profiles", "show", "Lock", "--show-keys"});
    EXPECT_EQ(shown["keys"][0]["key"], "1A2B3C4D5E");
    EXPECT_EQ(shown["active_key"], 1);

    EXPECT_EQ(RunJson({"connect", "--ssid", "Harbour", "--key-file", key})["associated"], true);

    ExpectRefused({"connect", "--ssid", "Harbour", "--key-file", WriteFile("empty.txt", "\n")}, 2,
                  "is empty");
    ExpectRefused({"connect", "--ssid", "Harbour", "--key-file", ScratchPath("missing.txt")}, 2,
                  "cannot read");
    ExpectRefused({"connect", "--ssid", "Harbour", "--key-file", key, "--key", "1A2B3C4D5E"}, 2, "excludes");
}

TEST_F(SecretsCliTest, HelpSaysThatCommandLineSecretsAreVisible) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"connect", "--help"},
                                                 std::vector<std::string>{"profiles", "new", "--help"},
                                                 std::vector<std::string>{"profiles", "edit", "--help"}}) {
        const SRun run = Run(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.out.find("visible to other users in the process list"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("--passphrase-file"), std::string::npos);
        EXPECT_NE(run.out.find("--key-file"), std::string::npos);
    }
}

// Runs wavoryctl on a terminal of its own, types each answer once its prompt has appeared, and
// returns everything the terminal showed and the exit status.
std::pair<std::string, int> RunOnTerminal(const std::vector<std::string>& args,
                                          const std::vector<std::pair<std::string, std::string>>& answers) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<std::string> argv{WAVORYCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargs;
        for (auto& a : argv) cargs.push_back(a.data());
        cargs.push_back(nullptr);
        execve(cargs[0], cargs.data(), environ);
        _exit(127);
    }
    std::string shown;
    std::size_t next = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 100) > 0) {
            char buf[512];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;  // the program ended and the terminal closed
            shown.append(buf, static_cast<std::size_t>(n));
        }
        if (next < answers.size() && shown.find(answers[next].first) != std::string::npos) {
            const std::string line = answers[next].second + "\n";
            if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
            shown.clear();  // what comes after the answer is what matters
            ++next;
        }
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        // Still waiting for input after the deadline: a prompt went unanswered.
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    return {shown, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST_F(SecretsCliTest, TerminalPromptEchoesNothingAndAsksAgainAfterARefusal) {
    ASSERT_EQ(kccl_sim_put_network(LockkeeperWith("canal-gates-at-dawn", 0).c_str()), 0);
    const auto [shown, code] = RunOnTerminal({"connect", "--ssid", "Lockkeeper"},
                                             {{"Passphrase for \"Lockkeeper\": ", "canal-gates-at-dusk"},
                                              {"Passphrase for \"Lockkeeper\": ", "canal-gates-at-dawn"}});
    EXPECT_EQ(code, 0) << shown;
    EXPECT_EQ(shown.find("canal-gates"), std::string::npos) << "typed text was echoed: " << shown;
    EXPECT_NE(shown.find("Connected to \"Lockkeeper\""), std::string::npos) << shown;
    const json list = RunJson({"profiles", "list"})["profiles"];
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(RunJson({"profiles", "show", list[0]["name"].get<std::string>(), "--show-keys"})["passphrase"],
              "canal-gates-at-dawn");
}

// A Wi-Fi URI (as a QR code holds it) read from standard input joins as a typed join does, its
// escaped passphrase intact; a hostile one is refused with its reason before anything is touched.
TEST_F(SecretsCliTest, JoinFromAWifiUri) {
    ASSERT_EQ(kccl_sim_put_network(LockkeeperWith(kPassphrase, 0).c_str()), 0);
    const std::string uri = WriteFile("uri.txt", R"(WIFI:S:Lockkeeper;P: canal \"gates\" at\\dawn ;T:WPA;;)"
                                                 "\n");
    const SRun joined = Run({"connect", "--uri", "-"}, uri);
    ASSERT_EQ(joined.code, 0) << joined.err;
    EXPECT_EQ(RunJson({"profiles", "show", "Lockkeeper", "--show-keys"})["passphrase"], kPassphrase);

    for (const auto& [text, reason] : std::vector<std::pair<std::string, std::string>>{
             {"WIFI:T:WPA;S:Lockkeeper;P:short;;", "8 to 63"},
             {"WIFI:T:WPA;S:Lock\\qkeeper;P:password1;;", "bad escape"},
             {"WIFI:T:WPA;S:" + std::string(33, 'x') + ";P:password1;;", "32 bytes"},
             {"WIFI:T:WPA;S:Lockkeeper;P:password1;", "\";;\""}}) {
        const SRun refused = Run({"connect", "--uri", text});
        EXPECT_EQ(refused.code, 2) << text;
        EXPECT_NE(refused.err.find(reason), std::string::npos) << text << " -> " << refused.err;
    }
}

// A shared profile's URI joins its network again; it carries the secret only when asked for.
TEST_F(SecretsCliTest, ShareThenJoinFromTheUri) {
    ASSERT_EQ(kccl_sim_put_network(LockkeeperWith(kPassphrase, 0).c_str()), 0);
    const std::string input = WriteFile("stdin.txt", std::string(kPassphrase) + "\n");
    ASSERT_EQ(Run({"profiles", "new", "--name", "Lock", "--ssid", "Lockkeeper", "--mode", "infrastructure",
                   "--security", "wpa2", "--passphrase-file", "-"},
                  input)
                  .code,
              0);
    // The terminal's code names the network below it and keeps the passphrase out of the text.
    const SRun drawn = Run({"profiles", "share", "Lock"});
    ASSERT_EQ(drawn.code, 0) << drawn.err;
    EXPECT_NE(drawn.out.find("\u2580"), std::string::npos);
    EXPECT_NE(drawn.out.find("\nLockkeeper\n"), std::string::npos) << drawn.out;
    EXPECT_EQ(drawn.out.find("gates"), std::string::npos);

    const SRun hidden = Run({"profiles", "share", "Lock", "--uri"});
    EXPECT_EQ(hidden.code, 2);
    EXPECT_EQ(hidden.out.find("gates"), std::string::npos);
    EXPECT_NE(hidden.err.find("--show-keys"), std::string::npos) << hidden.err;

    const SRun shared = Run({"profiles", "share", "Lock", "--uri", "--show-keys"});
    ASSERT_EQ(shared.code, 0) << shared.err;
    ASSERT_EQ(Run({"profiles", "rm", "Lock"}).code, 0);
    const SRun joined = Run({"connect", "--uri", "-"}, WriteFile("uri.txt", shared.out));
    ASSERT_EQ(joined.code, 0) << shared.out << joined.err;
    EXPECT_EQ(RunJson({"profiles", "show", "Lockkeeper", "--show-keys"})["passphrase"], kPassphrase);
}

constexpr int kCodeSide = 240;

// A grey picture: white, with the text's QR code at 4 pixels a module when there is one.
std::vector<uint8_t> CodePixels(const std::string& text) {
    constexpr int kScale = 4, kMargin = 16;
    std::vector<uint8_t> pixels(kCodeSide * kCodeSide, 0xFF);
    if (!text.empty()) {
        const ZXing::BitMatrix m =
            ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(0).encode(text, 0, 0);
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x)
                if (m.get(x, y))
                    for (int d = 0; d < kScale * kScale; ++d)
                        pixels[static_cast<size_t>((kMargin + y * kScale + d / kScale) * kCodeSide + kMargin +
                                                   x * kScale + d % kScale)] = 0;
    }
    return pixels;
}

void WriteCodePng(const std::string& path, const std::string& text) {
    const std::vector<uint8_t> pixels = CodePixels(text);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = kCodeSide;
    image.format = PNG_FORMAT_GRAY;
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << image.message;
}

// The same picture as a camera would save it: a JPEG, its edges softened by the compression.
std::string CodeJpeg(const std::string& text, int quality) {
    std::vector<uint8_t> pixels = CodePixels(text);
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = info.image_height = kCodeSide;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = pixels.data() + static_cast<size_t>(info.next_scanline) * kCodeSide;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

// The PNG that share --png writes joins the network from a file and from standard input; a picture
// that is damaged, holds no code, or holds a code of something else is refused, saying which.
TEST_F(SecretsCliTest, JoinFromAQrCodeImage) {
    ASSERT_EQ(kccl_sim_put_network(LockkeeperWith(kPassphrase, 0).c_str()), 0);
    const std::string input = WriteFile("stdin.txt", std::string(kPassphrase) + "\n");
    ASSERT_EQ(Run({"profiles", "new", "--name", "Lock", "--ssid", "Lockkeeper", "--mode", "infrastructure",
                   "--security", "wpa2", "--passphrase-file", "-"},
                  input)
                  .code,
              0);
    const std::string png = ScratchPath("lock.png");
    ASSERT_EQ(Run({"profiles", "share", "Lock", "--png", png, "--show-keys"}).code, 0);
    ASSERT_EQ(Run({"profiles", "rm", "Lock"}).code, 0);
    const SRun joined = Run({"connect", "--qr", png});
    ASSERT_EQ(joined.code, 0) << joined.err;
    EXPECT_EQ(RunJson({"profiles", "show", "Lockkeeper", "--show-keys"})["passphrase"], kPassphrase);
    ASSERT_EQ(Run({"disconnect"}).code, 0);
    const SRun piped = Run({"connect", "--qr", "-"}, png);
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_TRUE(SimState()["associated"].get<bool>());

    std::ifstream in(png, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string blank = ScratchPath("blank.png"), web = ScratchPath("web.png"),
                      hostile = ScratchPath("hostile.png");
    WriteCodePng(blank, "");
    WriteCodePng(web, "https://lockkeeper.example/");
    WriteCodePng(hostile, "WIFI:T:WPA;S:Lockkeeper;P:short;;");
    for (const auto& [image, reason] : std::vector<std::pair<std::string, std::string>>{
             {WriteFile("cut.png", bytes.substr(0, bytes.size() / 2)), "cannot be read"},
             {WriteFile("text.png", "WIFI:T:nopass;S:Lockkeeper;;"), "not a PNG or JPEG image"},
             {WriteFile("empty.png", ""), "is empty"},
             {blank, "no QR code"},
             {web, "does not describe a Wi-Fi network"},
             {hostile, "8 to 63"}}) {
        const SRun refused = Run({"connect", "--qr", image});
        EXPECT_EQ(refused.code, 2) << image;
        EXPECT_NE(refused.err.find(reason), std::string::npos) << image << " -> " << refused.err;
    }
    ExpectRefused({"connect", "--qr", png, "--ssid", "Lockkeeper"}, 2, "excludes");

    // A photo of the code, saved as a JPEG, joins as well; a damaged JPEG says so.
    ASSERT_EQ(Run({"disconnect"}).code, 0);
    std::string escaped;
    for (const char c : std::string(kPassphrase)) {
        if (std::strchr("\\;,:\"", c)) escaped += '\\';
        escaped += c;
    }
    const std::string photo = CodeJpeg("WIFI:T:WPA;S:Lockkeeper;P:" + escaped + ";;", 60);
    const SRun fromPhoto = Run({"connect", "--qr", WriteFile("photo.jpg", photo)});
    EXPECT_EQ(fromPhoto.code, 0) << fromPhoto.err;
    EXPECT_TRUE(SimState()["associated"].get<bool>());
    const SRun cutPhoto = Run({"connect", "--qr", WriteFile("cut.jpg", photo.substr(0, 40))});
    EXPECT_EQ(cutPhoto.code, 2);
    EXPECT_NE(cutPhoto.err.find("JPEG image"), std::string::npos) << cutPhoto.err;
}

}  // namespace
}  // namespace wavory::test
