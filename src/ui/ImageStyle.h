#pragma once

#include <QFont>
#include <QString>

namespace TW::ImageStyle {

// Style sheet that picks the state images of a resource base name under
// ":/gui/" (-U enabled, -X disabled, -F hover and the given pressed suffix)
// for a widget selector, as "border-image" or "background-image".
QString stateImages(const QString &selector, const QString &base, const QString &property,
                    const QString &pressedSuffix = QStringLiteral("-D"));

// The sans-serif face used where the interface asks for a narrow Helvetica-like
// font (labels of the side panel and the read-out of the transport bar): the
// first installed of Liberation Sans and DejaVu Sans.
QFont interfaceFont(int pointSize, bool bold);

} // namespace TW::ImageStyle
