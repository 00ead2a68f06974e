#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

class QAbstractButton;

namespace TW::ImageStyle {

// Style sheet that picks the state images of a resource base name under
// ":/gui/" (-U enabled, -X disabled, -F hover and the given pressed suffix)
// for a widget selector, as "border-image" or "background-image".
QString stateImages(const QString &selector, const QString &base, const QString &property,
                    const QString &pressedSuffix = QStringLiteral("-D"));

// How a state image fills its button: stretched over the whole button (as a
// style sheet's border-image) or at its own size from the top left corner
// (as a background-image).
enum class ImageFit { Stretch, Natural };

// Draws the state images of a resource base name under ":/gui/" (-U enabled,
// -F hover, the given pressed suffix while pressed, -X disabled) on the
// button in place of its own painting. They are drawn through QIcon from the
// SVG at the screen's pixel ratio, so they stay sharp at any scale.
void drawStateImages(QAbstractButton *button, const QString &base, ImageFit fit,
                     const QString &pressedSuffix = QStringLiteral("-D"));

// The icon of one state image (":/gui/<base><suffix>"), drawn from its SVG
// over the whole size it is given.
QIcon stateIcon(const QString &base, const QString &suffix);
// The icon of an SVG resource (which may be named without ".svg"), drawn
// from the SVG at every size and pixel ratio it is asked for, keeping its
// proportions.
QIcon imageIcon(const QString &resource);

// The image's own size (its SVG's width and height).
QSize imageSize(const QString &base, const QString &suffix);

// The sans-serif face used where the interface asks for a narrow Helvetica-like
// font (labels of the side panel and the read-out of the transport bar): the
// first installed of Liberation Sans and DejaVu Sans.
QFont interfaceFont(int pointSize, bool bold);

} // namespace TW::ImageStyle
