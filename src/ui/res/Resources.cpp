#include "ui/res/Resources.h"

#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE declares a function of the global namespace, so it is called from here.
static void InitWavoryResources() { Q_INIT_RESOURCE(wavory); }

namespace wavory {

void InitResources() {
    static std::once_flag once;
    std::call_once(once, InitWavoryResources);
}

QIcon AppIcon() {
    InitResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/wavory/icons/wavory-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace wavory
