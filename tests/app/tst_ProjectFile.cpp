// Opening, saving and the playback settings through the controller, with
// real clips and project files: the project file written and read back, the
// undo stack's clean state, the questions asked before another file is
// opened, the save dialog and failed saves.
#include "ProjectFileFixture.h"

class tst_ProjectFile : public QObject, protected ProjectFileFixture
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanupTestCase() { tearDownCase(); }

    void savedProjectReopensWithTheSameValues();
    void projectFileTellsTheTruth();
    void projectFileFrame();
    void bookmarksAndLoopsShowProgress();
    void cleanStateFollowsSaving();
    void settingsChangesMarkTheProjectChanged_data();
    void settingsChangesMarkTheProjectChanged();
    void emptyProjectIgnoresPlaybackCommands();
    void stopReturnsToTheStart();
    void questionsBeforeOpening_data();
    void questionsBeforeOpening();
    void cleanProjectClosesWithoutQuestion();
    void saveAsNames_data();
    void saveAsNames();
    void quickSaveNeedsAProjectFileName();
    void saveDialogFolders();
    void failedSaveIsReported();
    void fullDiskKeepsTheOldProject();
    void volumeAtTheEndOfTheProject();
};


// The main road: a clip opened, tempo 75 %, pitch +2, a loop with its own
// values and a bookmark, saved, and opened again.
void tst_ProjectFile::savedProjectReopensWithTheSameValues()
{
    QVERIFY(openQuietly(m_clip));
    m_controller->onTempoChanged(75.0f);
    m_controller->onPitchChanged(2.0f);

    QSharedPointer<VideoLoop> loop(new VideoLoop);
    loop->setStartFrame(30);
    loop->setEndFrame(40);
    loop->setTempo(50.0f);
    loop->setPitch(-4.0f);
    m_controller->onExecute(new AddLoopCommand(loop));
    QSharedPointer<VideoMarker> bookmark(new VideoMarker);
    bookmark->setFrame(12);
    bookmark->setName(QStringLiteral("verse"));
    m_controller->onExecute(new AddBookmarkCommand(bookmark));
    QCOMPARE(m_controller->getUndoStack()->count(), 2);

    m_answers->answerFile(path("lesson"));
    m_controller->saveCurrentProject(); // opened from a media file: asks for a name
    const QString lesson = path("lesson.twp");
    QCOMPARE(m_answers->seen().size(), 1);
    QCOMPARE(m_controller->getMedia()->getFilePath(), lesson);
    QVERIFY(m_controller->getUndoStack()->isClean());
    QVERIFY(m_window->windowTitle().startsWith(QStringLiteral("Tarnwell - lesson.twp[*], ")));
    QVERIFY(!m_window->isWindowModified());
    const QByteArray saved = readFile(lesson);
    const QByteArray before = projectText();

    // Something else is opened in between, so nothing is left over.
    QVERIFY(openQuietly(m_otherClip));
    QCOMPARE(projectOptions()->getProjectTempo(), 100.0f);

    m_answers->clear();
    open(lesson);
    QVERIFY(m_answers->seen().isEmpty());
    const QSharedPointer<Media> media = m_controller->getMedia();
    QVERIFY(!media->isEmpty());
    QVERIFY(allTracksLoaded(*media));
    QCOMPARE(media->getFilePath(), lesson);
    QCOMPARE(projectOptions()->getProjectTempo(), 75.0f);
    QCOMPARE(projectOptions()->getProjectPitch(), 2.0f);
    QCOMPARE(media->getTimeline()->getLoops().size(), 1);
    const QSharedPointer<VideoLoop> reread = media->getTimeline()->getLoops().first();
    QCOMPARE(reread->getStartFrame(), 30);
    QCOMPARE(reread->getEndFrame(), 40);
    QCOMPARE(reread->getTempo(), 50.0f);
    QCOMPARE(reread->getPitch(), -4.0f);
    QCOMPARE(media->getTimeline()->getMarkers().size(), 1);
    QCOMPARE(media->getTimeline()->getMarkers().first()->getName(), QStringLiteral("verse"));
    QCOMPARE(media->getTimeline()->getMarkers().first()->getFrame(), quint64(12));
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    QVERIFY(m_controller->getUndoStack()->isClean());
    QCOMPARE(Options::instance()->getOpenedFiles().value(0), lesson);

    // Unchanged: the model writes the same text, and a quick save (no
    // dialog for a project file) writes the same bytes.
    QCOMPARE(projectText(), before);
    m_controller->saveCurrentProject();
    QVERIFY(m_answers->seen().isEmpty());
    QCOMPARE(readFile(lesson), saved);
    QVERIFY(m_answers->unexpected().isEmpty());
}


