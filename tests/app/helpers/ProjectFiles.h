#pragma once

#include "TestEnv.h"

#include <QByteArray>
#include <QString>

namespace TW {
class MainController;
class Media;
} // namespace TW

namespace TW::test {

bool allTracksLoaded(const Media &media);
// Opens through the controller with a clean undo stack, so no question is
// asked; true when the open project holds media with every track loaded.
bool openQuietly(MainController *controller, const QString &file);
// The open project as a save would write it.
QByteArray projectText(MainController *controller);

} // namespace TW::test
