// The main window as a keyboard and screen-reader user meets it: transport
// and edit keys wherever the focus is in the window (the position slider
// after a click on it, the timeline, a side panel slider) but not in a text
// field, where the keys type; the platform's keys for Redo and Quit; image
// buttons that name themselves and draw their images sharp at 200 %; and
// Qt's plugins looked for beside the program, not in the working folder.
#include "LogCapture.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "model/Media.h"
#include "ui/EditVideoWidget.h"
#include "ui/ImageStyle.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TopToolbarWidget.h"

#include <QAbstractButton>
#include <QDir>
#include <QImageReader>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

using namespace TW;

namespace {

QStringList slotsReached()
{
    QStringList out;
    for (const QString &m : TW::test::logLines()) {
        if (m.startsWith(QLatin1String("MainController::")))
            out << m.section(QLatin1Char(' '), 0, 0).mid(16);
    }
    return out;
}

} // namespace

class tst_MainWindowKeys : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void keysWhereverTheFocusIs_data();
    void keysWhereverTheFocusIs();
    void keysInATextFieldType_data();
    void keysInATextFieldType();
    void redoAndUndoKeys_data();
    void redoAndUndoKeys();
    void quitKey();
    void imageButtonsAreNamed();
    void imagesSharpAtTwiceTheScale_data();
    void imagesSharpAtTwiceTheScale();
    void pluginsBesideTheProgram();
    // Last: it opens a clip, which stays open.
    void editKeysEditAfterASliderClick_data();
    void editKeysEditAfterASliderClick();

private:
    QWidget *focusTarget(const QString &name);

    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    QLineEdit *m_field = nullptr;
};

void tst_MainWindowKeys::initTestCase()
{
    QVERIFY(Application::instance());
    // Quit closes the window; the test goes on.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_window = m_controller->getMainWindow();
    QVERIFY(m_window);
    // A text field in the window, as a dialog-free stand-in for any field
    // the window may hold.
    m_field = new QLineEdit(m_window->getEditVideoWidget());
    m_field->setObjectName(QStringLiteral("testField"));
    m_field->show();
    TW::test::installLogCapture();
}

void tst_MainWindowKeys::cleanupTestCase()
{
    TW::test::removeLogCapture();
}

void tst_MainWindowKeys::init()
{
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    // Ten seconds at 25 frames a second: the position slider steps by 2.
    m_window->setDuration(QTime(0, 0, 10), 25.0);
    m_window->setCurrentFrame(100);
    QCOMPARE(m_window->getMasterSlider()->value(), 100);
    TW::test::clearLog();
}

void tst_MainWindowKeys::cleanup()
{
    m_window->setCanUndo(false);
    m_window->setCanRedo(false);
}

QWidget *tst_MainWindowKeys::focusTarget(const QString &name)
{
    if (name == QLatin1String("window"))
        return m_window;
    if (name == QLatin1String("position slider"))
        return m_window->getMasterSlider();
    if (name == QLatin1String("timeline"))
        return m_window->getTimeArea();
    if (name == QLatin1String("tempo slider"))
        return m_window->getEditVideoWidget()->findChild<QSlider *>(QStringLiteral("tempoSlider"));
    return nullptr;
}

void tst_MainWindowKeys::keysWhereverTheFocusIs_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("reached"); // the controller slot the key ends in
    QTest::addColumn<int>("position");    // of the position slider afterwards

    const QStringList places = {"window", "position slider", "timeline", "tempo slider"};
    for (const QString &place : places) {
        const auto row = [&](const char *what) { return qPrintable(place + QStringLiteral(": ") + QLatin1String(what)); };
        QTest::newRow(row("Delete")) << place << int(Qt::Key_Delete) << 0 << "onDelete" << 100;
        QTest::newRow(row("Ctrl+X")) << place << int(Qt::Key_X) << int(Qt::ControlModifier) << "onCut" << 100;
        QTest::newRow(row("Ctrl+C")) << place << int(Qt::Key_C) << int(Qt::ControlModifier) << "onCopy" << 100;
        QTest::newRow(row("Ctrl+V")) << place << int(Qt::Key_V) << int(Qt::ControlModifier) << "onPaste" << 100;
        QTest::newRow(row("Space")) << place << int(Qt::Key_Space) << 0 << "onPlayVideo" << 100;
        QTest::newRow(row("Right")) << place << int(Qt::Key_Right) << 0 << "onPlaybackFrameChanged" << 102;
        QTest::newRow(row("Left")) << place << int(Qt::Key_Left) << 0 << "onPlaybackFrameChanged" << 98;
    }
}

