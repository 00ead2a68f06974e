#include "ui/SliderHandle.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

namespace TW {

namespace {

const char* const kTextRule =
    "TW--SliderHandle > #textWgt { background: rgba(0,0,0,0); color: white; }";

const char* const kPlainRule =
    "TW--SliderHandle > #markerWgt{border: 1px solid white;background-color: "
    "qlineargradient(x1: 0.5, y1: 0, x2: 0.5, y2: 1, stop: 0 #d0d0d0, stop: 1 #505050);}";

const int kMarkerWidth = 10;
const int kMarkerHeight = 13;
const int kMinCaptionWidth = 10;

// The marker rule for an image of the resource collection. When the image is
// not in the collection the marker is painted as a plain coloured block, so
// that the handle stays visible and usable.
QString imageRule(const char* image, const char* fallbackColour)
{
    const QString path = QStringLiteral(":/gui/%1").arg(QLatin1String(image));
    if (QFile::exists(path))
        return QStringLiteral("TW--SliderHandle > #markerWgt { border-image:url(%1); }").arg(path);
    return QStringLiteral("TW--SliderHandle > #markerWgt { border: 1px solid #202020; "
                          "background-color: %1; } /* in place of %2 */")
        .arg(QLatin1String(fallbackColour), path);
}

} // namespace

class SliderHandle::SliderHandleImpl
{
public:
    explicit SliderHandleImpl(SliderHandle* owner) : owner(owner) {}

    SliderHandle* owner;
    HandleType::Type type = HandleType::Plain;
    QLabel* marker = nullptr;
    QLabel* text = nullptr;
    Qt::MouseButtons buttons = Qt::NoButton;
    QPoint pressPos;
    State state = Normal;

    using StyleTable = QHash<int, QHash<int, QString>>;
    static StyleTable m_styles;

    static void fillStyles();
    static bool hasCaption(HandleType::Type type)
    {
        return type == HandleType::Bookmark || type == HandleType::LoopStart
            || type == HandleType::LoopEnd;
    }

