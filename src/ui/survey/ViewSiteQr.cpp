// Available Networks joining the network of a QR code: the picture from an image file, the
// clipboard or the screen (where the desktop lets a program read it), its Wi-Fi URI checked as a typed join's settings are, then the join a row's Connect (or
// the hidden-network dialog, for a network that does not announce its name) makes. The URI's key is
// used as if typed; only what it does not give is asked for.
#include <QApplication>
#include <algorithm>
#include <QClipboard>
#include <QFileDialog>
#include <QImage>
#include <QImageReader>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>

#include "base/Locks.h"
#include "driver/Converters.h"
#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/StackKeyFile.h"
#include "profiles/WifiUri.h"
#include "shell/Tessal.h"
#include "survey/Connect.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/profiles/EditProfileSec.h"
#include "ui/shell/PlainText.h"
#include "ui/shell/QrCode.h"
#include "ui/survey/ViewSite.h"

namespace wavory {

namespace {

void Tell(const QString& text) { theApp.ShowMessage(text.toStdString(), EMsgIcon::Warning); }

EHiddenSecurity HiddenSecurityOfUri(const WifiUri& uri) {
    if (uri.type == "WEP") return EHiddenSecurity::Wep;
    if (uri.type == "SAE") return EHiddenSecurity::Wpa3;
    if (uri.type == "WPA") return EHiddenSecurity::Wpa2;
    return EHiddenSecurity::None;
}

// Puts the URI's key into the settings; false, with the reason, when the network's security is not
// the kind the URI describes (or the key does not fit it).
bool ApplyUriKey(const WifiUri& uri, CStation& settings, QString* error) {
    const QString name = ShownText(settings.NetName);
    if (uri.type == "WEP") {
        std::string digits;
        if (settings.WpaMode != 0 || settings.SecType != 1) {
            *error =
                QStringLiteral("The QR code describes a WEP network, but \u201C%1\u201D does not use WEP.")
                    .arg(name);
            return false;
        }
        if (!WepKeyDigits(uri.passphrase, true, digits)) {
            *error = QStringLiteral(
                "The WEP key in the QR code is not 5 or 13 characters or 10 or 26 "
                "hexadecimal digits.");
            return false;
        }
        settings.SecKey[0] = digits;
        settings.SecKeyLen[0] = digits.size() == 26 ? 1 : 0;
        settings.ActiveSecKey = 0;
        settings.Use802_1 = false;
        return true;
    }
    if (uri.type == "WPA" || uri.type == "SAE") {
        if (settings.WpaMode == 0) {
            *error =
                QStringLiteral("The QR code describes a WPA network, but \u201C%1\u201D does not use WPA.")
                    .arg(name);
            return false;
        }
        if (!ModeTakesPassphrase(settings.WpaMode)) {
            *error = QStringLiteral(
                         "The QR code gives a passphrase, but \u201C%1\u201D uses %2, which takes none.")
                         .arg(name, QString::fromUtf8(WpaModeName(settings.WpaMode)));
            return false;
        }
        if ((settings.WpaMode == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
             settings.WpaMode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL) &&
            uri.passphrase.size() == 64) {
            *error = QStringLiteral("WPA3 takes the passphrase itself, not 64 hexadecimal digits.");
            return false;
        }
        settings.WpaPassphrase = uri.passphrase;
        return true;
    }
    return true;  // an open network: nothing to put in
}

// A picture that holds one colour only: what a desktop that keeps its screen from programs gives.
bool IsBlank(const QImage& picture) {
    if (picture.isNull()) return true;
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (!std::all_of(line, line + image.width(), [first](QRgb p) { return p == first; })) return false;
    }
    return true;
}

}  // namespace

