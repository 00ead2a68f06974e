// The side panel: what the tempo, pitch and volume controls show and report.
#include "ui/EditVideoWidget.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

using namespace TW;

class tst_EditVideoWidget : public QObject
{
    Q_OBJECT
private slots:
    void setTempoRoundsAndClamps_data();
    void setTempoRoundsAndClamps();
    void setPitchRoundsAndClamps_data();
    void setPitchRoundsAndClamps();
    void tempoButtons_data();
    void tempoButtons();
    void pitchButtons_data();
    void pitchButtons();
    void intervalDirection();
    void sliderReportsOnRelease();
    void userStepsReportAtOnce_data();
    void userStepsReportAtOnce();
    void valuesFromOutsideWaitForTheHeldHandle();
    void volume();
    void buttonSignals_data();
    void buttonSignals();
    void shortcutsClickTheirButtons_data();
    void shortcutsClickTheirButtons();
    void silenceMenu();
};

void tst_EditVideoWidget::setTempoRoundsAndClamps_data()
{
    QTest::addColumn<float>("tempo");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("label");
    QTest::newRow("unchanged") << 100.0f << 10000 << "TEMPO: 100%";
    QTest::newRow("above range") << 300.0f << 20000 << "TEMPO: 200%";
    QTest::newRow("below range") << 10.0f << 2500 << "TEMPO: 25%";
    QTest::newRow("half rounds up") << 75.125f << 7513 << "TEMPO: 75.13%";
    QTest::newRow("tenth") << 75.5f << 7550 << "TEMPO: 75.5%";
    QTest::newRow("negative") << -50.0f << 2500 << "TEMPO: 25%";
}

void tst_EditVideoWidget::setTempoRoundsAndClamps()
{
    QFETCH(float, tempo);
    QFETCH(int, slider);
    QFETCH(QString, label);
    EditVideoWidget panel;
    QSignalSpy spy(&panel, &EditVideoWidget::tempoValueChanged);
    panel.setTempo(tempo);
    QCOMPARE(panel.tempoSlider()->value(), slider);
    QCOMPARE(panel.tempoLabel()->text(), label);
    QCOMPARE(spy.count(), 0);
}

void tst_EditVideoWidget::setPitchRoundsAndClamps_data()
{
    QTest::addColumn<float>("pitch");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("label");
    QTest::newRow("zero") << 0.0f << 0 << "PITCH: 0";
    QTest::newRow("negative half rounds up") << -0.125f << -12 << "PITCH: -0.12";
    QTest::newRow("two up") << 2.0f << 200 << "PITCH: 2";
    QTest::newRow("above range") << 30.0f << 1200 << "PITCH: 12";
    QTest::newRow("below range") << -13.5f << -1200 << "PITCH: -12";
}

void tst_EditVideoWidget::setPitchRoundsAndClamps()
{
    QFETCH(float, pitch);
    QFETCH(int, slider);
    QFETCH(QString, label);
    EditVideoWidget panel;
    QSignalSpy spy(&panel, &EditVideoWidget::pitchValueChanged);
    panel.setPitch(pitch);
    QCOMPARE(panel.pitchSlider()->value(), slider);
    QCOMPARE(panel.pitchLabel()->text(), label);
    QCOMPARE(spy.count(), 0);
}

void tst_EditVideoWidget::tempoButtons_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<float>("reported");
    QTest::newRow("plus one percent") << 100.0f << "plusTempoBtn" << 101.0f;
    QTest::newRow("plus a hundredth") << 100.0f << "plusTempoBtn2" << 100.01f;
    QTest::newRow("minus one percent") << 100.0f << "minusTempoBtn" << 99.0f;
    QTest::newRow("minus a hundredth") << 100.0f << "minusTempoBtn2" << 99.99f;
    QTest::newRow("at the top, still reported") << 200.0f << "plusTempoBtn" << 200.0f;
    QTest::newRow("at the bottom, still reported") << 25.0f << "minusTempoBtn2" << 25.0f;
    QTest::newRow("preset 25") << 100.0f << "tempo20Btn" << 25.0f;
    QTest::newRow("preset 30") << 100.0f << "tempo30Btn" << 30.0f;
    QTest::newRow("preset 40") << 100.0f << "tempo40Btn" << 40.0f;
    QTest::newRow("preset 50") << 100.0f << "tempo50Btn" << 50.0f;
    QTest::newRow("preset 75") << 100.0f << "tempo75Btn" << 75.0f;
    QTest::newRow("reset") << 42.0f << "resetTempoBtn" << 100.0f;
}