void tst_MainWindowKeys::keysWhereverTheFocusIs()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, reached);
    QFETCH(int, position);
    QWidget *target = focusTarget(focus);
    QVERIFY(target);
    if (focus == QLatin1String("position slider")) {
        // The way users give it the focus: a click on its handle.
        QSlider *slider = m_window->getMasterSlider();
        const int x = int(double(slider->width()) * 100 / slider->maximum());
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
        QTRY_COMPARE(QApplication::focusWidget(), target);
        m_window->setCurrentFrame(100);
        TW::test::clearLog();
    } else {
        target->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), target);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY2(slotsReached().contains(reached), qPrintable(slotsReached().join(' ')));
    QCOMPARE(m_window->getMasterSlider()->value(), position);
    if (focus == QLatin1String("tempo slider")) {
        // The arrows are the transport's: the tempo stays.
        QCOMPARE(qobject_cast<QSlider *>(target)->value(), 10000);
    }
}

void tst_MainWindowKeys::keysInATextFieldType_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text"); // the field's text afterwards, from "abc" with "b" selected

    QTest::newRow("Delete deletes the selection") << int(Qt::Key_Delete) << 0 << "ac";
    QTest::newRow("Ctrl+X cuts it") << int(Qt::Key_X) << int(Qt::ControlModifier) << "ac";
    QTest::newRow("Space types a blank") << int(Qt::Key_Space) << 0 << "a c";
    QTest::newRow("Left moves the cursor") << int(Qt::Key_Left) << 0 << "abc";
    QTest::newRow("B types") << int(Qt::Key_B) << 0 << "abc";
}

void tst_MainWindowKeys::keysInATextFieldType()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    m_field->setText(QStringLiteral("abc"));
    m_field->setSelection(1, 1);
    m_field->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), m_field);
    QTest::keyClick(m_field, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_field->text(), text);
    QCoreApplication::processEvents();
    QCOMPARE(slotsReached(), QStringList());
    QCOMPARE(m_window->getMasterSlider()->value(), 100);
}

void tst_MainWindowKeys::redoAndUndoKeys_data()
{
    QTest::addColumn<bool>("toolbarShown");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("reached");
    // The toolbar collapses by itself on screens up to 800 pixels high; its
    // keys act all the same.
    for (bool shown : {true, false}) {
        const QString toolbar = shown ? QStringLiteral("toolbar shown: ") : QStringLiteral("toolbar collapsed: ");
        QTest::newRow(qPrintable(toolbar + "Ctrl+Z")) << shown << int(Qt::Key_Z) << int(Qt::ControlModifier) << "onUndo";
        QTest::newRow(qPrintable(toolbar + "Ctrl+Shift+Z"))
            << shown << int(Qt::Key_Z) << int(Qt::ControlModifier | Qt::ShiftModifier) << "onRedo";
        QTest::newRow(qPrintable(toolbar + "Ctrl+Y")) << shown << int(Qt::Key_Y) << int(Qt::ControlModifier) << "onRedo";
    }
}

void tst_MainWindowKeys::redoAndUndoKeys()
{
    QFETCH(bool, toolbarShown);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, reached);
    if (m_window->getTopToolbar()->isVisible() != toolbarShown)
        QMetaObject::invokeMethod(m_window, "onToggleTopToolbarClicked");
    QCOMPARE(m_window->getTopToolbar()->isVisible(), toolbarShown);
    TW::test::clearLog();
    QWidget *slider = m_window->getMasterSlider();
    slider->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), slider);
    // Nothing to undo or redo: the keys do nothing.
    QTest::keyClick(slider, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCoreApplication::processEvents();
    QCOMPARE(slotsReached(), QStringList());
    m_window->setCanUndo(true);
    m_window->setCanRedo(true);
    QTest::keyClick(slider, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_COMPARE(slotsReached(), QStringList{reached});
}

void tst_MainWindowKeys::quitKey()
{
    QWidget *timeline = m_window->getTimeArea();
    timeline->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), timeline);
    QTest::keyClick(timeline, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!m_window->isVisible());
}