    void init();
    void refresh();
    bool hit(const QPoint& pos) const;
    void applyText(const QString& caption);
    void relayout();
};

SliderHandle::SliderHandleImpl::StyleTable SliderHandle::SliderHandleImpl::m_styles;

void SliderHandle::SliderHandleImpl::fillStyles()
{
    struct Images {
        HandleType::Type type;
        const char* states[4];
        const char* colours[4];
    };
    const Images images[] = {
        {HandleType::Bookmark,
         {"bookmark-U", "bookmark-F", "bookmark-D", "bookmark-X"},
         {"#e0c020", "#f0e060", "#a08010", "#707070"}},
        {HandleType::LoopStart,
         {"beginPointer-U", "beginPointer-F", "beginPointer-D", "beginPointer-X"},
         {"#30b040", "#60e070", "#207828", "#707070"}},
        {HandleType::LoopEnd,
         {"endPointer-U", "endPointer-F", "endPointer-D", "endPointer-X"},
         {"#d03030", "#f06060", "#902020", "#707070"}},
        {HandleType::PositionIndicator,
         {"bluePointer-U", "bluePointer-F", "bluePointer-D", "bluePointer-X"},
         {"#3070e0", "#60a0ff", "#2050a0", "#707070"}},
        {HandleType::SelectionStart,
         {"Left-graypointer-U", "Left-graypointer-U", "Left-graypointer-U", "Left-graypointer-U"},
         {"#a0a0a0", "#a0a0a0", "#a0a0a0", "#a0a0a0"}},
        {HandleType::SelectionEnd,
         {"Right-graypointer-U", "Right-graypointer-U", "Right-graypointer-U",
          "Right-graypointer-U"},
         {"#a0a0a0", "#a0a0a0", "#a0a0a0", "#a0a0a0"}},
    };

    for (int s = Normal; s <= Disabled; ++s)
        m_styles[HandleType::Plain][s] = QLatin1String(kPlainRule);
    for (const Images& entry : images) {
        const QString prefix = hasCaption(entry.type) ? QLatin1String(kTextRule) : QString();
        for (int s = Normal; s <= Disabled; ++s)
            m_styles[entry.type][s] = prefix + imageRule(entry.states[s], entry.colours[s]);
    }
}

void SliderHandle::SliderHandleImpl::init()
{
    auto* layout = new QVBoxLayout;
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto makeLabel = [](const char* name) {
        auto* label = new QLabel;
        label->setObjectName(QLatin1String(name));
        label->setAutoFillBackground(true);
        label->setMinimumSize(0, 0);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        return label;
    };

    marker = makeLabel("markerWgt");
    switch (type) {
    case HandleType::Bookmark:
    case HandleType::LoopStart:
    case HandleType::LoopEnd: {
        text = makeLabel("textWgt");
        text->setAlignment(Qt::AlignCenter);
        const int textHeight = QFontMetrics(text->font()).height();
        text->setFixedHeight(textHeight);
        marker->setFixedSize(kMarkerWidth, kMarkerHeight);
        layout->addWidget(text, 0, Qt::AlignHCenter);
        layout->addWidget(marker, 0, Qt::AlignHCenter);
        owner->setMinimumWidth(kMinCaptionWidth);
        owner->setMaximumWidth(QWIDGETSIZE_MAX);
        owner->setFixedHeight(kMarkerHeight + textHeight);
        owner->resize(kMinCaptionWidth, kMarkerHeight + textHeight);
        break;
    }
    case HandleType::PositionIndicator:
        layout->addWidget(marker);
        owner->setFixedSize(18, 21);
        break;
    case HandleType::SelectionStart:
    case HandleType::SelectionEnd:
        layout->addWidget(marker);
        owner->setFixedSize(22, 18);
        break;
    case HandleType::Plain:
    default:
        layout->addWidget(marker);
        owner->setFixedSize(15, 15);
        break;
    }
    owner->setLayout(layout);
    relayout();
}

// The labels are placed by the layout; it is run at once so that the hit
// area is right even before the handle has been shown.
void SliderHandle::SliderHandleImpl::relayout()
{
    if (QLayout* layout = owner->layout()) {
        layout->invalidate();
        layout->activate();
    }
}

void SliderHandle::SliderHandleImpl::refresh()
{
    const QString sheet = m_styles.value(type).value(state);
    if (owner->styleSheet() != sheet)
        owner->setStyleSheet(sheet);
}

bool SliderHandle::SliderHandleImpl::hit(const QPoint& pos) const
{
    for (const QLabel* label : {text, marker}) {
        if (!label)
            continue;
        const QRect geometry = label->geometry();
        if (!geometry.isNull() && geometry.contains(pos))
            return true;
    }
    return false;
}

void SliderHandle::SliderHandleImpl::applyText(const QString& caption)
{
    if (!text)
        return;
    text->setText(caption);
    const int width = QFontMetrics(text->font()).horizontalAdvance(caption);
    owner->resize(qMax(kMinCaptionWidth, width), owner->height());
    relayout();
}

SliderHandle::SliderHandle(QWidget* parent, HandleType::Type type)
    : QWidget(parent), d(std::make_unique<SliderHandleImpl>(this))
{
    if (SliderHandleImpl::m_styles.isEmpty())
        SliderHandleImpl::fillStyles();
    setType(type);
    setAttribute(Qt::WA_MouseTracking);
    show();
}

SliderHandle::~SliderHandle() = default;

HandleType::Type SliderHandle::getType() const
{
    return d->type;
}

QString SliderHandle::getText() const
{
    return d->text ? d->text->text() : QString();
}

bool SliderHandle::isPressed() const
{
    return d->buttons != Qt::NoButton;
}

void SliderHandle::setType(HandleType::Type type)
{
    const QString caption = d->text ? d->text->text() : QString();

    delete d->text;
    d->text = nullptr;
    delete d->marker;
    d->marker = nullptr;
    d->type = HandleType::Plain;
    delete layout();

    // Undo the size constraints of the previous kind before the new shape.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

    d->type = type;
    d->init();
    d->refresh();

    if (!caption.isEmpty())
        d->applyText(caption);
}

void SliderHandle::setText(const QString& text)
{
    d->applyText(text);
}

void SliderHandle::setEnabled(bool enabled)
{
    QWidget::setEnabled(enabled);
    if (!enabled)
        d->state = Disabled;
    else
        d->state = isPressed() ? Pressed : Normal;
    d->refresh();
}

void SliderHandle::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (d->hit(pos)) {
        d->buttons = event->buttons();
        d->state = Pressed;
        if (d->buttons & Qt::LeftButton) {
            d->pressPos = pos;
            event->accept();
        }
        emit pressed(event->button());
    } else {
        event->ignore();
    }
    d->refresh();
}

void SliderHandle::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (d->buttons != Qt::NoButton) {
        d->state = Pressed;
        if ((event->buttons() & Qt::LeftButton) && (d->buttons & Qt::LeftButton)) {
            const int dx = pos.x() - d->pressPos.x();
            const QPoint oldPos = this->pos();
            move(x() + dx, y());
            emit moved(oldPos);
        }
    } else if (d->hit(pos)) {
        d->state = Hover;
        event->accept();
    } else {
        d->state = Normal;
        event->ignore();
    }
    d->refresh();
}

void SliderHandle::mouseReleaseEvent(QMouseEvent* event)
{
    // Slots of the ruler may remove this handle while it still handles the
    // event; deletion is always deferred, so the handle itself stays valid.
    emit released(event->button());

    const QPoint pos = event->position().toPoint();
    const bool onHandle = d->hit(pos);
    if (onHandle && (d->buttons & event->button())) {
        event->accept();
        emit mouseClicked(event->button(), pos, event->globalPosition().toPoint());
    } else if (!onHandle) {
        event->ignore();
    }

    d->buttons = event->buttons();
    if (d->buttons == Qt::NoButton)
        d->state = onHandle ? Hover : Normal;
    d->refresh();
}

void SliderHandle::enterEvent(QEnterEvent* event)
{
    if (d->hit(mapFromGlobal(QCursor::pos()))) {
        d->state = isPressed() ? Pressed : Hover;
        event->accept();
        d->refresh();
    } else {
        event->ignore();
    }
}

void SliderHandle::leaveEvent(QEvent* event)
{
    d->state = Normal;
    event->accept();
    d->refresh();
}

void SliderHandle::paintEvent(QPaintEvent*)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

} // namespace TW
