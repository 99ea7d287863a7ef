// profiles import --from and export --to the other Wi-Fi stacks, and share --png/--svg: what is
// written reads back, files are the owner's, refusals change nothing.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#include <png.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "CliFixture.h"

namespace wavory::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class StackCliTest : public CliTest {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = ScratchPath(name);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static unsigned Mode(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }
    json Show(const std::string& name) { return RunJson({"profiles", "show", name, "--show-keys"}); }

    void MakeProfiles() {
        const std::string pass = WriteFile("pass.txt", "harbour lights\n");
        NewProfile({"--name", "Harb", "--ssid", "Harbour;\"x\"", "--mode", "infrastructure", "--security",
                    "wpa2", "--passphrase-file", pass, "--auto-select"});
        NewProfile({"--name", "Deck", "--ssid", "Deckhands", "--mode", "infrastructure", "--security", "wep",
                    "--key1", "1A2B3C4D5E"});
        NewProfile({"--name", "Cafe", "--ssid", "Cafe", "--mode", "infrastructure", "--auto-select"});
    }
};

// The text a QR code decodes to, from grey pixels.
std::string Decode(const std::vector<uint8_t>& pixels, int width, int height) {
    const ZXing::Result r =
        ZXing::ReadBarcode(ZXing::ImageView(pixels.data(), width, height, ZXing::ImageFormat::Lum),
                           ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    return r.isValid() ? r.text() : std::string("(no code)");
}

std::string DecodePng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return "(no PNG)";
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return "(bad PNG)";
    return Decode(pixels, static_cast<int>(image.width), static_cast<int>(image.height));
}

// Our SVG draws each dark module as "Mx yh1v1h-1z" in a viewBox of one unit a module: drawn again
// at 4 pixels a module and decoded.
std::string DecodeSvg(const std::string& text) {
    std::smatch box;
    if (!std::regex_search(text, box, std::regex("viewBox=\"0 0 (\\d+) (\\d+)\""))) return "(no viewBox)";
    const int size = std::stoi(box[1]), scale = 4, px = size * scale;
    std::vector<uint8_t> pixels(static_cast<size_t>(px * px), 0xFF);
    const std::regex module("M(\\d+) (\\d+)h1v1h-1z");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), module); it != std::sregex_iterator();
         ++it) {
        const int x = std::stoi((*it)[1]), y = std::stoi((*it)[2]);
        for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx)
                pixels[static_cast<size_t>((y * scale + dy) * px + x * scale + dx)] = 0;
    }
    return Decode(pixels, px, px);
}