// What a saved project says is true: the number of loops and bookmarks made,
// the source's channels, the volume and where the source lies, whatever
// folder the program runs in; a project written with a relative source
// path still finds it beside itself.
void tst_ProjectFile::projectFileTellsTheTruth()
{
    const QString startFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path("b")));
    QVERIFY(openQuietly(QDir(path("b")).relativeFilePath(m_clip)));
    QCOMPARE(m_controller->getMedia()->getTrackFragments().first()->track->getOrigName(), m_clip);
    for (int start : {5, 30}) {
        QSharedPointer<VideoLoop> loop(new VideoLoop);
        loop->setStartFrame(start);
        loop->setEndFrame(start + 10);
        m_controller->onExecute(new AddLoopCommand(loop));
    }
    QSharedPointer<VideoMarker> bookmark(new VideoMarker);
    bookmark->setFrame(22);
    m_controller->onExecute(new AddBookmarkCommand(bookmark));
    m_controller->onVoumeChanged(60);
    m_answers->answerFile(path("truth"));
    m_controller->saveCurrentProject();
    const QString saved = path("truth.twp");
    QDomDocument document;
    QVERIFY(document.setContent(readFile(saved)));
    const QDomElement timeline = document.elementsByTagName(QStringLiteral("timeline")).at(0).toElement();
    QCOMPARE(timeline.attribute(QStringLiteral("loops_created")), QStringLiteral("2"));
    QCOMPARE(timeline.attribute(QStringLiteral("bookmarks_created")), QStringLiteral("1"));
    const QDomElement options = document.documentElement().firstChildElement(QStringLiteral("options"));
    QCOMPARE(options.attribute(QStringLiteral("original_num_channels")), QStringLiteral("2"));
    QCOMPARE(options.attribute(QStringLiteral("volume")).toFloat(), 60.0f);
    const QDomElement track = document.elementsByTagName(QStringLiteral("track")).at(0).toElement();
    QCOMPARE(track.attribute(QStringLiteral("orig_name")), m_clip);
    QCOMPARE(Options::instance()->getOpenedFiles().value(0), m_clip);
    for (const QString &recent : Options::instance()->getOpenedFiles())
        QVERIFY2(QDir::isAbsolutePath(recent), qPrintable(recent));

    // The volume comes back with the project.
    QVERIFY(openQuietly(m_otherClip));
    QCOMPARE(m_controller->getMediaPlayer()->getCommonVolume(), 100.0f);
    open(saved);
    QCOMPARE(m_controller->getMedia()->getFilePath(), saved);
    QCOMPARE(m_controller->getMediaPlayer()->getCommonVolume(), 60.0f);
    QCOMPARE(m_window->getEditVideoWidget()->volumeSlider()->value(), 60);

    // An older project with its source relative to the project's folder,
    // its converted file gone: the source is found and converted again.
    const QString relative = QDir(path(QString())).relativeFilePath(m_clip);
    QVERIFY(QDir::isRelativePath(relative));
    track.toElement().setAttribute(QStringLiteral("orig_name"), relative);
    track.toElement().setAttribute(QStringLiteral("name"), path("gone/converted.avi"));
    const QString older = writeFile(path("older.twp"), document.toByteArray(1));
    QVERIFY(openQuietly(m_otherClip));
    m_answers->clear();
    open(older);
    QVERIFY2(m_answers->unexpected().isEmpty(), qPrintable(m_answers->unexpected().join(QLatin1Char('|'))));
    QCOMPARE(m_controller->getMedia()->getFilePath(), older);
    QVERIFY(allTracksLoaded(*m_controller->getMedia()));
    QCOMPARE(m_controller->getMedia()->getTrackFragments().first()->track->getOrigName(), m_clip);
    QVERIFY(QDir::setCurrent(startFolder));
}