void CViewSite::JoinFromQr(EQrSource source) {
    if (m_bJoinRunning) return;  // one join at a time
    QImage image;
    if (source == EQrSource::Screen) {
        // Every screen is looked at; the first code found is the one shown.
        bool seen = false;
        QString error;
        std::vector<QImage> shots;
        if (m_fnGrabScreens)
            shots = m_fnGrabScreens();
        else
            for (QScreen* screen : QGuiApplication::screens()) shots.push_back(screen->grabWindow(0).toImage());
        for (const QImage& shot : shots) {
            if (IsBlank(shot)) continue;
            seen = true;
            std::string text;
            if (ReadQrCode(shot, &text, &error)) {
                JoinFromUri(text);
                return;
            }
        }
        Tell(seen ? QStringLiteral("No QR code was found on the screen. Show the code where nothing covers it, "
                                   "or save or copy its picture.")
                  : QStringLiteral("The desktop does not let programs read the screen. Take a screenshot of "
                                   "the code with the desktop's own tool and use From the Clipboard."));
        return;
    }
    if (source == EQrSource::Clipboard) {
        const QClipboard* clipboard = QApplication::clipboard();
        const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
        if (data && data->hasImage()) image = qvariant_cast<QImage>(data->imageData());
        if (image.isNull()) {
            Tell(QStringLiteral("The clipboard holds no picture. Copy a picture of the QR code first."));
            return;
        }
    } else {
        const QString path = m_fnQrFile ? m_fnQrFile() : QString();
        if (path.isEmpty()) return;
        QImageReader reader(path);
        reader.setAutoTransform(true);
        if (!reader.read(&image)) {
            Tell(QStringLiteral("The picture \u201C%1\u201D cannot be read: %2.")
                     .arg(ShownText(path.toStdString()), reader.errorString()));
            return;
        }
    }
    std::string text;
    QString error;
    if (!ReadQrCode(image, &text, &error)) {
        Tell(error);
        return;
    }
    JoinFromUri(text);
}

void CViewSite::JoinFromUri(const std::string& text) {
    if (m_bJoinRunning) return;
    if (text.rfind("WIFI:", 0) != 0) {
        Tell(QStringLiteral("The QR code does not describe a Wi-Fi network."));
        return;
    }
    WifiUri uri;
    std::string reason;
    if (!ParseWifiUri(text, &uri, &reason)) {
        Tell(QStringLiteral("The Wi-Fi network in the QR code is refused: %1.").arg(ShownText(reason)));
        return;
    }
    QString error;
    if (uri.hidden) {
        // Joined by name, as the hidden-network dialog joins what was typed into it.
        const std::shared_ptr<CStation> settings = HiddenNetwork(uri.ssid, HiddenSecurityOfUri(uri));
        if (!ApplyUriKey(uri, *settings, &error)) {
            Tell(error);
            return;
        }
        SJoin join = PrepareJoin(settings);
        CopySecurity(*settings, *join.settings);
        join.keyEntered = true;
        StartJoin(join);
        return;
    }
    StationPtr best;
    if (CStationMngr* stations = theApp.m_pStationMngr) {
        auto lock = stations->Lock();
        for (const auto& station : stations->Snapshot())
            if (station->NetName == uri.ssid && (!best || station->m_nRssi > best->m_nRssi)) best = station;
    }
    if (!best) {
        Tell(QStringLiteral("The network \u201C%1\u201D of the QR code is not in range.")
                 .arg(ShownText(uri.ssid)));
        return;
    }
    if (!TryEnter(CS_MAIN)) return;
    SJoin join = PrepareJoin(best);
    // An enterprise network takes nothing a URI gives: its settings are asked for as on Connect.
    const bool given = uri.type != "nopass" && !IsEnterpriseProfile(*join.settings);
    if (given && !ApplyUriKey(uri, *join.settings, &error)) {
        Leave(CS_MAIN);
        Tell(error);
        return;
    }
    if (given) {
        join.keyEntered = true;
        join.keepSecrets = KeepJoinPassword();
    }
    if (!JoinNeedsKey(*join.settings) || AskKey(join, QString())) StartJoin(join);
    Leave(CS_MAIN);
}

}  // namespace wavory
