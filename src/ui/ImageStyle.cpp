#include "ui/ImageStyle.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QIconEngine>
#include <QtMath>
#include <QStringList>

namespace TW::ImageStyle {

namespace {

// Paints a button's state image in place of the button's own painting.
class StateImagePainter : public QObject
{
public:
    StateImagePainter(QAbstractButton *button, const QString &base, ImageFit fit, const QString &pressedSuffix)
        : QObject(button), m_button(button)
    {
        setObjectName(QStringLiteral("tw_stateImagePainter"));
        set(base, fit, pressedSuffix);
        // Hover changes the image: the button is repainted on entering and leaving.
        button->setAttribute(Qt::WA_Hover);
        button->installEventFilter(this);
    }

    void set(const QString &base, ImageFit fit, const QString &pressedSuffix)
    {
        m_base = base;
        m_fit = fit;
        m_pressedSuffix = pressedSuffix;
        m_icons.clear();
        m_button->update();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_button)
            return false;
        switch (event->type()) {
        case QEvent::Paint:
            paint();
            return true;
        case QEvent::HoverEnter:
        case QEvent::HoverLeave:
        case QEvent::EnabledChange:
            m_button->update();
            break;
        default:
            break;
        }
        return false;
    }

private:
    // The state's image; a state without an image of its own shows the
    // enabled one, and an image without states is the base name alone.
    QString suffix() const
    {
        QString wanted = QStringLiteral("-U");
        if (!m_button->isEnabled())
            wanted = QStringLiteral("-X");
        else if (m_button->isDown())
            wanted = m_pressedSuffix;
        else if (m_button->underMouse())
            wanted = QStringLiteral("-F");
        for (const QString &s : {wanted, QStringLiteral("-U")}) {
            if (!imageSize(m_base, s).isEmpty())
                return s;
        }
        return QString();
    }

    void paint()
    {
        const QString s = suffix();
        const QRect target = m_fit == ImageFit::Stretch
                ? m_button->rect()
                : QRect(QPoint(0, 0), imageSize(m_base, s));
        if (target.isEmpty())
            return;
        auto icon = m_icons.find(s);
        if (icon == m_icons.end())
            icon = m_icons.insert(s, stateIcon(m_base, s));
        QPainter painter(m_button);
        // Drawn at the device's pixels from the SVG: no scaling of a bitmap.
        icon->paint(&painter, target);
    }

    QAbstractButton *m_button;
    QString m_base;
    ImageFit m_fit;
    QString m_pressedSuffix;
    // One icon per state suffix; each keeps the pixmaps it drew.
    QHash<QString, QIcon> m_icons;
};

QString resourcePath(const QString &base, const QString &suffix)
{
    return QStringLiteral(":/gui/%1%2").arg(base, suffix);
}

// An SVG resource as an icon drawn from the SVG at any size and pixel
// ratio: filling the size it is given (a button's state image, stretched as
// a border image is) or keeping its proportions (an ordinary icon).
class SvgImageEngine : public QIconEngine
{
public:
    SvgImageEngine(const QString &path, bool fill) : m_path(path), m_fill(fill) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        // The device's pixels per logical pixel: its own ratio, or the
        // painter's scale where a widget is drawn into an image of another
        // ratio (QWidget::render).
        qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QTransform t = painter->deviceTransform();
        ratio = qMax(ratio, qSqrt(t.m11() * t.m11() + t.m12() * t.m12()));
        QPixmap pm = render(rect.size() * ratio);
        pm.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, pm);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return render(actualSize(size, mode, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        if (m_fill)
            return size;
        if (!m_ownSize.isValid())
            m_ownSize = QImageReader(m_path).size();
        return m_ownSize.isEmpty() ? size : m_ownSize.scaled(size, Qt::KeepAspectRatio);
    }
    QIconEngine *clone() const override { return new SvgImageEngine(m_path, m_fill); }
    QString key() const override { return QStringLiteral("TW::SvgImageEngine"); }

private:
    // The image drawn at that many pixels; the last few sizes are kept.
    QPixmap render(const QSize &pixels)
    {
        const quint64 key = (quint64(quint32(pixels.width())) << 32) | quint32(pixels.height());
        auto it = m_cache.constFind(key);
        if (it != m_cache.constEnd())
            return *it;
        QImageReader reader(m_path);
        reader.setScaledSize(pixels);
        const QPixmap pm = QPixmap::fromImage(reader.read());
        if (m_cache.size() >= 4)
            m_cache.clear();
        m_cache.insert(key, pm);
        return pm;
    }

    QString m_path;
    bool m_fill;
    QSize m_ownSize;
    QHash<quint64, QPixmap> m_cache;
};

} // namespace

void drawStateImages(QAbstractButton *button, const QString &base, ImageFit fit, const QString &pressedSuffix)
{
    if (!button)
        return;
    // A button drawn before changes its images.
    if (QObject *painter = button->findChild<QObject *>(QStringLiteral("tw_stateImagePainter"),
                                                       Qt::FindDirectChildrenOnly))
        static_cast<StateImagePainter *>(painter)->set(base, fit, pressedSuffix);
    else
        new StateImagePainter(button, base, fit, pressedSuffix);
}

QIcon stateIcon(const QString &base, const QString &suffix)
{
    return QIcon(new SvgImageEngine(resourcePath(base, suffix), true));
}

QIcon imageIcon(const QString &resource)
{
    return QIcon(new SvgImageEngine(resource, false));
}

QSize imageSize(const QString &base, const QString &suffix)
{
    static QHash<QString, QSize> sizes;
    const QString path = resourcePath(base, suffix);
    auto it = sizes.find(path);
    if (it == sizes.end())
        it = sizes.insert(path, QImageReader(path).size());
    return *it;
}

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