void tst_ProjectFile::projectFileFrame()
{
    const QByteArray text = readFile(m_project);
    QVERIFY(text.startsWith("<tarnwell_project version=\"2\">\n <media"));
    QDomDocument document;
    QVERIFY(document.setContent(text));
    const QDomElement root = document.documentElement();
    QStringList children;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        children << e.tagName();
    QCOMPARE(children, (QStringList{"media", "options"}));
    QVERIFY(text.contains("\n <options"));
    QVERIFY(text.trimmed().endsWith("</tarnwell_project>"));
}


void tst_ProjectFile::bookmarksAndLoopsShowProgress()
{
    QVERIFY(openQuietly(m_clip));
    const QSharedPointer<MediaTimeLine> timeline = m_controller->getMedia()->getTimeline();
    for (int frame : {5, 15, 25}) {
        QSharedPointer<VideoMarker> bookmark(new VideoMarker);
        bookmark->setFrame(frame);
        timeline->addMarker(bookmark);
    }
    for (int start : {10, 30}) {
        QSharedPointer<VideoLoop> loop(new VideoLoop);
        loop->setStartFrame(start);
        loop->setEndFrame(start + 5);
        timeline->addLoop(loop);
    }
    m_answers->answerFile(path("marks"));
    m_controller->saveCurrentProjectAs();

    // What the status bar is told, in order.
    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    QStringList told;
    const QMetaObject::Connection c1 = connect(progress, &ProgressMonitor::newRange, this, [&told](int min, int max) {
        told << QStringLiteral("%1..%2").arg(min).arg(max);
    });
    const QMetaObject::Connection c2 =
        connect(progress, &ProgressMonitor::setStatusText, this, [&told](const QString &text) { told << text; });
    QVERIFY(openQuietly(path("marks.twp")));
    disconnect(c1);
    disconnect(c2);
    // The text, then one range per kind: 3 bookmarks, 2 loops; the stop resets.
    const int at = int(told.indexOf(QStringLiteral("Processing project...")));
    QVERIFY2(at > 0, qPrintable(told.join(QLatin1Char('|'))));
    QCOMPARE(told.mid(at - 1, 5), (QStringList{"0..1", "Processing project...", "0..3", "0..2", "0..1"}));
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    QCOMPARE(m_controller->getMedia()->getTimeline()->getMarkers().size(), 3);
    QCOMPARE(m_controller->getMedia()->getTimeline()->getLoops().size(), 2);
}


void tst_ProjectFile::cleanStateFollowsSaving()
{
    QVERIFY(openQuietly(m_project));
    QUndoStack *stack = m_controller->getUndoStack();
    QVERIFY(stack->isClean());
    QSharedPointer<VideoMarker> bookmark(new VideoMarker);
    bookmark->setFrame(5);
    m_controller->onExecute(new AddBookmarkCommand(bookmark));
    QVERIFY(!stack->isClean());
    m_controller->saveCurrentProject();
    QVERIFY(m_answers->seen().isEmpty());
    QVERIFY(stack->isClean());
    m_controller->onUndo();
    QVERIFY(!stack->isClean());
    m_controller->onRedo();
    QVERIFY(stack->isClean());
    // The saved file holds the bookmark.
    QVERIFY(openQuietly(m_project));
    QCOMPARE(m_controller->getMedia()->getTimeline()->getMarkers().size(), 1);
    // Put the shared project back as it was.
    m_controller->getMedia()->getTimeline()->removeMarker(m_controller->getMedia()->getTimeline()->getMarkers().first());
    m_controller->saveCurrentProject();
    QVERIFY(m_controller->getUndoStack()->isClean());
}


void tst_ProjectFile::settingsChangesMarkTheProjectChanged_data()
{
    QTest::addColumn<QString>("setting");
    QTest::newRow("tempo") << "tempo";
    QTest::newRow("pitch") << "pitch";
    QTest::newRow("volume") << "volume";
    QTest::newRow("tempo of a loop") << "loop tempo";
}


