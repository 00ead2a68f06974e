// Inserted silence, the silence and volume of a section and the whole
// project's volume through the controller on a real clip, each with redo,
// undo and redo again, and the section's volume as heard.
#include "EditFixture.h"

#include <QDeadlineTimer>

using namespace TW;
using namespace TW::test;

class tst_EditSilenceVolume : public QObject, protected EditFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanupTestCase() { tearDownCase(); }

    void insertSilence_data();
    void insertSilence();
    void insertSilenceRefusals();
    void silenceAndVolumeTable_data();
    void silenceAndVolumeTable();
    void volumeDialogStartsAtTheFragmentsVolume();
    void wholeProjectVolume();
    void sectionVolumeIsHeard();
};


void tst_EditSilenceVolume::insertSilence_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QString>("marksAfter");
    QTest::newRow("10 s at the beginning")
        << "10" << "beginningRadioButton" << "silence 0-250 V- | clip 0-D VA"
        << "L0[270,330] L1[370,510] L2[530,570] L3[650,730] M0@300 M1@400 M2@500 M3@600 M4@700";
    QTest::newRow("10 s at the end") << "10" << "endRadioButton" << "clip 0-D VA | silence 0-250 V-" << OriginalMarks;
    QTest::newRow("2.5 s at the play position (300)")
        << "2.5" << "currentRadioButton" << "clip 0-300 VA | silence 0-62 V- | clip 300-D VA"
        << "L0[20,80] L1[120,260] L2[280,382] L3[462,542] M0@50 M1@150 M2@250 M3@412 M4@512";
}


void tst_EditSilenceVolume::insertSilence()
{
    QFETCH(QString, length);
    QFETCH(QString, where);
    QFETCH(QString, edits);
    QFETCH(QString, marksAfter);
    const QString original = editList();
    moveTo(300);
    answerDialog<EditSilenceDialog>([length, where](EditSilenceDialog *dialog) {
        dialog->findChild<QLineEdit *>("amountSilenceLineEdit")->setText(length);
        dialog->findChild<QRadioButton *>(where)->setChecked(true);
        pressOk(dialog);
    });
    m_controller->onInsertSilence();
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(marks(), marksAfter);
    // The silence file plays as any source; its sound is never extracted.
    const auto fragments = media()->getTrackFragments();
    for (const auto &f : fragments) {
        if (f->track->getName().contains("silence_1_hour"))
            QVERIFY(f->track->isLoaded());
    }
    stack()->undo();
    QCOMPARE(editList(), original);
    QCOMPARE(marks(), QString(OriginalMarks));
}


void tst_EditSilenceVolume::insertSilenceRefusals()
{
    // An hour or more is refused with a box; nothing is pushed.
    answerDialog<EditSilenceDialog>([](EditSilenceDialog *dialog) {
        dialog->findChild<QLineEdit *>("amountSilenceLineEdit")->setText("3600");
        pressOk(dialog);
    });
    m_answers->answerBox(QMessageBox::Ok);
    m_controller->onInsertSilence();
    QCOMPARE(stack()->count(), 0);
    QCOMPARE(m_answers->boxes(), QStringList{"Information: You cannot insert more than 1 hour of silence at once."});

    // With the audio locked no dialog shows at all.
    setLocks(false, true);
    m_controller->onInsertSilence();
    QCOMPARE(stack()->count(), 0);
    QVERIFY(test::logged("Audio is locked."));
}


void tst_EditSilenceVolume::silenceAndVolumeTable_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("videoLocked");
    QTest::addColumn<QString>("edits");
    QTest::newRow("silence start") << "silence" << 0 << 100 << false << "clip 0-100 V- | clip 100-D VA";
    QTest::newRow("silence middle, video locked") << "silence" << 100 << 200 << true
                                                  << "clip 0-100 VA | clip 100-200 V- | clip 200-D VA";
    QTest::newRow("silence end") << "silence" << 400 << -1 << false << "clip 0-400 VA | clip 400-D V-";
    QTest::newRow("volume start") << "volume" << 0 << 100 << false << "clip 0-100 VA @50 | clip 100-D VA";
    QTest::newRow("volume middle, video locked") << "volume" << 100 << 200 << true
                                                 << "clip 0-100 VA | clip 100-200 VA @50 | clip 200-D VA";
    QTest::newRow("volume end") << "volume" << 400 << -1 << false << "clip 0-400 VA | clip 400-D VA @50";
}


void tst_EditSilenceVolume::silenceAndVolumeTable()
{
    QFETCH(QString, command);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, videoLocked);
    QFETCH(QString, edits);
    if (last < 0)
        last = m_frames;
    const QString original = editList();
    setLocks(videoLocked, false);
    select(first, last);
    if (command == "silence") {
        m_controller->onSilenceSection();
    } else {
        answerDialog<EditVolumeDialog>([](EditVolumeDialog *dialog) {
            dialog->findChild<QSlider *>("volumeSlider")->setValue(500);
            pressOk(dialog);
        });
        m_controller->onVolume();
    }
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(int(media()->getDuration().toFrameUnits(false)), m_frames);
    QCOMPARE(marks(), QString(OriginalMarks));
    stack()->undo();
    QCOMPARE(editList(), original);
    stack()->redo();
    QCOMPARE(editList(), withEnd(edits));

    // With the audio locked neither runs.
    stack()->clear();
    setLocks(false, true);
    if (command == "silence")
        m_controller->onSilenceSection();
    else
        m_controller->onVolume();
    QCOMPARE(stack()->count(), 0);
}