void tst_EditVideoWidget::tempoButtons()
{
    QFETCH(float, start);
    QFETCH(QString, button);
    QFETCH(float, reported);
    EditVideoWidget panel;
    panel.setTempo(start);
    QSignalSpy spy(&panel, &EditVideoWidget::tempoValueChanged);
    QPushButton *b = panel.button(button);
    QVERIFY2(b, qPrintable(button));
    b->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toFloat(), reported);
    QCOMPARE(panel.tempoSlider()->value(), qRound(reported * 100));
}

void tst_EditVideoWidget::pitchButtons_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<float>("reported");
    QTest::newRow("plus a semitone") << 0.0f << "plusPitchBtn" << 1.0f;
    QTest::newRow("plus a hundredth") << 0.0f << "plusPitchBtn2" << 0.01f;
    QTest::newRow("minus a semitone") << 0.0f << "minusPitchBtn" << -1.0f;
    QTest::newRow("minus a hundredth") << 0.0f << "minusPitchBtn2" << -0.01f;
    QTest::newRow("at the bottom, still reported") << -12.0f << "minusPitchBtn" << -12.0f;
    QTest::newRow("second sets, not adds") << 3.0f << "pitch2ndBtn" << 2.0f;
    QTest::newRow("third") << 0.0f << "pitch3rdBtn" << 4.0f;
    QTest::newRow("fourth") << 0.0f << "pitch4thBtn" << 5.0f;
    QTest::newRow("octave is the top") << 0.0f << "pitch5thBtn" << 12.0f;
    QTest::newRow("reset") << 7.0f << "resetPitchBtn" << 0.0f;
}

void tst_EditVideoWidget::pitchButtons()
{
    QFETCH(float, start);
    QFETCH(QString, button);
    QFETCH(float, reported);
    EditVideoWidget panel;
    panel.setPitch(start);
    QSignalSpy spy(&panel, &EditVideoWidget::pitchValueChanged);
    panel.button(button)->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toFloat(), reported);
}

void tst_EditVideoWidget::intervalDirection()
{
    EditVideoWidget panel;
    QPushButton *toggle = panel.button(QStringLiteral("plusPitchBtn3"));
    QCOMPARE(toggle->text(), QStringLiteral("+"));
    QSignalSpy spy(&panel, &EditVideoWidget::pitchValueChanged);
    toggle->click();
    QCOMPARE(toggle->text(), QStringLiteral("-"));
    QCOMPARE(spy.count(), 0); // the toggle alone changes no pitch
    panel.setPitch(7.0f);
    panel.button(QStringLiteral("pitch3rdBtn"))->click();
    panel.button(QStringLiteral("pitch3rdBtn"))->click();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toFloat(), -4.0f);
    QCOMPARE(spy.at(1).at(0).toFloat(), -4.0f);
    toggle->click();
    QCOMPARE(toggle->text(), QStringLiteral("+"));
}

void tst_EditVideoWidget::sliderReportsOnRelease()
{
    EditVideoWidget panel;
    QSignalSpy tempo(&panel, &EditVideoWidget::tempoValueChanged);
    QSignalSpy pitch(&panel, &EditVideoWidget::pitchValueChanged);
    // Value changes without a release (keys, page steps) only update the label.
    panel.tempoSlider()->setValue(8050);
    QCOMPARE(panel.tempoLabel()->text(), QStringLiteral("TEMPO: 80.5%"));
    QCOMPARE(tempo.count(), 0);
    panel.tempoSlider()->setSliderDown(true);
    panel.tempoSlider()->setSliderPosition(9000);
    panel.tempoSlider()->setSliderDown(false);
    QCOMPARE(tempo.count(), 1);
    QCOMPARE(tempo.at(0).at(0).toFloat(), 90.0f);

    // A drag lands on a whole semitone (and a whole percent).
    panel.pitchSlider()->setSliderDown(true);
    panel.pitchSlider()->setSliderPosition(-330);
    panel.pitchSlider()->setSliderDown(false);
    QCOMPARE(pitch.count(), 1);
    QCOMPARE(pitch.at(0).at(0).toFloat(), -3.0f);
    QCOMPARE(panel.pitchLabel()->text(), QStringLiteral("PITCH: -3"));
    panel.tempoSlider()->setSliderDown(true);
    panel.tempoSlider()->setSliderPosition(9868);
    QCOMPARE(panel.tempoLabel()->text(), QStringLiteral("TEMPO: 99%"));
    panel.tempoSlider()->setSliderDown(false);
    QCOMPARE(tempo.count(), 2);
    QCOMPARE(tempo.at(1).at(0).toFloat(), 99.0f);
}

