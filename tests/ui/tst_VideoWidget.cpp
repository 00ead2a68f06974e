// The video view's gestures: quick clicks zoom, a left drag frames an area,
// a right drag pans.
#include "ui/VideoWidget.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace TW;

class tst_VideoWidget : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void quickClicks();
    void leftDrag_data();
    void leftDrag();
    void rightDragPans();
    void otherButtonsAreIgnored();
    void renderingWidgetFillsTheView();

private:
    // A view of 400 x 300 pixels on screen.
    static std::unique_ptr<VideoWidget> shownView(QSize size = QSize(400, 300));
    // Longer than half the double-click interval: a press held this long is
    // a drag, not a click.
    int m_hold = 0;
};

std::unique_ptr<VideoWidget> tst_VideoWidget::shownView(QSize size)
{
    auto view = std::make_unique<VideoWidget>();
    view->resize(size);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    return view;
}

void tst_VideoWidget::initTestCase()
{
    QApplication::setDoubleClickInterval(100);
    m_hold = QApplication::doubleClickInterval() / 2 + 30;
}

void tst_VideoWidget::quickClicks()
{
    const auto shown = shownView();
    QVERIFY(shown);
    VideoWidget &view = *shown;
    QSignalSpy in(&view, &VideoWidget::zoomIn);
    QSignalSpy out(&view, &VideoWidget::zoomOut);
    QSignalSpy area(&view, &VideoWidget::zoom);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    QCOMPARE(in.count(), 1);
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(50, 50));
    QCOMPARE(out.count(), 1);
    QCOMPARE(area.count(), 0);
    QVERIFY(!view.getOverlay()->isVisible());
}

void tst_VideoWidget::leftDrag_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("zooms");
    QTest::addColumn<QRectF>("area");
    QTest::newRow("too narrow") << QPoint(100, 100) << QPoint(102, 149) << false << QRectF();
    QTest::newRow("four by four") << QPoint(100, 100) << QPoint(103, 103) << true
                                  << QRectF(100 / 400.0, 100 / 300.0, 4 / 400.0, 4 / 300.0);
    QTest::newRow("upwards to the left") << QPoint(200, 150) << QPoint(100, 75) << true
                                         << QRectF(100 / 400.0, 75 / 300.0, 101 / 400.0, 76 / 300.0);
    QTest::newRow("beyond the top left") << QPoint(50, 40) << QPoint(-30, -20) << true
                                         << QRectF(0.0, 0.0, 51 / 400.0, 41 / 300.0);
}

void tst_VideoWidget::leftDrag()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(bool, zooms);
    QFETCH(QRectF, area);
    const auto shown = shownView();
    QVERIFY(shown);
    VideoWidget &view = *shown;
    QSignalSpy in(&view, &VideoWidget::zoomIn);
    QSignalSpy zoom(&view, &VideoWidget::zoom);
    QWidget *vp = view.viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    QVERIFY(view.getOverlay()->isVisible());
    QTest::qWait(m_hold);
    QTest::mouseMove(vp, to);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    QVERIFY(!view.getOverlay()->isVisible());
    QCOMPARE(in.count(), 0);
    QCOMPARE(zoom.count(), zooms ? 1 : 0);
    if (zooms) {
        const QRectF got = zoom.at(0).at(0).toRectF();
        QVERIFY2(qAbs(got.x() - area.x()) < 1e-9 && qAbs(got.y() - area.y()) < 1e-9
                     && qAbs(got.width() - area.width()) < 1e-9 && qAbs(got.height() - area.height()) < 1e-9,
                 qPrintable(QStringLiteral("got %1 %2 %3 %4").arg(got.x()).arg(got.y()).arg(got.width()).arg(got.height())));
    }
}

void tst_VideoWidget::rightDragPans()
{
    const auto shown = shownView();
    QVERIFY(shown);
    VideoWidget &view = *shown;
    QSignalSpy out(&view, &VideoWidget::zoomOut);
    QSignalSpy zoom(&view, &VideoWidget::zoom);
    QWidget *vp = view.viewport();
    QTest::mousePress(vp, Qt::RightButton, {}, QPoint(100, 100));
    QTest::qWait(m_hold);
    QTest::mouseMove(vp, QPoint(140, 100));
    QTest::mouseMove(vp, QPoint(140, 130));
    QTest::mouseRelease(vp, Qt::RightButton, {}, QPoint(140, 130));
    QCOMPARE(zoom.count(), 2);
    const QRectF first = zoom.at(0).at(0).toRectF();
    QCOMPARE(first.x(), -40 / 400.0); // moving right gives a negative x
    QCOMPARE(first.y(), 0.0);
    QCOMPARE(first.width(), 1.0);
    QCOMPARE(first.height(), 1.0);
    QCOMPARE(zoom.at(1).at(0).toRectF().y(), -30 / 300.0);
    QCOMPARE(out.count(), 0);
}

void tst_VideoWidget::otherButtonsAreIgnored()
{
    const auto shown = shownView();
    QVERIFY(shown);
    VideoWidget &view = *shown;
    QSignalSpy in(&view, &VideoWidget::zoomIn);
    QSignalSpy out(&view, &VideoWidget::zoomOut);
    QSignalSpy zoom(&view, &VideoWidget::zoom);
    QWidget *vp = view.viewport();
    QTest::mouseClick(vp, Qt::MiddleButton, {}, QPoint(10, 10));
    // A right press while the left button is tracked is ignored.
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mousePress(vp, Qt::RightButton, Qt::KeyboardModifiers(), QPoint(12, 12));
    QTest::mouseRelease(vp, Qt::RightButton, {}, QPoint(12, 12));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(12, 12));
    QCOMPARE(out.count(), 0);
    QCOMPARE(in.count(), 1);
    QCOMPARE(zoom.count(), 0);
}

void tst_VideoWidget::renderingWidgetFillsTheView()
{
    const auto shown = shownView(QSize(321, 123));
    QVERIFY(shown);
    VideoWidget &view = *shown;
    QTRY_COMPARE(view.getRenderingWidget()->size(), QSize(321, 123));
    view.resize(500, 260);
    QTRY_COMPARE(view.getRenderingWidget()->size(), QSize(500, 260));
}

QTEST_MAIN(tst_VideoWidget)
#include "tst_VideoWidget.moc"
