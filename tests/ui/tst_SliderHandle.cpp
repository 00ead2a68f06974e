#include "ui/SliderHandle.h"

#include "TestEnv.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using TW::HandleType::Type;
using TW::SliderHandle;

Q_DECLARE_METATYPE(Type)

namespace {

// The state a handle shows, read back from the image its style sheet names
// (-U normal, -F hover, -D pressed, -X disabled).
QString lookOf(const SliderHandle& handle)
{
    const QString sheet = handle.styleSheet();
    for (const char* suffix : {"-U", "-F", "-D", "-X"}) {
        if (sheet.contains(QLatin1String(suffix) + QLatin1Char(')'))
            || sheet.contains(QLatin1String(suffix) + QLatin1Char(' ')))
            return QLatin1String(suffix);
    }
    return QString();
}

} // namespace

class SliderHandleTest : public QObject
{
    Q_OBJECT

private:
    QWidget* parent = nullptr;

    QPoint markerCentre(SliderHandle* handle)
    {
        auto* marker = handle->findChild<QLabel*>(QStringLiteral("markerWgt"));
        return marker->geometry().center();
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
    }

    void init()
    {
        parent = new QWidget;
        parent->resize(400, 100);
        parent->show();
        QVERIFY(QTest::qWaitForWindowExposed(parent));
    }

    void cleanup()
    {
        delete parent;
        parent = nullptr;
    }

    void shapeByType_data()
    {
        QTest::addColumn<Type>("type");
        QTest::addColumn<QSize>("size"); // empty when the caption decides
        QTest::addColumn<bool>("hasText");
        QTest::newRow("plain") << TW::HandleType::Plain << QSize(15, 15) << false;
        QTest::newRow("bookmark") << TW::HandleType::Bookmark << QSize() << true;
        QTest::newRow("loop start") << TW::HandleType::LoopStart << QSize() << true;
        QTest::newRow("loop end") << TW::HandleType::LoopEnd << QSize() << true;
        QTest::newRow("indicator") << TW::HandleType::PositionIndicator << QSize(18, 21) << false;
        QTest::newRow("selection start") << TW::HandleType::SelectionStart << QSize(22, 18) << false;
        QTest::newRow("selection end") << TW::HandleType::SelectionEnd << QSize(22, 18) << false;
    }

    void shapeByType()
    {
        QFETCH(Type, type);
        QFETCH(QSize, size);
        QFETCH(bool, hasText);

        SliderHandle handle(parent, type);
        QCOMPARE(handle.getType(), type);
        QVERIFY(handle.isVisible());
        QVERIFY(handle.findChild<QLabel*>(QStringLiteral("markerWgt")));
        QCOMPARE(handle.findChild<QLabel*>(QStringLiteral("textWgt")) != nullptr, hasText);

        handle.setText(QStringLiteral("Caption"));
        if (hasText) {
            const QFontMetrics metrics(handle.findChild<QLabel*>(QStringLiteral("textWgt"))->font());
            QCOMPARE(handle.getText(), QStringLiteral("Caption"));
            QCOMPARE(handle.height(), 13 + metrics.height());
            QCOMPARE(handle.width(), qMax(10, metrics.horizontalAdvance(QStringLiteral("Caption"))));
        } else {
            // Kinds without a caption ignore it.
            QVERIFY(handle.getText().isNull());
            QCOMPARE(handle.size(), size);
        }
    }

    void captionWidthNeverBelowTen()
    {
        SliderHandle handle(parent, TW::HandleType::Bookmark);
        handle.setText(QStringLiteral("A much longer caption"));
        QVERIFY(handle.width() > 10);
        handle.setText(QString());
        QCOMPARE(handle.width(), 10);
        handle.setText(QStringLiteral("i"));
        QCOMPARE(handle.width(), 10);
    }

    void typeChangeCarriesOrDropsCaption()
    {
        SliderHandle handle(parent, TW::HandleType::Bookmark);
        handle.setText(QStringLiteral("M7"));
        handle.setType(TW::HandleType::LoopStart);
        QCOMPARE(handle.getType(), TW::HandleType::LoopStart);
        QCOMPARE(handle.getText(), QStringLiteral("M7"));

        handle.setType(TW::HandleType::PositionIndicator);
        QVERIFY(handle.getText().isNull());
        QCOMPARE(handle.size(), QSize(18, 21));
        handle.setType(TW::HandleType::Bookmark);
        QCOMPARE(handle.getText(), QString()); // gone for good
        QCOMPARE(handle.width(), 10);
    }

    void leftDragMovesSidewaysOnly()
    {
        SliderHandle handle(parent, TW::HandleType::PositionIndicator);
        handle.move(100, 19);
        QSignalSpy pressed(&handle, &SliderHandle::pressed);
        QSignalSpy moved(&handle, &SliderHandle::moved);
        QSignalSpy released(&handle, &SliderHandle::released);
        QSignalSpy clicked(&handle, &SliderHandle::mouseClicked);

        QWindow* window = parent->windowHandle();
        const QPoint grab = QPoint(109, 29);
        QTest::mousePress(window, Qt::LeftButton, {}, grab);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
        QVERIFY(handle.isPressed());

        QTest::mouseMove(window, grab + QPoint(25, 13));
        QCOMPARE(handle.pos(), QPoint(125, 19));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toPoint(), QPoint(100, 19));

