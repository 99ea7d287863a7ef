// QR codes in the window: the code of a Wi-Fi URI drawn as a widget, and the text of a code read
// from a picture (an image file or the clipboard's).
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

namespace wavory {

// Draws one QR code, black on white with the quiet zone of four modules that readers need, at the
// largest whole number of pixels a module that fits.
class CQrCodeView : public QWidget {
    Q_OBJECT
public:
    explicit CQrCodeView(QWidget* parent = nullptr);

    // The code of this text; false (and no code) when the text is too long for one.
    bool SetText(const std::string& text);
    void Clear();
    bool HasCode() const { return m_nModules > 0; }
    // Modules a side, the quiet zone left out; 0 without a code.
    int Modules() const { return m_nModules; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_nModules = 0;
    std::vector<bool> m_Dark;  // row by row
};

// The text of the first QR code found in the picture; false with the reason in *error when there is
// none (or the picture is empty).
bool ReadQrCode(const QImage& image, std::string* text, QString* error);

}  // namespace wavory
