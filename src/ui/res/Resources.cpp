#include "ui/res/Resources.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE declares a function of the global namespace, so it is called from here.
static void InitWavoryResources() { Q_INIT_RESOURCE(wavory); }

namespace wavory {

namespace {

// The icon, decoded on first use and kept until the application object goes (pixmaps must not
// outlive it).
QIcon* g_pAppIcon = nullptr;

void DropAppIcon() {
    delete g_pAppIcon;
    g_pAppIcon = nullptr;
}

}  // namespace

void InitResources() {
    static std::once_flag once;
    std::call_once(once, InitWavoryResources);
}

QImage LoadPng(const QString& path) {
    InitResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // The format is known: the reader does not guess it from the content.
    QImageReader reader(&file, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QIcon AppIcon() {
    if (g_pAppIcon) return *g_pAppIcon;
    QIcon icon;
    for (int size : kAppIconSizes) {
        const QImage image = LoadPng(QStringLiteral(":/wavory/icons/wavory-%1.png").arg(size));
        if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
    }
    if (!QCoreApplication::instance()) return icon;
    g_pAppIcon = new QIcon(icon);
    qAddPostRoutine(DropAppIcon);
    return icon;
}

}  // namespace wavory