// Keys and clicks in the groove change what plays together with the label.
void tst_EditVideoWidget::userStepsReportAtOnce_data()
{
    QTest::addColumn<bool>("onTempo");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("action");
    QTest::addColumn<float>("reported");
    QTest::addColumn<QString>("label");
    const int none = QAbstractSlider::SliderNoAction;
    QTest::newRow("tempo right arrow") << true << int(Qt::Key_Right) << none << 101.0f << "TEMPO: 101%";
    QTest::newRow("tempo page up") << true << int(Qt::Key_PageUp) << none << 110.0f << "TEMPO: 110%";
    QTest::newRow("tempo groove click")
        << true << 0 << int(QAbstractSlider::SliderPageStepAdd) << 110.0f << "TEMPO: 110%";
    QTest::newRow("pitch left arrow") << false << int(Qt::Key_Left) << none << -1.0f << "PITCH: -1";
    QTest::newRow("pitch groove click")
        << false << 0 << int(QAbstractSlider::SliderPageStepSub) << -1.0f << "PITCH: -1";
}

void tst_EditVideoWidget::userStepsReportAtOnce()
{
    QFETCH(bool, onTempo);
    QFETCH(int, key);
    QFETCH(int, action);
    QFETCH(float, reported);
    QFETCH(QString, label);
    EditVideoWidget panel;
    QSignalSpy tempo(&panel, &EditVideoWidget::tempoValueChanged);
    QSignalSpy pitch(&panel, &EditVideoWidget::pitchValueChanged);
    QSlider *slider = onTempo ? panel.tempoSlider() : panel.pitchSlider();
    if (key)
        QTest::keyClick(slider, Qt::Key(key));
    else
        slider->triggerAction(QAbstractSlider::SliderAction(action));
    QSignalSpy &spy = onTempo ? tempo : pitch;
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toFloat(), reported);
    QCOMPARE((onTempo ? tempo : pitch).count() + (onTempo ? pitch : tempo).count(), 1);
    QCOMPARE((onTempo ? panel.tempoLabel() : panel.pitchLabel())->text(), label);
}

void tst_EditVideoWidget::valuesFromOutsideWaitForTheHeldHandle()
{
    EditVideoWidget panel;
    panel.tempoSlider()->setSliderDown(true);
    panel.tempoSlider()->setSliderPosition(6000);
    panel.setTempo(150.0f);
    QCOMPARE(panel.tempoSlider()->sliderPosition(), 6000);
    panel.pitchSlider()->setSliderDown(true);
    panel.pitchSlider()->setSliderPosition(300);
    panel.setPitch(-5.0f);
    QCOMPARE(panel.pitchSlider()->sliderPosition(), 300);
    QSignalSpy tempo(&panel, &EditVideoWidget::tempoValueChanged);
    panel.tempoSlider()->setSliderDown(false);
    QCOMPARE(tempo.count(), 1);
    QCOMPARE(tempo.at(0).at(0).toFloat(), 60.0f);
}

void tst_EditVideoWidget::volume()
{
    EditVideoWidget panel;
    QSignalSpy spy(&panel, &EditVideoWidget::volumeChanged);
    panel.setVolume(75.5f);
    QCOMPARE(panel.volumeSlider()->value(), 75);
    QCOMPARE(panel.volumeLabel()->text(), QStringLiteral("75.5%"));
    QCOMPARE(spy.count(), 0);
    // Dragging reports every value on the way.
    for (int v = 76; v <= 80; ++v)
        panel.volumeSlider()->setValue(v);
    QCOMPARE(spy.count(), 5);
    QCOMPARE(spy.last().at(0).toInt(), 80);
    QCOMPARE(panel.volumeLabel()->text(), QStringLiteral("80%"));
}

