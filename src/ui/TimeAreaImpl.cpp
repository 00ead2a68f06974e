#include "ui/TimeAreaImpl.h"

#include "model/MediaTimeLine.h"
#include "ui/RulerScale.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QFile>
#include <QFontMetrics>
#include <QImageReader>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>

namespace TW {

namespace {

const int kIndicatorRow = 19;
const int kBookmarkRow = 0;
const int kLoopRow = 30;
// The marker of a bookmark or loop handle, under its caption.
const int kMarkerWidth = 10;
const int kMarkerHeight = 13;
const int kMinCaptionWidth = 10;
const QString kPendingLoopName = QStringLiteral("L");
const QString kLabelFormat = QStringLiteral("HH:mm:ss.zzz");

// Handles that leave the ruler are hidden at once and deleted once control
// is back in the event loop, since they may be the sender of the signal
// being handled.
void discard(SliderHandle* handle)
{
    if (!handle)
        return;
    handle->hide();
    handle->deleteLater();
}


// The marker pictures of the painted handles, by kind and state, drawn at
// the marker's size once. The state suffixes follow the program-wide rule
// (-U normal, -F hover, -D pressed, -X disabled). A picture missing from the
// resources is replaced by a block of plain colour, so that the handle
// stays visible and usable.
QPixmap markerPicture(HandleType::Type type, SliderHandle::State state, qreal ratio)
{
    struct Key
    {
        int type, state;
        qreal ratio;
        bool operator==(const Key& o) const { return type == o.type && state == o.state && ratio == o.ratio; }
    };
    static std::vector<std::pair<Key, QPixmap>> cache; // a dozen entries at most
    const Key key{int(type), int(state), ratio};
    for (const auto& entry : cache) {
        if (entry.first == key)
            return entry.second;
    }
    static const char* const suffixes[] = {"U", "F", "D", "X"};
    const char* name = type == HandleType::Bookmark ? "bookmark"
        : type == HandleType::LoopStart            ? "beginPointer"
                                                   : "endPointer";
    static const char* const colours[3][4] = {
        {"#e0c020", "#f0e060", "#a08010", "#707070"},
        {"#30b040", "#60e070", "#207828", "#707070"},
        {"#d03030", "#f06060", "#902020", "#707070"},
    };
    const int row = type == HandleType::Bookmark ? 0 : type == HandleType::LoopStart ? 1 : 2;
    const QSize size = QSize(kMarkerWidth, kMarkerHeight) * ratio;
    QPixmap picture;
    QImageReader reader(QStringLiteral(":/gui/%1-%2").arg(QLatin1String(name), QLatin1String(suffixes[state])));
    reader.setScaledSize(size);
    const QImage image = reader.read();
    if (!image.isNull()) {
        picture = QPixmap::fromImage(image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    } else {
        picture = QPixmap(size);
        picture.fill(QColor(QLatin1String(colours[row][state])));
        QPainter painter(&picture);
        painter.setPen(QColor(0x20, 0x20, 0x20));
        painter.drawRect(QRect(QPoint(0, 0), size).adjusted(0, 0, -1, -1));
    }
    picture.setDevicePixelRatio(ratio);
    cache.emplace_back(key, picture);
    return cache.back().second;
}

} // namespace

TimeAreaWidget::TimelineSource TimeAreaWidget::TimeAreaImpl::timelineSource;

TimeAreaWidget::TimeAreaImpl::TimeAreaImpl(TimeAreaWidget* owner, int leftOffset)
    : owner(owner), leftOffset(leftOffset)
{
    ctorSlider();
    ctorLoop();
}

TimeAreaWidget::TimeAreaImpl::~TimeAreaImpl() = default;

QSharedPointer<MediaTimeLine> TimeAreaWidget::TimeAreaImpl::timeline()
{
    if (!timelineSource)
        return {};
    return timelineSource();
}

RulerGeometry TimeAreaWidget::TimeAreaImpl::geometry() const
{
    return RulerGeometry::make(leftOffset, owner->width(), spaceFactor, frameCount);
}

int TimeAreaWidget::TimeAreaImpl::centreOf(const SliderHandle* handle)
{
    return handle->x() + handle->width() / 2;
}

void TimeAreaWidget::TimeAreaImpl::placeCentred(SliderHandle* handle, int x)
{
    handle->move(x - handle->width() / 2, handle->y());
}

void TimeAreaWidget::TimeAreaImpl::ctorSlider()
{
    currentFrame = 0;
    frameCount = 0;
    fps = 0.0;
    selection = PairInt(-1, -1);
    selectionValid = false;

    selStart = new SliderHandle(owner, HandleType::SelectionStart);
    selEnd = new SliderHandle(owner, HandleType::SelectionEnd);
    indicator = new SliderHandle(owner, HandleType::PositionIndicator);
    selStart->move(0, kIndicatorRow);
    selEnd->move(0, kIndicatorRow);
    indicator->move(0, kIndicatorRow);
    updateSelectionHandlePositions();

    arrow = new QLabel(owner);
    arrow->setAlignment(Qt::AlignCenter);
    arrow->setStyleSheet(QStringLiteral("border-image: url(:gui/arrow-slider);"));
    arrow->setFixedSize(80, 30);
    arrow->hide();

    connect(indicator, &SliderHandle::mouseClicked, owner, &TimeAreaWidget::onTimeIndicatorClicked);
    connect(indicator, &SliderHandle::moved, owner, &TimeAreaWidget::onTimeIndicatorMoved);
    connect(indicator, &SliderHandle::released, owner, &TimeAreaWidget::sliderReleased);
    connect(indicator, &SliderHandle::pressed, owner, &TimeAreaWidget::sliderPressed);
    connect(indicator, &SliderHandle::released, owner, &TimeAreaWidget::onTimeIndicatorReleased);
    connect(selStart, &SliderHandle::moved, owner, &TimeAreaWidget::onSelStartMoved);
    connect(selEnd, &SliderHandle::moved, owner, &TimeAreaWidget::onSelEndMoved);
}

void TimeAreaWidget::TimeAreaImpl::ctorLoop()
{
    tmpStart = nullptr;
    tmpEnd = nullptr;
    tmpLoop = VideoLoopPtr::create();
    tmpLoop->setName(kPendingLoopName);
}

void TimeAreaWidget::TimeAreaImpl::raiseFixed()
{
    selStart->raise();
    selEnd->raise();
    indicator->raise();
    arrow->raise();
}

void TimeAreaWidget::TimeAreaImpl::moveArrow(int x)
{
    int left = x - arrow->width() / 2;
    if (x > owner->width() - arrow->width() / 2)
        left = owner->width() - arrow->width();
    arrow->move(left, kIndicatorRow - arrow->height() / 2);
}

HandleType::Type TimeAreaWidget::TimeAreaImpl::HandleRef::type() const
{
    switch (kind) {
    case Bookmark:
        return HandleType::Bookmark;
    case LoopStart:
        return HandleType::LoopStart;
    case LoopEnd:
        return HandleType::LoopEnd;
    case None:
        break;
    }
    return HandleType::Plain;
}

void TimeAreaWidget::TimeAreaImpl::measure(Caption& caption, const QString& text) const
{
    if (caption.width > 0 && caption.text == text)
        return;
    caption.text = text;
    caption.width = owner->fontMetrics().horizontalAdvance(text);
}

int TimeAreaWidget::TimeAreaImpl::xOfBookmark(const VideoMarkerPtr& bookmark) const
{
    return xOfFrame(qint64(qMin<quint64>(bookmark->getFrame(), quint64(INT_MAX))));
}

int TimeAreaWidget::TimeAreaImpl::centreOf(const HandleRef& ref) const
{
    if (ref.isNull())
        return 0;
    if (!press.ref.isNull() && press.ref == ref)
        return press.centre;
    if (ref.kind == HandleRef::Bookmark)
        return xOfBookmark(ref.bookmark);
    return xOfFrame(ref.kind == HandleRef::LoopStart ? ref.loop->getStartFrame() : ref.loop->getEndFrame());
}

QRect TimeAreaWidget::TimeAreaImpl::handleRect(HandleType::Type type, int centre, int captionWidth) const
{
    const int width = qMax(kMinCaptionWidth, captionWidth);
    const int height = kMarkerHeight + owner->fontMetrics().height();
    const int top = type == HandleType::Bookmark ? kBookmarkRow : kLoopRow;
    return QRect(centre - width / 2, top, width, height);
}

QRect TimeAreaWidget::TimeAreaImpl::geometryOf(const HandleRef& ref) const
{
    if (ref.isNull())
        return {};
    if (!press.ref.isNull() && press.ref == ref)
        return handleRect(ref.type(), press.centre, press.captionWidth);
    if (ref.kind == HandleRef::Bookmark) {
        // Shown only when it stands for its place.
        const std::vector<Mark>& marks = bookmarkMarksNow();
        const int x = xOfBookmark(ref.bookmark);
        const auto it = std::lower_bound(marks.begin(), marks.end(), x,
                                         [](const Mark& m, int value) { return m.x < value; });
        if (it == marks.end() || it->x != x || it->ref != ref)
            return {};
        return handleRect(HandleType::Bookmark, x, it->captionWidth);
    }
    const auto it = loops.constFind(ref.loop.data());
    if (it == loops.cend())
        return {};
    return handleRect(ref.type(), centreOf(ref), it->caption.width);
}

int TimeAreaWidget::TimeAreaImpl::captionWidthOf(const HandleRef& ref) const
{
    if (ref.kind == HandleRef::Bookmark) {
        for (const BookmarkEntry& entry : bookmarks) {
            if (entry.bookmark == ref.bookmark)
                return entry.caption.width;
        }
        return 0;
    }
    const auto it = loops.constFind(ref.loop.data());
    return it == loops.cend() ? 0 : it->caption.width;
}

const std::vector<TimeAreaWidget::TimeAreaImpl::Mark>&
TimeAreaWidget::TimeAreaImpl::bookmarkMarksNow() const
{
    if (!bookmarkMarksDirty)
        return bookmarkMarks;
    bookmarkMarksDirty = false;
    bookmarkMarks.clear();
    bookmarkMarks.reserve(bookmarks.size());
    widestBookmarkCaption = 0;
    for (const BookmarkEntry& entry : bookmarks) {
        // A dragged bookmark is painted where the pointer holds it, apart
        // from the others; the next one at its place stands in for it there.
        if (press.ref.kind == HandleRef::Bookmark && press.ref.bookmark == entry.bookmark)
            continue;
        Mark mark;
        mark.x = xOfBookmark(entry.bookmark);
        mark.captionWidth = entry.caption.width;
        mark.ref.kind = HandleRef::Bookmark;
        mark.ref.bookmark = entry.bookmark;
        mark.text = &entry.caption.text;
        bookmarkMarks.push_back(mark);
    }
    // Stable: of the bookmarks at one place, the first shown stands for all.
    std::stable_sort(bookmarkMarks.begin(), bookmarkMarks.end(),
                     [](const Mark& a, const Mark& b) { return a.x < b.x; });
    bookmarkMarks.erase(std::unique(bookmarkMarks.begin(), bookmarkMarks.end(),
                                    [](const Mark& a, const Mark& b) { return a.x == b.x; }),
                        bookmarkMarks.end());
    for (const Mark& mark : bookmarkMarks)
        widestBookmarkCaption = qMax(widestBookmarkCaption, mark.captionWidth);
    return bookmarkMarks;
}

const std::vector<TimeAreaWidget::TimeAreaImpl::Mark>& TimeAreaWidget::TimeAreaImpl::loopMarksNow() const
{
    if (!loopMarksDirty)
        return loopMarks;
    loopMarksDirty = false;
    loopMarks.clear();
    loopMarks.reserve(size_t(loops.size()) * 2);
    widestLoopCaption = 0;
    for (const LoopEntry& entry : loops) {
        for (const HandleRef::Kind kind : {HandleRef::LoopStart, HandleRef::LoopEnd}) {
            Mark mark;
            mark.ref.kind = kind;
            mark.ref.loop = entry.loop;
            mark.x = centreOf(mark.ref);
            mark.captionWidth = entry.caption.width;
            mark.text = &entry.caption.text;
            mark.order = entry.order;
            loopMarks.push_back(mark);
        }
        widestLoopCaption = qMax(widestLoopCaption, entry.caption.width);
    }
    // At one place the handles of a kind go in the order their loops were
    // shown: the last one shown is painted on top and found first.
    std::sort(loopMarks.begin(), loopMarks.end(), [](const Mark& a, const Mark& b) {
        if (a.x != b.x)
            return a.x < b.x;
        if (a.ref.kind != b.ref.kind)
            return a.ref.kind < b.ref.kind;
        return a.order < b.order;
    });
    return loopMarks;
}

TimeAreaWidget::TimeAreaImpl::HandleRef TimeAreaWidget::TimeAreaImpl::handleAt(const QPoint& pos) const
{
    const int fontHeight = owner->fontMetrics().height();
    // Caption above marker, both centred on the handle's x; the space of a
    // wide handle beside its narrow marker is no hit.
    auto hits = [&](HandleType::Type type, int centre, int captionWidth) {
        const QRect outer = handleRect(type, centre, captionWidth);
        const QRect caption(outer.x() + (outer.width() - captionWidth) / 2, outer.y(), captionWidth,
                            fontHeight);
        const QRect marker(outer.x() + (outer.width() - kMarkerWidth) / 2, outer.y() + fontHeight,
                           kMarkerWidth, kMarkerHeight);
        return (captionWidth > 0 && caption.contains(pos)) || marker.contains(pos);
    };
    auto search = [&](const std::vector<Mark>& marks, int widest, HandleType::Type type) -> HandleRef {
        const int reach = qMax(widest, kMinCaptionWidth) / 2 + 1;
        auto it = std::lower_bound(marks.begin(), marks.end(), pos.x() - reach,
                                   [](const Mark& m, int x) { return m.x < x; });
        // Of overlapping handles the one shown last (the rightmost) is on top.
        HandleRef found;
        for (; it != marks.end() && it->x <= pos.x() + reach; ++it) {
            if (hits(type, it->x, it->captionWidth))
                found = it->ref;
        }
        return found;
    };

    // The handle being dragged stands above all others.
    if (!press.ref.isNull() && hits(press.ref.type(), press.centre, press.captionWidth))
        return press.ref;
    if (pos.y() < kLoopRow) {
        const HandleRef ref = search(bookmarkMarksNow(), widestBookmarkCaption, HandleType::Bookmark);
        if (!ref.isNull())
            return ref;
    }
    return search(loopMarksNow(), widestLoopCaption, HandleType::LoopStart);
}

SliderHandle::State TimeAreaWidget::TimeAreaImpl::stateOf(const HandleRef& ref) const
{
    if (!owner->isEnabled())
        return SliderHandle::Disabled;
    if (!press.ref.isNull() && press.ref == ref)
        return SliderHandle::Pressed;
    if (!hovered.isNull() && hovered == ref)
        return SliderHandle::Hover;
    return SliderHandle::Normal;
}

void TimeAreaWidget::TimeAreaImpl::paintHandle(QPainter& painter, HandleType::Type type,
                                               SliderHandle::State state, int centre,
                                               int captionWidth, const QString& text) const
{
    const QRect outer = handleRect(type, centre, captionWidth);
    const int fontHeight = painter.fontMetrics().height();
    if (!text.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(QRect(outer.x(), outer.y(), outer.width(), fontHeight), Qt::AlignCenter, text);
    }
    const QRect marker(outer.x() + (outer.width() - kMarkerWidth) / 2, outer.y() + fontHeight,
                       kMarkerWidth, kMarkerHeight);
    painter.drawPixmap(marker, markerPicture(type, state, owner->devicePixelRatioF()));
}

void TimeAreaWidget::TimeAreaImpl::paintHandles(QPainter& painter, const QRect& area) const
{
    auto paintMarks = [&](const std::vector<Mark>& marks, int widest, HandleType::Type rowType) {
        const int reach = qMax(widest, kMinCaptionWidth) / 2 + 1;
        auto it = std::lower_bound(marks.begin(), marks.end(), area.left() - reach,
                                   [](const Mark& m, int x) { return m.x < x; });
        for (; it != marks.end() && it->x <= area.right() + reach; ++it) {
            // A handle of the same kind at the same place would cover this
            // one: thousands of loops over a short clip paint as few.
            const auto next = it + 1;
            if (next != marks.end() && next->x == it->x && next->ref.kind == it->ref.kind
                && next->captionWidth >= it->captionWidth && stateOf(it->ref) == SliderHandle::Normal)
                continue;
            const HandleType::Type type = rowType == HandleType::Bookmark ? rowType : it->ref.type();
            paintHandle(painter, type, stateOf(it->ref), it->x, it->captionWidth, *it->text);
        }
    };
    paintMarks(bookmarkMarksNow(), widestBookmarkCaption, HandleType::Bookmark);
    paintMarks(loopMarksNow(), widestLoopCaption, HandleType::LoopStart);
    // The handle being dragged, above the others.
    if (press.ref.kind == HandleRef::Bookmark) {
        paintHandle(painter, HandleType::Bookmark, stateOf(press.ref), press.centre, press.captionWidth,
                    press.ref.bookmark->getName());
    }
}

void TimeAreaWidget::TimeAreaImpl::repaintHandle(const HandleRef& ref)
{
    if (ref.isNull())
        return;
    const QRect rect = geometryOf(ref);
    if (!rect.isNull())
        owner->update(rect.adjusted(-1, -1, 1, 1));
}

void TimeAreaWidget::TimeAreaImpl::bookmarksChanged()
{
    bookmarkMarksDirty = true;
    owner->update();
}

void TimeAreaWidget::TimeAreaImpl::loopsChanged()
{
    loopMarksDirty = true;
    positionsDirty = true;
    owner->update();
}

void TimeAreaWidget::TimeAreaImpl::setHovered(const HandleRef& ref)
{
    if (ref == hovered)
        return;
    repaintHandle(hovered);
    hovered = ref;
    repaintHandle(hovered);
}

void TimeAreaWidget::TimeAreaImpl::ensurePositions()
{
    if (!positionsDirty)
        return;
    positionsDirty = false;
    positions.clear();
    for (const Mark& mark : loopMarksNow())
        positions.insert(mark.x, PositionKey{mark.ref, nullptr});
    for (SliderHandle* pending : {tmpStart, tmpEnd}) {
        if (pending)
            positions.insert(centreOf(pending), PositionKey{HandleRef(), pending});
    }
}

bool TimeAreaWidget::TimeAreaImpl::acceptLoopHandleMove(const PositionKey& key, int oldCentre,
                                                        int newCentre)
{
    if (!isOnRuler(newCentre))
        return false;
    if (positionsDirty) {
        ensurePositions();
        // A handle widget has already moved when it reports the step: the
        // map is to hold it where it stood before.
        if (key.widget) {
            for (auto it = positions.begin(); it != positions.end();) {
                if (it->widget == key.widget)
                    it = positions.erase(it);
                else
                    ++it;
            }
            positions.insert(oldCentre, key);
        }
    }

    // The neighbours are the nearest handles on either side of the old place.
    auto next = positions.upperBound(oldCentre);
    auto prev = positions.lowerBound(oldCentre);
    const bool hasNext = next != positions.end();
    const bool hasPrev = prev != positions.begin();
    if (hasPrev)
        --prev;

    const bool accepted = (!hasPrev || newCentre > prev.key() + 1)
        && (!hasNext || newCentre < next.key() - 1);
    if (!accepted)
        return false;

    auto own = positions.find(oldCentre);
    if (own != positions.end() && own->widget == key.widget && own->ref == key.ref)
        positions.erase(own);
    positions.insert(newCentre, key);
    return true;
}

void TimeAreaWidget::TimeAreaImpl::updatePendingHandles()
{
    if (tmpStart) {
        placeCentred(tmpStart, xOfFrame(tmpLoop->getStartFrame()));
        tmpStart->setText(tmpLoop->getName());
    }
    if (tmpEnd) {
        placeCentred(tmpEnd, xOfFrame(tmpLoop->getEndFrame()));
        tmpEnd->setText(tmpLoop->getName());
    }
    positionsDirty = true;
}


void TimeAreaWidget::TimeAreaImpl::updateTimeIndicatorPosition()
{
    if (currentFrame > frameCount)
        currentFrame = frameCount;
    if (!indicator->isPressed())
        placeCentred(indicator, xOfFrame(currentFrame));
}

void TimeAreaWidget::TimeAreaImpl::updateSelectionHandlePositions()
{
    if (geometry().span == 0)
        return;
    if (selectionValid) {
        selection.second = qMin(selection.second, frameCount);
        selection.first = qMin(selection.first, selection.second);
        const int xs = xOfFrame(selection.first);
        const int xe = xOfFrame(selection.second);
        selStart->move(xs - selStart->width(), selStart->y());
        selEnd->move(xe, selEnd->y());
    } else {
        selStart->move(indicator->x() + 8 - selStart->width(), selStart->y());
        selEnd->move(indicator->x() + indicator->width() - 8, selEnd->y());
    }
}

void TimeAreaWidget::TimeAreaImpl::addBookmark(const QPoint& pos)
{
    if (!isOnRuler(pos.x()))
        return;
    const int frame = frameAt(pos.x());
    const QSharedPointer<MediaTimeLine> line = timeline();
    if (!line) {
        qDebug() << "TimeAreaWidget: no project timeline for a new bookmark";
        return;
    }
    const VideoMarkerPtr bookmark = line->allocBookmark(frame);
    if (bookmark)
        emit owner->addBookmarkRequested(bookmark);
}

bool TimeAreaWidget::TimeAreaImpl::canAddLoopMarkerHere(const QPoint& pos) const
{
    if (!isOnRuler(pos.x()))
        return false;
    if (tmpStart && pos.x() == centreOf(tmpStart))
        return false;
    if (tmpEnd && pos.x() == centreOf(tmpEnd))
        return false;
    const int frame = frameAt(pos.x());
    for (const LoopEntry& entry : loops) {
        if (entry.loop->getStartFrame() <= frame && frame <= entry.loop->getEndFrame())
            return false;
    }
    return true;
}

bool TimeAreaWidget::TimeAreaImpl::isOverlapOtherLoop(int a, int b) const
{
    const int lo = qMin(a, b);
    const int hi = qMax(a, b);
    for (const LoopEntry& entry : loops) {
        if (entry.loop->getStartFrame() >= lo && entry.loop->getEndFrame() <= hi)
            return true;
    }
    return false;
}

void TimeAreaWidget::TimeAreaImpl::addLoopHandle(const QPoint& pos, bool isStart)
{
    if (!canAddLoopMarkerHere(pos))
        return;
    const int frame = frameAt(pos.x());
    if (isStart) {
        if (tmpLoop->getEndFrame() != -1 && isOverlapOtherLoop(frame, tmpLoop->getEndFrame()))
            return;
    } else {
        if (tmpLoop->getStartFrame() != -1 && isOverlapOtherLoop(tmpLoop->getStartFrame(), frame))
            return;
    }

    clearLoopHandle(isStart);
    initLoopHandle(pos, isStart);

    if (isStart ? tmpEnd != nullptr : tmpStart != nullptr) {
        verifyTmpLoopHandlesPositions();
        createLoop();
        clearLoopHandle(true);
        clearLoopHandle(false);
    }
}

void TimeAreaWidget::TimeAreaImpl::initLoopHandle(const QPoint& pos, bool isStart)
{
    auto* handle = new SliderHandle(owner, isStart ? HandleType::LoopStart : HandleType::LoopEnd);
    positionsDirty = true;
    handle->setText(tmpLoop->getName());
    handle->move(pos.x() - handle->width() / 2, kLoopRow);

    connect(handle, &SliderHandle::moved, owner, &TimeAreaWidget::onLoopHandleMoved);
    connect(handle, &SliderHandle::mouseClicked, owner, &TimeAreaWidget::onLoopHandleClicked);

    const int frame = frameAt(pos.x());
    if (isStart) {
        tmpStart = handle;
        tmpLoop->setStartFrame(frame);
    } else {
        tmpEnd = handle;
        tmpLoop->setEndFrame(frame);
    }
    raiseFixed();
}

void TimeAreaWidget::TimeAreaImpl::clearLoopHandle(bool isStart)
{
    SliderHandle*& handle = isStart ? tmpStart : tmpEnd;
    if (!handle)
        return;
    positionsDirty = true;
    discard(handle);
    handle = nullptr;
    if (isStart)
        tmpLoop->setStartFrame(-1);
    else
        tmpLoop->setEndFrame(-1);
}

void TimeAreaWidget::TimeAreaImpl::verifyTmpLoopHandlesPositions()
{
    if (!tmpStart || !tmpEnd || tmpStart->x() < tmpEnd->x())
        return;

    const QString startText = tmpStart->getText();
    tmpStart->setText(tmpEnd->getText());
    tmpEnd->setText(startText);

    const int startFrame = tmpLoop->getStartFrame();
    tmpLoop->setStartFrame(tmpLoop->getEndFrame());
    tmpLoop->setEndFrame(startFrame);

    // A handle changing its kind keeps its centre.
    const int startCentre = centreOf(tmpStart);
    const int endCentre = centreOf(tmpEnd);
    tmpStart->setType(HandleType::LoopEnd);
    tmpEnd->setType(HandleType::LoopStart);
    placeCentred(tmpStart, startCentre);
    placeCentred(tmpEnd, endCentre);
    std::swap(tmpStart, tmpEnd);
    positionsDirty = true;
}

void TimeAreaWidget::TimeAreaImpl::createLoop()
{
    const int start = frameAt(centreOf(tmpStart));
    const int end = frameAt(centreOf(tmpEnd));
    const QSharedPointer<MediaTimeLine> line = timeline();
    if (line) {
        const VideoLoopPtr loop = line->allocLoop(start, end);
        if (loop)
            emit owner->addLoopRequested(loop);
    } else {
        qDebug() << "TimeAreaWidget: no project timeline for a new loop";
    }
    tmpLoop = VideoLoopPtr::create();
    tmpLoop->setName(kPendingLoopName);
}

qint64 TimeAreaWidget::TimeAreaImpl::calcTimestampLength(QPainter& painter) const
{
    const int labelWidth = painter.fontMetrics().horizontalAdvance(kLabelFormat);
    return RulerScale::labelInterval(geometry(), fps, labelWidth);
}

void TimeAreaWidget::TimeAreaImpl::drawTimestamps(QPaintEvent* event, QPainter& painter) const
{
    painter.setPen(Qt::white);
    painter.drawLine(leftOffset, kIndicatorRow, owner->width(), kIndicatorRow);

    const QFontMetrics metrics = painter.fontMetrics();
    const int ascent = metrics.ascent();
    const bool labelled = fps != 0.0 && frameCount != 0;
    const QRect area = event->rect();
    const QVector<RulerScale::Tick> ticks =
        RulerScale::ticks(geometry(), fps, metrics.horizontalAdvance(kLabelFormat), area.left(),
                          area.right());
    for (const RulerScale::Tick& tick : ticks) {
        if (tick.major) {
            painter.drawLine(tick.x, kIndicatorRow, tick.x, kIndicatorRow + ascent);
            if (labelled)
                painter.drawText(QPoint(tick.x, owner->height() - 1), RulerScale::label(tick.msecs));
        } else {
            painter.drawLine(tick.x, kIndicatorRow, tick.x, kIndicatorRow + ascent / 2);
        }
    }
}

void TimeAreaWidget::TimeAreaImpl::setCurrentAndNotify(int frame)
{
    currentFrame = qBound(0, frame, frameCount);
    updateTimeIndicatorPosition();
    updateSelectionHandlePositions();
    emit owner->frameChanged(currentFrame);
}

void TimeAreaWidget::TimeAreaImpl::moveToNearest(const QVector<int>& frames, bool forward)
{
    int best = INT_MAX;
    int target = -1;
    for (const int frame : frames) {
        const int distance = forward ? frame - currentFrame : currentFrame - frame;
        if (distance > 0 && distance < best) {
            best = distance;
            target = frame;
        }
    }
    if (target != -1)
        setCurrentAndNotify(target);
}

std::vector<const TimeAreaWidget::TimeAreaImpl::LoopEntry*> TimeAreaWidget::TimeAreaImpl::sortedLoops() const
{
    std::vector<const LoopEntry*> sorted;
    sorted.reserve(size_t(loops.size()));
    for (const LoopEntry& entry : loops)
        sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(), [](const LoopEntry* a, const LoopEntry* b) {
        const int sa = a->loop->getStartFrame();
        const int sb = b->loop->getStartFrame();
        return sa != sb ? sa < sb : a->order < b->order;
    });
    return sorted;
}

} // namespace TW
