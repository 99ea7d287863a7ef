#include "ui/shell/QrCode.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>

#include <QPainter>
#include <algorithm>
#include <exception>

namespace wavory {

namespace {

constexpr int kQuiet = 4;
// The code is drawn at no less than this many pixels a module, so that a phone held at arm's
// length reads it from the screen.
constexpr int kLeastModulePixels = 4;
constexpr int kHintModulePixels = 6;

}  // namespace

CQrCodeView::CQrCodeView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("QR code"));
}

bool CQrCodeView::SetText(const std::string& text) {
    Clear();
    try {
        const ZXing::BitMatrix m = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                       .setEncoding(ZXing::CharacterSet::UTF8)
                                       .setMargin(0)
                                       .encode(text, 0, 0);
        if (m.width() <= 0 || m.width() != m.height()) return false;
        m_nModules = m.width();
        m_Dark.resize(static_cast<std::size_t>(m_nModules) * static_cast<std::size_t>(m_nModules));
        for (int y = 0; y < m_nModules; ++y)
            for (int x = 0; x < m_nModules; ++x)
                m_Dark[static_cast<std::size_t>(y * m_nModules + x)] = m.get(x, y);
    } catch (const std::exception&) {
        // The writer refuses a text too long for any version of the code.
        Clear();
        return false;
    }
    updateGeometry();
    update();
    return true;
}

void CQrCodeView::Clear() {
    m_nModules = 0;
    m_Dark.clear();
    updateGeometry();
    update();
}

QSize CQrCodeView::sizeHint() const {
    const int side = m_nModules ? (m_nModules + 2 * kQuiet) * kHintModulePixels : 0;
    return {side, side};
}

QSize CQrCodeView::minimumSizeHint() const {
    const int side = m_nModules ? (m_nModules + 2 * kQuiet) * kLeastModulePixels : 0;
    return {side, side};
}

void CQrCodeView::paintEvent(QPaintEvent*) {
    if (!m_nModules) return;
    const int cells = m_nModules + 2 * kQuiet;
    // Whole pixels a module: a scaled code with uneven modules reads worse.
    const int pixel = std::max(1, std::min(width(), height()) / cells);
    const int side = cells * pixel;
    const QPoint origin((width() - side) / 2, (height() - side) / 2);
    QPainter painter(this);
    // White behind the code whatever the style's colours: readers need dark on light.
    painter.fillRect(QRect(origin, QSize(side, side)), Qt::white);
    for (int y = 0; y < m_nModules; ++y)
        for (int x = 0; x < m_nModules; ++x)
            if (m_Dark[static_cast<std::size_t>(y * m_nModules + x)])
                painter.fillRect(origin.x() + (x + kQuiet) * pixel, origin.y() + (y + kQuiet) * pixel, pixel,
                                 pixel, Qt::black);
}

bool ReadQrCode(const QImage& image, std::string* text, QString* error) {
    if (image.isNull()) {
        *error = QStringLiteral("The picture is empty.");
        return false;
    }
    // Transparent parts read as white, as a viewer shows them.
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
    }
    const QImage grey = flat.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::Results found =
        ZXing::ReadBarcodes(ZXing::ImageView(grey.constBits(), grey.width(), grey.height(),
                                             ZXing::ImageFormat::Lum, static_cast<int>(grey.bytesPerLine())),
                            ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true));
    for (const ZXing::Result& r : found) {
        if (!r.isValid()) continue;
        *text = r.text();
        return true;
    }
    *error = QStringLiteral("No QR code was found in the picture.");
    return false;
}

}  // namespace wavory
