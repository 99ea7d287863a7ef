// The QR code of a shared network as image files: SVG written as text, PNG through libpng. Both
// keep the quiet zone of four modules that readers need around the code. Codes are read back from
// PNG and JPEG images (a photo of a code is usually a JPEG).
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>
#include <png.h>
// libjpeg's header needs the size types declared first.
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "cli/StackCommands.h"

namespace wavory::cli {

namespace {

constexpr int kQuiet = 4;
// Past these an image is refused before it is decoded: a photo of a code is far smaller, and a
// hostile file's header must not make the program ask for gigabytes.
constexpr std::size_t kMaxImageBytes = 32u << 20;
constexpr std::uint64_t kMaxImagePixels = 40'000'000;

ZXing::BitMatrix Modules(const std::string& uri) {
    return ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
        .setEncoding(ZXing::CharacterSet::UTF8)
        .setMargin(0)
        .encode(uri, 0, 0);
}

struct SJpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// A JPEG image's grey pixels; false with libjpeg's reason. No object with a destructor lives between
// the setjmp and libjpeg's error exit, which jumps back to it.
bool DecodeJpegGray(const std::string& bytes, std::vector<std::uint8_t>& pixels, int& width, int& height,
                    std::string& why) {
    jpeg_decompress_struct info{};
    SJpegError error{};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = [](j_common_ptr c) {
        auto* e = reinterpret_cast<SJpegError*>(c->err);
        c->err->format_message(c, e->message);
        std::longjmp(e->jump, 1);
    };
    error.mgr.output_message = [](j_common_ptr) {};  // warnings are not the user's concern
    bool tooLarge = false;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        why = error.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    tooLarge = static_cast<std::uint64_t>(info.image_width) * info.image_height > kMaxImagePixels;
    if (!tooLarge) {
        info.out_color_space = JCS_GRAYSCALE;
        jpeg_start_decompress(&info);
        width = static_cast<int>(info.output_width);
        height = static_cast<int>(info.output_height);
        pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) * static_cast<std::size_t>(width);
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    if (tooLarge) why = "too large to look for a QR code in";
    return !tooLarge;
}

bool IsJpeg(const std::string& bytes) {
    return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF;
}

}  // namespace

// Two modules a character, with a quiet zone of four modules. The colours are set (black on white)
// so that it reads on dark and light terminals alike.
std::string QrText(const std::string& uri) {
    constexpr int kQuiet = 4;
    const ZXing::BitMatrix m = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                   .setEncoding(ZXing::CharacterSet::UTF8)
                                   .setMargin(0)
                                   .encode(uri, 0, 0);
    const int w = m.width(), h = m.height();
    const auto dark = [&](int x, int y) {
        x -= kQuiet;
        y -= kQuiet;
        return x >= 0 && y >= 0 && x < w && y < h && m.get(x, y);
    };
    std::string out;
    for (int y = 0; y < h + 2 * kQuiet; y += 2) {
        out += "\x1b[30;47m";
        for (int x = 0; x < w + 2 * kQuiet; ++x) {
            const bool top = dark(x, y), bottom = dark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += "\x1b[0m\n";
    }
    return out;
}

std::string QrSvg(const std::string& uri) {
    const ZXing::BitMatrix m = Modules(uri);
    const int size = m.width() + 2 * kQuiet;
    // One unit a module; the picture is drawn 8 pixels a module unless the viewer scales it.
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "version=\"1.1\" width=\"" +
        std::to_string(size * 8) + "\" height=\"" + std::to_string(size * 8) + "\" viewBox=\"0 0 " +
        std::to_string(size) + " " + std::to_string(size) +
        "\" shape-rendering=\"crispEdges\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n<path "
        "fill=\"#000000\" d=\"";
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
            if (m.get(x, y))
                out += "M" + std::to_string(x + kQuiet) + " " + std::to_string(y + kQuiet) + "h1v1h-1z";
    out += "\"/>\n</svg>\n";
    return out;
}

std::string QrPng(const std::string& uri, int scale) {
    const ZXing::BitMatrix m = Modules(uri);
    const int size = (m.width() + 2 * kQuiet) * scale;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0xFF);
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
            if (m.get(x, y))
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        pixels[static_cast<std::size_t>((y + kQuiet) * scale + dy) *
                                   static_cast<std::size_t>(size) +
                               static_cast<std::size_t>((x + kQuiet) * scale + dx)] = 0;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_GRAY;
    png_alloc_size_t bytes = 0;
    if (!png_image_write_to_memory(&image, nullptr, &bytes, 0, pixels.data(), 0, nullptr))
        throw std::runtime_error(std::string("the PNG image could not be made: ") + image.message);
    std::string out(bytes, '\0');
    if (!png_image_write_to_memory(&image, out.data(), &bytes, 0, pixels.data(), 0, nullptr))
        throw std::runtime_error(std::string("the PNG image could not be made: ") + image.message);
    out.resize(bytes);
    return out;
}

std::string ReadQrImage(const std::string& path) {
    const std::string name = path == "-" ? "standard input" : "\"" + Printable(path) + "\"";
    std::string bytes;
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) UsageError("the image " + name + " is a folder");
        std::ifstream in(path, std::ios::binary);
        if (!in) UsageError("cannot read the image " + name + ": " + std::strerror(errno));
        bytes.resize(kMaxImageBytes + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (bytes.size() > kMaxImageBytes) UsageError("the image " + name + " is too large (over 32 MiB)");
    if (bytes.empty()) UsageError("the image " + name + " is empty");

    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    if (IsJpeg(bytes)) {
        std::string why;
        if (!DecodeJpegGray(bytes, pixels, width, height, why))
            UsageError("the JPEG image " + name + " cannot be read: " + why);
    } else {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
            const std::string why = image.message;
            png_image_free(&image);
            UsageError("the image " + name + " is not a PNG or JPEG image (" + why + ")");
        }
        if (static_cast<std::uint64_t>(image.width) * image.height > kMaxImagePixels) {
            png_image_free(&image);
            UsageError("the image " + name + " is too large to look for a QR code in");
        }
        image.format = PNG_FORMAT_GRAY;
        // A transparent background reads as white, as a viewer shows it.
        png_color white{0xFF, 0xFF, 0xFF};
        pixels.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, &white, pixels.data(), 0, nullptr))
            UsageError("the image " + name + " cannot be read: " + image.message);
        width = static_cast<int>(image.width);
        height = static_cast<int>(image.height);
    }

    const ZXing::Results found =
        ZXing::ReadBarcodes(ZXing::ImageView(pixels.data(), width, height, ZXing::ImageFormat::Lum),
                            ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true));
    for (const ZXing::Result& r : found)
        if (r.isValid()) return r.text();
    UsageError("no QR code was found in the image " + name);
}

}  // namespace wavory::cli
