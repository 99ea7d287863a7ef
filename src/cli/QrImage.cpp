// The QR code of a shared network as image files: SVG written as text, PNG through libpng. Both
// keep the quiet zone of four modules that readers need around the code.
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <png.h>

#include <stdexcept>
#include <vector>

#include "cli/StackCommands.h"

namespace wavory::cli {

namespace {

constexpr int kQuiet = 4;

ZXing::BitMatrix Modules(const std::string& uri) {
    return ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
        .setEncoding(ZXing::CharacterSet::UTF8)
        .setMargin(0)
        .encode(uri, 0, 0);
}

}  // namespace

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

}  // namespace wavory::cli