        QTest::mouseMove(window, grab + QPoint(15, -40));
        QCOMPARE(handle.pos(), QPoint(115, 19));
        QCOMPARE(moved.at(1).at(0).toPoint(), QPoint(125, 19));

        // Released under the pointer, which the handle kept under itself.
        QTest::mouseRelease(window, Qt::LeftButton, {}, grab + QPoint(15, 0));
        QCOMPARE(released.count(), 1);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
        QVERIFY(!handle.isPressed());
    }

    void rightButtonClicksWithoutDragging()
    {
        SliderHandle handle(parent, TW::HandleType::LoopEnd);
        handle.setText(QStringLiteral("L1"));
        handle.move(100, 30);
        QSignalSpy pressed(&handle, &SliderHandle::pressed);
        QSignalSpy moved(&handle, &SliderHandle::moved);
        QSignalSpy released(&handle, &SliderHandle::released);
        QSignalSpy clicked(&handle, &SliderHandle::mouseClicked);

        QWindow* window = parent->windowHandle();
        const QPoint at = handle.pos() + markerCentre(&handle);
        QTest::mousePress(window, Qt::RightButton, {}, at);
        QCOMPARE(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
        QCOMPARE(lookOf(handle), QStringLiteral("-D"));
        QTest::mouseMove(window, at + QPoint(30, 0));
        QCOMPARE(handle.pos(), QPoint(100, 30));
        QCOMPARE(moved.count(), 0);
        QTest::mouseRelease(window, Qt::RightButton, {}, at);
        QCOMPARE(released.count(), 1);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
        QCOMPARE(clicked.at(0).at(2).toPoint(), parent->mapToGlobal(at));
    }

    void releaseOffHandleIsNoClick()
    {
        SliderHandle handle(parent, TW::HandleType::Plain);
        handle.move(50, 50);
        QSignalSpy released(&handle, &SliderHandle::released);
        QSignalSpy clicked(&handle, &SliderHandle::mouseClicked);
        QWindow* window = parent->windowHandle();
        QTest::mousePress(window, Qt::RightButton, {}, QPoint(57, 57));
        QTest::mouseRelease(window, Qt::RightButton, {}, QPoint(200, 90));
        QCOMPARE(released.count(), 1);
        QCOMPARE(clicked.count(), 0);
        QVERIFY(!handle.isPressed());
    }

    // Beside a narrow marker under a wide caption lies no handle: the press
    // belongs to the widget below.
    void pressBesideMarkerReachesParent()
    {
        class Recorder : public QWidget
        {
        public:
            using QWidget::QWidget;
            int presses = 0;

        protected:
            void mousePressEvent(QMouseEvent*) override { ++presses; }
        };
        auto* below = new Recorder(parent);
        below->setGeometry(0, 0, 400, 100);
        below->show();
        SliderHandle handle(below, TW::HandleType::Bookmark);
        handle.setText(QStringLiteral("A long bookmark caption"));
        handle.move(100, 0);
        QVERIFY(handle.width() > 40);
        QSignalSpy pressed(&handle, &SliderHandle::pressed);

        QWindow* window = parent->windowHandle();
        const QPoint marker = handle.pos() + markerCentre(&handle);
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(handle.x() + 2, marker.y()));
        QCOMPARE(pressed.count(), 0);
        QCOMPARE(below->presses, 1);

        QTest::mouseClick(window, Qt::LeftButton, {}, marker);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(below->presses, 1);
        // The caption is part of the handle too.
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(handle.x() + 2, handle.y() + 3));
        QCOMPARE(pressed.count(), 2);
    }

    void looksFollowHoverPressAndDisable()
    {
        SliderHandle handle(parent, TW::HandleType::Bookmark);
        handle.setText(QStringLiteral("M1"));
        handle.move(100, 0);
        QWindow* window = parent->windowHandle();
        const QPoint at = handle.pos() + markerCentre(&handle);

        QCOMPARE(lookOf(handle), QStringLiteral("-U"));
        QTest::mouseMove(window, at);
        QCOMPARE(lookOf(handle), QStringLiteral("-F"));
        QTest::mousePress(window, Qt::LeftButton, {}, at);
        QCOMPARE(lookOf(handle), QStringLiteral("-D"));
        QTest::mouseRelease(window, Qt::LeftButton, {}, at);
        QCOMPARE(lookOf(handle), QStringLiteral("-F"));

        handle.setEnabled(false);
        QCOMPARE(lookOf(handle), QStringLiteral("-X"));
        QVERIFY(!handle.isEnabled());
        handle.setEnabled(true);
        QCOMPARE(lookOf(handle), QStringLiteral("-U"));

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&handle, &leave);
        QCOMPARE(lookOf(handle), QStringLiteral("-U"));
    }

    void selectionHandleLooksTheSameInEveryState()
    {
        SliderHandle handle(parent, TW::HandleType::SelectionStart);
        handle.move(100, 19);
        const QString normal = handle.styleSheet();
        QWindow* window = parent->windowHandle();
        QTest::mouseMove(window, QPoint(110, 28));
        QCOMPARE(handle.styleSheet(), normal);
        QTest::mousePress(window, Qt::LeftButton, {}, QPoint(110, 28));
        QCOMPARE(handle.styleSheet(), normal);
        QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(110, 28));
        handle.setEnabled(false);
        QCOMPARE(handle.styleSheet(), normal);
    }
};

QTEST_MAIN(SliderHandleTest)
#include "tst_SliderHandle.moc"