TEST_F(StackCliTest, ExportAndImportBackThroughEachStack) {
    MakeProfiles();
    // wpa_supplicant: one file of network blocks.
    const std::string conf = ScratchPath("out/wpa.conf");
    fs::create_directories(ScratchPath("out"));
    const json wpa = RunJson({"profiles", "export", "--to", "wpa-supplicant", conf});
    EXPECT_EQ(wpa["files"].size(), 3u);
    EXPECT_EQ(Mode(conf), 0600u);
    // networkmanager: one keyfile a profile; iwd refuses WEP with the reason.
    const json nm = RunJson({"profiles", "export", "--to", "networkmanager", "--dir", ScratchPath("nm")});
    EXPECT_EQ(nm["files"].size(), 3u);
    for (const auto& f : nm["files"]) EXPECT_EQ(Mode(f["file"].get<std::string>()), 0600u);
    const json iwd = RunJson({"profiles", "export", "--to", "iwd", "--dir", ScratchPath("iwd")});
    EXPECT_EQ(iwd["files"].size(), 2u);
    ASSERT_EQ(iwd["skipped"].size(), 1u);
    EXPECT_EQ(iwd["skipped"][0]["profile"], "Deck");
    EXPECT_NE(iwd["skipped"][0]["reason"].get<std::string>().find("WEP"), std::string::npos);
    EXPECT_TRUE(
        fs::exists(ScratchPath("iwd/=486172626f75723b22782"
                               "2.psk")));

    for (const auto& name : {"Harb", "Deck", "Cafe"}) ASSERT_EQ(Run({"profiles", "rm", name}).code, 0);

    const json fromWpa = RunJson({"profiles", "import", "--from", "wpa-supplicant", conf});
    ASSERT_EQ(fromWpa["profiles"].size(), 3u);
    EXPECT_EQ(Show("Harb")["ssid"], "Harbour;\"x\"");
    EXPECT_EQ(Show("Harb")["passphrase"], "harbour lights");
    EXPECT_EQ(Show("Deck")["keys"][0]["key"], "1A2B3C4D5E");
    // The members keep their order; the others stay out of it.
    const json list = RunJson({"profiles", "list"});
    EXPECT_EQ(list["profiles"][0]["name"], "Harb");
    EXPECT_EQ(list["profiles"][1]["name"], "Cafe");
    EXPECT_EQ(list["profiles"][2]["auto_select"], false);

    for (const auto& name : {"Harb", "Deck", "Cafe"}) ASSERT_EQ(Run({"profiles", "rm", name}).code, 0);
    const json fromNm = RunJson({"profiles", "import", "--from", "networkmanager", ScratchPath("nm")});
    EXPECT_EQ(fromNm["profiles"].size(), 3u);
    // The keyfiles one after the other on standard input, as `sudo cat DIR/*` gives a root-only folder.
    std::string all;
    for (const auto& f : nm["files"]) all += ReadFile(f["file"].get<std::string>());
    const SRun catted =
        Run({"profiles", "import", "--from", "networkmanager", "-", "--json"}, WriteFile("all.txt", all));
    ASSERT_EQ(catted.code, 0) << catted.err;
    EXPECT_EQ(json::parse(catted.out)["profiles"].size(), 3u);
    EXPECT_EQ(Show("Deck")["keys"][0]["key"], "1A2B3C4D5E");

    // iwd from standard input: the file name, which carries the SSID, is given with --as.
    const std::string one = ScratchPath("iwd/Cafe.open");
    const SRun noName = Run({"profiles", "import", "--from", "iwd", "-"}, one);
    EXPECT_EQ(noName.code, 2);
    EXPECT_NE(noName.err.find("--as"), std::string::npos);
    const SRun piped = Run({"profiles", "import", "--from", "iwd", "-", "--as", "Cafe.open", "--json"}, one);
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(Show(json::parse(piped.out)["profiles"][0].get<std::string>())["ssid"], "Cafe");
}

