#include "ui/ScreenRules.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

namespace TW {

bool ScreenRules::isLowResolutionHeight(int screenHeight) { return screenHeight < 801; }

bool ScreenRules::isLowResolutionScreen()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen && isLowResolutionHeight(screen->geometry().height());
}

} // namespace TW