void tst_ProjectFile::settingsChangesMarkTheProjectChanged()
{
    QFETCH(QString, setting);
    QVERIFY(openQuietly(m_clip));
    QSharedPointer<VideoLoop> loop;
    if (setting == QLatin1String("loop tempo")) {
        loop.reset(new VideoLoop);
        loop->setStartFrame(10);
        loop->setEndFrame(20);
        m_controller->getMedia()->getTimeline()->addLoop(loop);
        m_window->addLoop(loop);
        m_window->setCurrentFrame(15);
    }
    QUndoStack *stack = m_controller->getUndoStack();
    const auto change = [&](float value) {
        // The player may have reported another position meanwhile.
        if (loop)
            m_window->setCurrentFrame(15);
        if (setting == QLatin1String("pitch"))
            m_controller->onPitchChanged(value);
        else if (setting == QLatin1String("volume"))
            m_controller->onVoumeChanged(int(value));
        else
            m_controller->onTempoChanged(value);
    };
    QVERIFY(stack->isClean());
    change(setting == QLatin1String("pitch") ? 3.0f : 60.0f);
    QVERIFY2(!stack->isClean(), "the change would be lost without a question");
    if (loop) {
        QCOMPARE(loop->getTempo(), 60.0f);
        QCOMPARE(projectOptions()->getProjectTempo(), 100.0f);
    }

    m_answers->answerFile(path(QStringLiteral("settings-%1").arg(QString::fromLatin1(QTest::currentDataTag()))));
    m_controller->saveCurrentProject();
    QVERIFY(stack->isClean());
    // The same value again changes nothing.
    change(setting == QLatin1String("pitch") ? 3.0f : 60.0f);
    QVERIFY(stack->isClean());
    QVERIFY(m_answers->unexpected().isEmpty());
}


void tst_ProjectFile::emptyProjectIgnoresPlaybackCommands()
{
    makeEmpty();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    const float tempo = player->getEffectiveTempo();
    const float pitch = player->getEffectivePitch();
    const float volume = player->getCommonVolume();
    m_controller->onTempoChanged(150.0f);
    m_controller->onPitchChanged(5.0f);
    m_controller->onVoumeChanged(10);
    m_controller->onPlayVideo();
    m_controller->onPauseVideo();
    m_controller->onStopVideo();
    QCOMPARE(player->getEffectiveTempo(), tempo);
    QCOMPARE(player->getEffectivePitch(), pitch);
    QCOMPARE(player->getCommonVolume(), volume);
    QVERIFY(!player->isPlaying());
    QCOMPARE(projectOptions()->getProjectTempo(), 100.0f);
    QCOMPARE(projectOptions()->getProjectPitch(), 0.0f);
    QVERIFY(m_controller->getUndoStack()->isClean());
}


void tst_ProjectFile::stopReturnsToTheStart()
{
    QVERIFY(openQuietly(m_clip));
    m_window->setCurrentFrame(20);
    QCOMPARE(m_window->getCurFrame(), 20);
    m_controller->onStopVideo();
    QCOMPARE(m_window->getCurFrame(), 0);
}


void tst_ProjectFile::questionsBeforeOpening_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QString>("saveAs"); // the name typed; empty: the dialog is cancelled
    QTest::addColumn<bool>("opened");
    QTest::newRow("No keeps the project") << QList<int>{QMessageBox::No} << QString() << false;
    QTest::newRow("Yes, No discards the edits") << QList<int>{QMessageBox::Yes, QMessageBox::No} << QString()
                                                << true;
    QTest::newRow("Yes, Yes, save dialog cancelled keeps the edits")
        << QList<int>{QMessageBox::Yes, QMessageBox::Yes} << QString() << false;
    QTest::newRow("Yes, Yes, saved then opened") << QList<int>{QMessageBox::Yes, QMessageBox::Yes}
                                                 << QStringLiteral("before-closing") << true;
}