void tst_MainWindowKeys::imageButtonsAreNamed()
{
    const QList<QAbstractButton *> buttons = m_window->findChildren<QAbstractButton *>();
    QVERIFY(buttons.size() > 40);
    QStringList unnamed;
    for (QAbstractButton *b : buttons) {
        // Qt's own inner buttons (menu bar extension and the like) are Qt's.
        if (b->objectName().startsWith(QLatin1String("qt_")) || !b->text().isEmpty() || b == nullptr)
            continue;
        if (b->toolTip().isEmpty() || b->accessibleName().isEmpty())
            unnamed << QStringLiteral("%1 (%2)").arg(b->objectName(), QLatin1String(b->metaObject()->className()));
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    // The abbreviations are explained.
    EditVideoWidget *panel = m_window->getEditVideoWidget();
    QVERIFY(panel->button(QStringLiteral("pitch5thBtn"))->toolTip().contains(QLatin1String("octave")));
    QVERIFY(m_window->getTopToolbar()->button(QStringLiteral("openBtn"))->toolTip().contains(QLatin1String("Ctrl+O")));
}

void tst_MainWindowKeys::imagesSharpAtTwiceTheScale_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("image"); // the SVG resource drawn while enabled
    QTest::newRow("toolbar: open (own size)") << "openBtn" << ":/gui/open-U";
    QTest::newRow("side panel: tempo up (stretched)") << "plusTempoBtn" << ":/gui/plusBig-U";
    QTest::newRow("transport: quarter second (own size)") << "ffp25ToolButton" << ":/gui/025-U";
}

void tst_MainWindowKeys::imagesSharpAtTwiceTheScale()
{
    QFETCH(QString, button);
    QFETCH(QString, image);
    auto *b = m_window->findChild<QAbstractButton *>(button);
    QVERIFY(b);
    QVERIFY(b->isEnabled());
    // The button drawn on a device of pixel ratio 2, as on a 200 % screen.
    QImage drawn(b->size() * 2, QImage::Format_ARGB32_Premultiplied);
    drawn.setDevicePixelRatio(2.0);
    drawn.fill(Qt::transparent);
    b->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);

    // The SVG drawn straight at twice its size (stretched over the button
    // for the stretched ones): every opaque pixel must be the same.
    const QSize own = QImageReader(image).size();
    const bool stretched = button == QLatin1String("plusTempoBtn");
    QImageReader reader(image);
    reader.setScaledSize((stretched ? b->size() : own) * 2);
    const QImage sharp = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QVERIFY(!sharp.isNull());
    int opaque = 0;
    int differ = 0;
    for (int y = 0; y < sharp.height() && y < drawn.height(); ++y) {
        for (int x = 0; x < sharp.width() && x < drawn.width(); ++x) {
            const QRgb want = sharp.pixel(x, y);
            if (qAlpha(want) != 255)
                continue;
            ++opaque;
            const QRgb got = drawn.pixel(x, y);
            if (qAbs(qRed(got) - qRed(want)) > 8 || qAbs(qGreen(got) - qGreen(want)) > 8
                || qAbs(qBlue(got) - qBlue(want)) > 8)
                ++differ;
        }
    }
    QVERIFY(opaque > 100);
    // A picture drawn at 100 % and scaled up differs along every edge.
    QVERIFY2(differ * 100 < opaque, qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differ).arg(opaque)));
}

void tst_MainWindowKeys::pluginsBesideTheProgram()
{
    // A working folder holding a Plugins folder, as a download folder might.
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("Plugins/accessible")));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    Application::addPluginFolder();
    const QStringList paths = QCoreApplication::libraryPaths();
    QDir::setCurrent(before);
    const QString planted = QDir(work.path()).canonicalPath() + QStringLiteral("/Plugins");
    QVERIFY2(!paths.contains(planted), qPrintable(paths.join(' ')));
    QCOMPARE(Application::pluginFolder(), QCoreApplication::applicationDirPath() + QStringLiteral("/Plugins"));
}

// The edit keys edit the project while the position slider has the focus,
// as it has after every click on it: the highlighted section is gone.
void tst_MainWindowKeys::editKeysEditAfterASliderClick_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Delete") << int(Qt::Key_Delete) << 0;
    QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier);
}

void tst_MainWindowKeys::editKeysEditAfterASliderClick()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QTemporaryDir media;
    const QString clip = test::TestMedia::make(test::TestMedia::VideoStereo, media.path(), 3.0);
    QVERIFY(!clip.isEmpty());
    // No question about unsaved changes from the row before.
    m_controller->getUndoStack()->clear();
    m_controller->openFile(clip);
    const qint64 before = m_controller->getMedia()->getDuration().toFrameUnits(false);
    QVERIFY(before >= 70);
    QUndoStack *stack = m_controller->getUndoStack();
    stack->clear();
    // The import's progress dialog has come and gone.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));

    m_window->getTimeArea()->setSelection(PairInt(10, 35));
    QSlider *slider = m_window->getMasterSlider();
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, slider->height() / 2));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(slider));
    QTest::keyClick(slider, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_COMPARE_WITH_TIMEOUT(stack->count(), 1, 30000);
    const qint64 after = m_controller->getMedia()->getDuration().toFrameUnits(false);
    QVERIFY2(after < before - 20, qPrintable(QStringLiteral("%1 -> %2 frames").arg(before).arg(after)));
    stack->clear();
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_MainWindowKeys tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_MainWindowKeys.moc"
