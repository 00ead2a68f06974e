// Choosing the audio track of a media file with several: the dialog itself
// and the import's use of it through TrackSelectionDialog.
#include "dialogs/ChooseAudioTrackDialog.h"
#include "dialogs/TrackSelectionDialog.h"
#include "io/InputController.h"

#include "TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using TW::AudioTrackInfo;
using TW::ChooseAudioTrackDialog;
using TW::TrackSelectionDialog;

namespace {

QVector<AudioTrackInfo> tracks(const QStringList &descriptions)
{
    QVector<AudioTrackInfo> list;
    int id = 1;
    for (const QString &text : descriptions) {
        AudioTrackInfo info;
        info.channels = 2;
        info.trackId = id++;
        info.description = text;
        list.append(info);
    }
    return list;
}

QComboBox *combo(QWidget *dialog)
{
    return dialog->findChild<QComboBox *>("comboBox");
}

// Runs action on the modal dialog as soon as it is shown.
void whenModal(std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        }
    });
    timer->start();
}

} // namespace

class ChooseAudioTrackDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TW::test::isolateHome(); }

    void listsTracksInOrder()
    {
        ChooseAudioTrackDialog dialog(tracks({"A", "B", "C"}));
        QCOMPARE(dialog.windowTitle(), QString("Choose Audio Track"));
        QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString("Choose audio track to import:"));
        QComboBox *box = combo(&dialog);
        QVERIFY(!box->isEditable());
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->itemText(0), QString("A"));
        QCOMPARE(box->itemText(1), QString("B"));
        QCOMPARE(box->itemText(2), QString("C"));
        QCOMPARE(dialog.getSelectedTrackIndex(), 0);
    }

    void okAcceptsChosenRow()
    {
        ChooseAudioTrackDialog dialog(tracks({"A", "B", "C"}));
        whenModal([](QWidget *w) {
            combo(w)->setCurrentIndex(2);
            QTest::mouseClick(w->findChild<QPushButton *>("okButton"), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.getSelectedTrackIndex(), 2);
    }

    void closingKeepsRowShown()
    {
        ChooseAudioTrackDialog dialog(tracks({"A", "B", "C"}));
        whenModal([](QWidget *w) {
            combo(w)->setCurrentIndex(1);
            w->close();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(dialog.getSelectedTrackIndex(), 1);
    }

    void emptyListSelectsNothing()
    {
        ChooseAudioTrackDialog dialog({});
        QCOMPARE(combo(&dialog)->count(), 0);
        QCOMPARE(dialog.getSelectedTrackIndex(), -1);
    }

    // No track or one track: nothing is asked.
    void selectionAsksOnlyForSeveralTracks_data()
    {
        QTest::addColumn<QStringList>("descriptions");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << QStringList() << -1;
        QTest::newRow("one") << QStringList{"only"} << 0;
    }
    void selectionAsksOnlyForSeveralTracks()
    {
        QFETCH(QStringList, descriptions);
        QFETCH(int, expected);
        bool asked = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                asked = true;
                w->close();
            }
        });
        probe.start(5);
        QCOMPARE(TrackSelectionDialog::choose(tracks(descriptions)), expected);
        QVERIFY(!asked);
    }

    void selectionReadsRowWhateverTheResult()
    {
        whenModal([](QWidget *w) {
            QVERIFY(qobject_cast<ChooseAudioTrackDialog *>(w));
            QVERIFY(!w->parentWidget());
            combo(w)->setCurrentIndex(1);
            w->close();
        });
        QCOMPARE(TrackSelectionDialog::choose(tracks({"A", "B", "C"})), 1);
    }

    void installHandsDialogsToImport()
    {
        const TW::InputController::Interaction before = TW::InputController::interaction();
        QWidget window;
        TrackSelectionDialog::installImportDialogs([&window] { return &window; });
        const TW::InputController::Interaction now = TW::InputController::interaction();
        QVERIFY(now.chooseAudioTrack);
        QVERIFY(now.dialogParent);
        QCOMPARE(now.dialogParent(), &window);
        QVERIFY(now.makeProgressDialog);
        std::unique_ptr<QDialog> progress(now.makeProgressDialog());
        QVERIFY(progress);
        QVERIFY(progress->metaObject()->indexOfSignal("cancelled()") >= 0);
        QVERIFY(progress->metaObject()->indexOfSlot("setMessage(QString)") >= 0);
        QVERIFY(progress->metaObject()->indexOfSlot("setProgress(int)") >= 0);
        QCOMPARE(now.chooseAudioTrack(tracks({"one"})), 0);
        TW::InputController::setInteraction(before);
    }
};

QTEST_MAIN(ChooseAudioTrackDialogTest)
#include "tst_ChooseAudioTrackDialog.moc"