void tst_EditVideoWidget::buttonSignals_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("delete") << "deleteBtn" << QByteArray(SIGNAL(deletePressed()));
    QTest::newRow("cut") << "cutBtn" << QByteArray(SIGNAL(cutPressed()));
    QTest::newRow("copy") << "copyBtn" << QByteArray(SIGNAL(copyPressed()));
    QTest::newRow("paste") << "pasteBtn" << QByteArray(SIGNAL(pastePressed()));
    QTest::newRow("volume") << "volBtn" << QByteArray(SIGNAL(volumePressed()));
    QTest::newRow("loop start") << "startLoopBtn" << QByteArray(SIGNAL(startLoopPressed()));
    QTest::newRow("loop end") << "endLoopBtn" << QByteArray(SIGNAL(endLoopPressed()));
    QTest::newRow("edit loop") << "editLoopBtn" << QByteArray(SIGNAL(editLoopPressed()));
    QTest::newRow("delete loop") << "deleteLoopBtn" << QByteArray(SIGNAL(deleteLoopPressed()));
    QTest::newRow("previous loop") << "prevBtn" << QByteArray(SIGNAL(previousLoopPressed()));
    QTest::newRow("next loop") << "nextBtn" << QByteArray(SIGNAL(nextLoopPressed()));
    QTest::newRow("previous bookmark") << "prevBtn2" << QByteArray(SIGNAL(previousMarkerPressed()));
    QTest::newRow("next bookmark") << "nextBtn2" << QByteArray(SIGNAL(nextMarkerPressed()));
}

void tst_EditVideoWidget::buttonSignals()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, signal);
    EditVideoWidget panel;
    QSignalSpy spy(&panel, signal.constData());
    QSignalSpy tempo(&panel, &EditVideoWidget::tempoValueChanged);
    panel.button(button)->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(tempo.count(), 0);
}

void tst_EditVideoWidget::shortcutsClickTheirButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("Del") << "deleteBtn" << QKeySequence(QStringLiteral("Del"));
    QTest::newRow("Ctrl+X") << "cutBtn" << QKeySequence(QStringLiteral("Ctrl+X"));
    QTest::newRow("Ctrl+C") << "copyBtn" << QKeySequence(QStringLiteral("Ctrl+C"));
    QTest::newRow("Ctrl+V") << "pasteBtn" << QKeySequence(QStringLiteral("Ctrl+V"));
    QTest::newRow("B") << "startLoopBtn" << QKeySequence(QStringLiteral("B"));
    QTest::newRow("E") << "endLoopBtn" << QKeySequence(QStringLiteral("E"));
    QTest::newRow("Shift+Del") << "deleteLoopBtn" << QKeySequence(QStringLiteral("Shift+Del"));
    QTest::newRow("L") << "prevBtn" << QKeySequence(QStringLiteral("L"));
    QTest::newRow(";") << "nextBtn" << QKeySequence(QStringLiteral(";"));
}

void tst_EditVideoWidget::shortcutsClickTheirButtons()
{
    QFETCH(QString, button);
    QFETCH(QKeySequence, keys);
    EditVideoWidget panel;
    panel.show();
    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    QSignalSpy clicked(panel.button(button), &QPushButton::clicked);
    QTest::keySequence(&panel, keys);
    QTRY_COMPARE(clicked.count(), 1); // a shortcut animates the click
}

void tst_EditVideoWidget::silenceMenu()
{
    EditVideoWidget panel;
    QPushButton *silence = panel.button(QStringLiteral("silenceBtn"));
    QMenu *menu = silence->menu();
    QVERIFY(menu);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("Insert Silence"));
    QCOMPARE(actions.at(1)->text(), QStringLiteral("Silence Highlighted Section"));
    QSignalSpy insert(&panel, &EditVideoWidget::insertSilencePressed);
    QSignalSpy section(&panel, &EditVideoWidget::silenceSectionPressed);
    actions.at(0)->trigger();
    actions.at(1)->trigger();
    QCOMPARE(insert.count(), 1);
    QCOMPARE(section.count(), 1);
    panel.setSilenceBtnEnabled(false);
    QVERIFY(!silence->isEnabled());
    panel.setSilenceBtnEnabled();
    QVERIFY(silence->isEnabled());
}

QTEST_MAIN(tst_EditVideoWidget)
#include "tst_EditVideoWidget.moc"
