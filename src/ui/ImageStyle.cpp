#include "ui/ImageStyle.h"

#include <QStringList>

namespace TW::ImageStyle {

QString stateImages(const QString &selector, const QString &base, const QString &property,
                    const QString &pressedSuffix)
{
    const QString rule = QStringLiteral("%1:%2{%3: url(:/gui/%4%5);}");
    // Disabled comes last so that it wins over hover on a disabled widget.
    return rule.arg(selector, QStringLiteral("enabled"), property, base, QStringLiteral("-U"))
         + rule.arg(selector, QStringLiteral("hover"), property, base, QStringLiteral("-F"))
         + rule.arg(selector, QStringLiteral("pressed"), property, base, pressedSuffix)
         + rule.arg(selector, QStringLiteral("disabled"), property, base, QStringLiteral("-X"));
}

QFont interfaceFont(int pointSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace TW::ImageStyle