TEST_F(StackCliTest, RefusedNetworksAreNamedAndNothingElseChanges) {
    const std::string conf =
        WriteFile("wpa.conf",
                  "network={\n ssid=\"Good\"\n key_mgmt=NONE\n bssid=00:11:22:33:44:55\n"
                  " bgscan=\"simple:30:-70:3600\"\n}\n"
                  "network={\n ssid=\"Bad\"\n psk=\"short\"\n}\n");
    const SRun run = Run({"profiles", "import", "--from", "wpa-supplicant", conf, "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const json out = json::parse(run.out);
    ASSERT_EQ(out["networks"].size(), 2u);
    EXPECT_EQ(out["networks"][0]["profile"], "Good");
    // The access point is kept as the profile's pin; what a profile has no field for is named.
    ASSERT_EQ(out["networks"][0]["not_kept"].size(), 1u) << out.dump();
    EXPECT_NE(out["networks"][0]["not_kept"][0].get<std::string>().find("bgscan"), std::string::npos);
    EXPECT_EQ(RunJson({"profiles", "show", "Good"})["pinned_bssid"], "00:11:22:33:44:55");
    EXPECT_TRUE(out["networks"][1]["profile"].is_null());
    EXPECT_NE(out["networks"][1]["reason"].get<std::string>().find("WpaPassphrase"), std::string::npos);

    // Nothing usable, junk, a huge file, a folder that holds no network: refused, store unchanged.
    const std::string bad = WriteFile("bad.conf", "network={\n ssid=\"Bad\"\n psk=\"short\"\n}\n");
    ExpectRefused({"profiles", "import", "--from", "wpa-supplicant", bad}, 1, "nothing was imported");
    ExpectRefused({"profiles", "import", "--from", "wpa-supplicant",
                   WriteFile("junk", std::string("\x7f"
                                                 "ELF\0\1",
                                                 6))},
                  1, "binary");
    ExpectRefused({"profiles", "import", "--from", "networkmanager",
                   WriteFile("huge.nmconnection", std::string(5 << 20, '#'))},
                  1, "larger");
    fs::create_directories(ScratchPath("empty"));
    ExpectRefused({"profiles", "import", "--from", "iwd", ScratchPath("empty")}, 1, "no network file");
    ExpectRefused({"profiles", "import", "--from", "wpa-supplicant", ScratchPath("missing")}, 1,
                  "does not exist");

    // An existing file is replaced only with --force.
    const std::string target = WriteFile("taken.conf", "keep me");
    ExpectRefused({"profiles", "export", "--to", "wpa-supplicant", target}, 1, "--force");
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_EQ(Run({"profiles", "export", "--to", "wpa-supplicant", target, "--force"}).code, 0);
    EXPECT_NE(ReadFile(target).find("ssid=\"Good\""), std::string::npos);
    EXPECT_EQ(Mode(target), 0600u);
    ExpectRefused({"profiles", "export", "--to", "iwd", "Good"}, 2, "--dir");
    ExpectRefused({"profiles", "export", "--to", "wpa-supplicant", "-"}, 2, "keys");
    ExpectRefused({"profiles", "export", "--to", "iwd", "--dir", ScratchPath("x"), "Nobody"}, 1,
                  "no profile");
}

TEST_F(StackCliTest, SharedImagesDecodeToTheUri) {
    const std::string pass = WriteFile("pass.txt", "p;a:s\\s\"word\n");
    for (const std::string& ssid :
         {std::string("Harbour"), std::string("caf\xC3\xA9;\\\" \xF0\x9F\x93\xB6"), std::string(32, 'w')}) {
        ASSERT_EQ(Run({"profiles", "new", "--name", "S", "--ssid", ssid, "--mode", "infrastructure",
                       "--security", "wpa2", "--passphrase-file", pass})
                      .code,
                  0);
        const SRun uri = Run({"profiles", "share", "S", "--uri", "--show-keys"});
        ASSERT_EQ(uri.code, 0) << uri.err;
        const std::string png = ScratchPath("s.png"), svg = ScratchPath("s.svg");
        fs::remove(png);
        fs::remove(svg);
        // The terminal's code takes any name a URI carries.
        EXPECT_EQ(Run({"profiles", "share", "S"}).code, 0);
        const SRun drawn = Run({"profiles", "share", "S", "--png", png, "--svg", svg});
        ASSERT_EQ(drawn.code, 0) << drawn.err;
        // The files hold the key: the owner's alone; the output does not show it.
        EXPECT_EQ(Mode(png), 0600u);
        EXPECT_EQ(drawn.out.find("word"), std::string::npos);
        EXPECT_EQ(DecodePng(png) + "\n", uri.out);
        EXPECT_EQ(DecodeSvg(ReadFile(svg)) + "\n", uri.out);
        // Escaped as markup nowhere: the SVG holds the code's modules only.
        EXPECT_EQ(ReadFile(svg).find(ssid), std::string::npos);
        ASSERT_EQ(Run({"profiles", "rm", "S"}).code, 0);
    }
    ExpectRefused({"profiles", "share", "Nobody", "--png", ScratchPath("n.png")}, 1, "no profile");
}

}  // namespace
}  // namespace wavory::test