void tst_EditSilenceVolume::volumeDialogStartsAtTheFragmentsVolume()
{
    // A section at 80 % given 50 % plays at 50 %, not 40 %.
    m_controller->onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(100), Time::fromFrameUnits(200), 80.0f));
    moveTo(150);
    select(100, 200);
    double shown = -1;
    answerDialog<EditVolumeDialog>([&shown](EditVolumeDialog *dialog) {
        shown = dialog->getOptions().getVolume();
        dialog->findChild<QSlider *>("volumeSlider")->setValue(500);
        pressOk(dialog);
    });
    m_controller->onVolume();
    QCOMPARE(shown, 80.0);
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 100-200 VA @50 | clip 200-D VA"));

    // Leaving the dialog at its start makes no command.
    answerDialog<EditVolumeDialog>([](EditVolumeDialog *dialog) { pressOk(dialog); });
    m_controller->onVolume();
    QCOMPARE(stack()->count(), 2);
}


void tst_EditSilenceVolume::wholeProjectVolume()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const float projectVolume = o->getProjectVolume();
    m_controller->onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(100), Time::fromFrameUnits(200), 80.0f));
    answerDialog<EditVolumeDialog>([](EditVolumeDialog *dialog) {
        dialog->findChild<QSlider *>("volumeSlider")->setValue(1500);
        pressOk(dialog);
    });
    m_controller->onVolume();
    QCOMPARE(stack()->count(), 2);
    QCOMPARE(editList(), withEnd("clip 0-D VA @150"));
    // The project's own level (the slider's, which an export multiplies
    // in as well) stays, so the change is not applied twice.
    QCOMPARE(o->getProjectVolume(), projectVolume);
    stack()->undo();
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 100-200 VA @80 | clip 200-D VA"));
}


// Frames 100 .. 200 at 50 %: while the project plays, the sound blocks the
// player makes for that section are about half as loud as those around it.
void tst_EditSilenceVolume::sectionVolumeIsHeard()
{
    m_controller->onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(100), Time::fromFrameUnits(200), 50.0f));
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 100-200 VA @50 | clip 200-D VA"));
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    AudioFeed *feed = player->getAudioFeed();
    QVERIFY(feed);
    // The edit rebuilds the fragment players; once they are ready the player
    // puts the feed back where it was, which must not land in the middle of
    // the listening below.
    QTRY_VERIFY_WITH_TIMEOUT(player->getPhase() != MediaPlayer::Preparing, 60000);
    QMap<int, QVector<double>> levels; // fragment -> block levels
    QElapsedTimer clock;
    clock.start();
    // The sound the device gets from a frame on, in blocks of 10 ms, by the
    // fragment they fall in.
    auto listenFrom = [&](int frame, int fragment) {
        feed->seek(Time::fromFrameUnits(frame).unitCount);
        std::vector<qint16> block(441 * 2);
        // A device asks every 10 ms and, when the feed's reader has not yet
        // made the new place (a busy machine), gets nothing and asks again.
        QDeadlineTimer deadline(30000);
        for (int n = 0; n < 40 && !deadline.hasExpired();) {
            AudioOutput::Block what;
            const size_t got = feed->isFilled() ? feed->pull(block.data(), block.size() / 2, &what) : 0;
            if (got == 0) {
                QTest::qWait(5);
                continue;
            }
            const int at = n++;
            double sum = 0;
            for (size_t i = 0; i < got * 2; ++i)
                sum += double(block[i]) * block[i];
            if (at >= 5) // past the stage's onset
                levels[fragment] << std::sqrt(sum / double(got * 2));
        }
    };
    auto median = [](QVector<double> v) {
        std::sort(v.begin(), v.end());
        return v.isEmpty() ? 0.0 : v.at(v.size() / 2);
    };
    listenFrom(10, 0);
    listenFrom(110, 1);
    listenFrom(210, 2);
    std::fprintf(stderr, "blocks per fragment %d %d %d, median levels %.0f %.0f %.0f, %lld ms\n",
                 int(levels.value(0).size()), int(levels.value(1).size()), int(levels.value(2).size()),
                 median(levels.value(0)), median(levels.value(1)), median(levels.value(2)),
                 qint64(clock.elapsed()));
    for (int i = 0; i < 3; ++i)
        QVERIFY(levels.value(i).size() >= 10);
    QVERIFY(std::abs(median(levels.value(0)) / median(levels.value(2)) - 1.0) < 0.1);
    const double loud = median(levels.value(2));
    const double quiet = median(levels.value(1));
    QVERIFY(loud > 1000);
    QVERIFY2(quiet / loud > 0.4 && quiet / loud < 0.6, qPrintable(QString::number(quiet / loud)));
}

int main(int argc, char **argv)
{
    isolateHome();
    Q_INIT_RESOURCE(resources);
    // The test's own arguments (test functions to run) are no files to open.
    int appArgc = 1;
    Application app(appArgc, argv);
    tst_EditSilenceVolume tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_EditSilenceVolume.moc"