void tst_ProjectFile::questionsBeforeOpening()
{
    QFETCH(QList<int>, answers);
    QFETCH(QString, saveAs);
    QFETCH(bool, opened);
    QVERIFY(openQuietly(m_clip));
    QFile::remove(path("before-closing.twp"));
    m_controller->onTempoChanged(60.0f);
    const QSharedPointer<Media> project = m_controller->getMedia();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();

    m_answers->clear();
    for (int answer : answers)
        m_answers->answerBox(QMessageBox::StandardButton(answer));
    const bool dialogExpected = answers.size() == 2 && answers.last() == QMessageBox::Yes;
    if (dialogExpected)
        m_answers->answerFile(saveAs.isEmpty() ? QString() : path(saveAs));
    open(m_otherClip);

    const QList<ModalAnswerer::Seen> seen = m_answers->seen();
    QVERIFY(m_answers->unexpected().isEmpty());
    QCOMPARE(m_answers->answersLeft(), 0);
    QCOMPARE(seen.first().title, QStringLiteral("Open new file"));
    QCOMPARE(seen.first().text, QStringLiteral("Do you want to close current project?"));
    QCOMPARE(seen.first().defaultButton, QMessageBox::No);
    if (answers.size() > 1) {
        QCOMPARE(seen.at(1).title, QStringLiteral("Save project"));
        QCOMPARE(seen.at(1).text, QStringLiteral("Do you want to save current project before closing?"));
        QCOMPARE(seen.at(1).defaultButton, QMessageBox::Yes);
    }
    if (dialogExpected)
        QCOMPARE(seen.at(2).kind, ModalAnswerer::Seen::FileDialog);
    QCOMPARE(QFile::exists(path("before-closing.twp")), !saveAs.isEmpty());

    if (opened) {
        QCOMPARE(m_controller->getMedia()->getFilePath(), m_otherClip);
        QCOMPARE(projectOptions()->getProjectTempo(), 100.0f);
        QVERIFY(m_controller->getUndoStack()->isClean());
    } else {
        // Nothing changed: project, player, settings and the unsaved state.
        QCOMPARE(m_controller->getMedia(), project);
        QCOMPARE(m_controller->getMediaPlayer(), player);
        QCOMPARE(project->getFilePath(), m_clip);
        QCOMPARE(projectOptions()->getProjectTempo(), 60.0f);
        QVERIFY(!m_controller->getUndoStack()->isClean());
    }
}


void tst_ProjectFile::cleanProjectClosesWithoutQuestion()
{
    QVERIFY(openQuietly(m_clip));
    open(m_otherClip);
    QVERIFY(m_answers->seen().isEmpty());
    QCOMPARE(m_controller->getMedia()->getFilePath(), m_otherClip);
    // A missing file changes nothing, even with edits; the user is told
    // which file is missing and asked nothing else.
    m_controller->onTempoChanged(80.0f);
    const QSharedPointer<Media> project = m_controller->getMedia();
    m_answers->answerBox(QMessageBox::Ok);
    open(path("absent.mp4"));
    QCOMPARE(m_answers->boxes().size(), 1);
    QVERIFY2(m_answers->boxes().first().contains(QStringLiteral("absent.mp4")), qPrintable(m_answers->boxes().first()));
    QCOMPARE(m_controller->getMedia(), project);
}


void tst_ProjectFile::saveAsNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no suffix") << "take" << "take.twp";
    QTest::newRow("suffix given") << "given.twp" << "given.twp";
    QTest::newRow("suffix in capitals") << "upper.TWP" << "upper.TWP.twp";
}


void tst_ProjectFile::saveAsNames()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QVERIFY(openQuietly(m_clip));
    m_answers->answerFile(path(typed));
    m_controller->saveCurrentProjectAs();
    QVERIFY(m_answers->unexpected().isEmpty());
    QVERIFY(QFile::exists(path(written)));
    QCOMPARE(m_controller->getMedia()->getFilePath(), path(written));
    QVERIFY(readFile(path(written)).startsWith("<tarnwell_project"));
}


void tst_ProjectFile::quickSaveNeedsAProjectFileName()
{
    QVERIFY(openQuietly(m_project));
    const QString upper = path("quick.TWP");
    m_controller->getMedia()->setFilePath(upper);
    m_controller->saveCurrentProject(); // not a ".twp" name: the dialog is shown
    QCOMPARE(m_answers->seen().size(), 1);
    QCOMPARE(m_answers->seen().first().kind, ModalAnswerer::Seen::FileDialog);
    QVERIFY(!QFile::exists(upper));
}


void tst_ProjectFile::saveDialogFolders()
{
    QVERIFY(openQuietly(m_clip));
    Options *options = Options::instance();
    options->setPath(SaveProjectFolder, path("configured"));
    QVERIFY(options->getLastPath(SaveProjectFolder).isEmpty());
    m_controller->saveCurrentProjectAs(); // cancelled: nothing saved
    QCOMPARE(m_answers->seen().size(), 1);
    const ModalAnswerer::Seen first = m_answers->seen().first();
    QCOMPARE(first.title, QStringLiteral("Save project"));
    QCOMPARE(first.nameFilters, QStringList{QStringLiteral("Tarnwell Project (*.twp)")});
    QVERIFY(first.saving);
    QCOMPARE(QDir(first.directory), QDir(path("configured")));
    // Cancelling still remembers the folder, which the next dialog starts in.
    QCOMPARE(QDir(options->getLastPath(SaveProjectFolder)), QDir(path("configured")));
    options->setLastPath(SaveProjectFolder, path("a"));
    m_controller->saveCurrentProjectAs();
    QCOMPARE(QDir(m_answers->seen().at(1).directory), QDir(path("a")));
    QCOMPARE(m_controller->getMedia()->getFilePath(), m_clip);

    // An empty project is not saved; no dialog is shown.
    makeEmpty();
    m_controller->saveCurrentProjectAs();
    m_controller->saveCurrentProject();
    QVERIFY(m_answers->seen().isEmpty());
}


void tst_ProjectFile::failedSaveIsReported()
{
    QVERIFY(openQuietly(m_clip));
    m_controller->onTempoChanged(70.0f);
    // The chosen name is taken by a folder.
    QVERIFY(QDir().mkpath(path("taken.twp")));
    m_answers->answerFile(path("taken"));
    m_controller->saveCurrentProjectAs();
    QCOMPARE(m_answers->seen().size(), 2);
    const ModalAnswerer::Seen report = m_answers->seen().at(1);
    QCOMPARE(report.kind, ModalAnswerer::Seen::Box);
    QCOMPARE(report.title, QStringLiteral("Save project"));
    QVERIFY2(report.text.contains(QStringLiteral("could not be saved")), qPrintable(report.text));
    QVERIFY(!m_controller->getUndoStack()->isClean());
    // The project keeps the path it had; the title names no file that was not written.
    QCOMPARE(m_controller->getMedia()->getFilePath(), m_clip);
    QVERIFY(m_window->windowTitle().contains(QFileInfo(m_clip).fileName()));
    QVERIFY(QFileInfo(path("taken.twp")).isDir());
}


void tst_ProjectFile::fullDiskKeepsTheOldProject()
{
    QVERIFY(openQuietly(m_clip));
    m_answers->answerFile(path("full"));
    m_controller->saveCurrentProjectAs();
    const QString full = path("full.twp");
    const QByteArray old = readFile(full);
    QVERIFY(old.size() > 200);
    m_controller->onTempoChanged(55.0f);
    m_answers->clear();
    {
        FileSizeLimit limit(64);
        QVERIFY(limit.isActive());
        m_controller->saveCurrentProject();
    }
    QCOMPARE(m_answers->boxes().size(), 1);
    QVERIFY(m_answers->boxes().first().startsWith(QStringLiteral("Save project: ")));
    QCOMPARE(readFile(full), old);
    QVERIFY(!m_controller->getUndoStack()->isClean());
    QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("full.twp*")}, QDir::Files),
             QStringList{QStringLiteral("full.twp")});
    // With room again the same save works.
    m_controller->saveCurrentProject();
    QVERIFY(m_controller->getUndoStack()->isClean());
    QVERIFY(readFile(full) != old);
}


namespace {

// Cancels the next modal dialog (the volume dialog) once it shows.
void cancelNextDialog()
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            dialog->reject();
        }
    });
    timer->start();
}


} // namespace

void tst_ProjectFile::volumeAtTheEndOfTheProject()
{
    QVERIFY(openQuietly(m_clip));
    m_window->getTimeArea()->setSelection(PairInt(10, 20));
    QCOMPARE(m_window->getSelection(), PairInt(10, 20));
    // Past the last fragment no fragment lies under the position.
    m_controller->getMediaPlayer()->seek(500, true, true);
    cancelNextDialog();
    m_controller->onVolume();
    QVERIFY(logged(QStringLiteral("No fragment under the play position.")));
    QVERIFY(logged(QStringLiteral("Volume dialog starts at 100")));
    // Inside the project the fragment's own volume is the start.
    m_controller->getMedia()->getTrackFragments().first()->volume = 40.0f;
    m_controller->getMediaPlayer()->seek(15, true, true);
    cancelNextDialog();
    m_controller->onVolume();
    QVERIFY(logged(QStringLiteral("Volume dialog starts at 40")));
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_ProjectFile tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_ProjectFile.moc"
