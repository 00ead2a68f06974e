// The export dialog: its defaults from the project, which fields the type
// and the quality box enable, the record it fills on OK, the file name
// rules, and the folder its save dialog remembers.
#include "dialogs/ExportDialog.h"

#include "TestEnv.h"

#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/PathType.h"
#include "core/Singleton.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using TW::ExportDialog;
using TW::ExportOptions;

namespace {

struct Form
{
    explicit Form(ExportDialog &d)
        : file(d.findChild<QLineEdit *>("exportFileNameLineEdit")),
          type(d.findChild<QComboBox *>("exportTypeComboBox")),
          original(d.findChild<QCheckBox *>("exportOriginalQualityCheckBox")),
          loops(d.findChild<QCheckBox *>("loopsCheckBox")),
          videoBitrate(d.findChild<QComboBox *>("exportVideoBitrateComboBox")),
          audioBitrate(d.findChild<QComboBox *>("exportAudioBitrateComboBox")),
          size(d.findChild<QComboBox *>("exportVideoSizeComboBox")),
          freq(d.findChild<QComboBox *>("exportSampleFrequencyComboBox")),
          mono(d.findChild<QRadioButton *>("exportMonoRadioButton")),
          stereo(d.findChild<QRadioButton *>("exportStereoRadioButton")),
          buttons(d.findChild<QDialogButtonBox *>("buttonBox")),
          path(d.findChild<QPushButton *>("pathButton"))
    {
    }
    QLineEdit *file;
    QComboBox *type;
    QCheckBox *original;
    QCheckBox *loops;
    QComboBox *videoBitrate, *audioBitrate, *size, *freq;
    QRadioButton *mono, *stereo;
    QDialogButtonBox *buttons;
    QPushButton *path;

    // Which of the six quality widgets are enabled, in a fixed order.
    QString enabled() const
    {
        QString s;
        for (QWidget *w : std::initializer_list<QWidget *>{videoBitrate, audioBitrate, size, freq, mono, stereo})
            s += w->isEnabled() ? '1' : '0';
        return s;
    }
    void ok() { buttons->button(QDialogButtonBox::Ok)->click(); }
};

void setSizes(QSize output, QSize source)
{
    TW::OptionsHolder *o = TW::Singleton<TW::OptionsHolder>::instance();
    o->m_videoWidth = output.width();
    o->m_videoHeight = output.height();
    o->m_originalvideoWidth = source.width();
    o->m_originalvideoHeight = source.height();
}

} // namespace

class tst_ExportDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString exportFolder() const
    {
        TW::Options *o = TW::Options::instance();
        const QString last = o->getLastPath(TW::ExportFolder);
        return last.isEmpty() ? o->getPath(TW::ExportFolder) : last;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
    }

    void init()
    {
        setSizes(QSize(640, 360), QSize(640, 360));
        TW::Options::instance()->setLastPath(TW::ExportFolder, QString());
    }

    void defaults()
    {
        for (int opening = 0; opening < 2; ++opening) {
            ExportDialog dialog;
            Form f(dialog);
            QCOMPARE(dialog.windowTitle(), QString("Export"));
            QCOMPARE(dialog.size(), QSize(680, 220));
            QCOMPARE(f.type->currentIndex(), 0);
            QCOMPARE(f.type->count(), 6);
            QCOMPARE(f.videoBitrate->currentData().toInt(), 1500);
            QCOMPARE(f.audioBitrate->currentData().toInt(), 192);
            QCOMPARE(f.freq->currentData().toInt(), 44100);
            QVERIFY(f.stereo->isChecked());
            QVERIFY(!f.loops->isChecked());
            QCOMPARE(f.size->currentIndex(), 0);
            QCOMPARE(f.size->currentText(), QString("640 x 360 - Current"));
            // Output size equal to the source: original quality, nothing to choose.
            QVERIFY(f.original->isChecked());
            QVERIFY(f.original->isEnabled());
            QCOMPARE(f.enabled(), QString("000000"));
            f.original->setChecked(false);
            QCOMPARE(f.enabled(), QString("111111"));
        }
    }

    void differentSizeOpensUnchecked()
    {
        setSizes(QSize(320, 240), QSize(640, 480));
        ExportDialog dialog;
        Form f(dialog);
        QVERIFY(!f.original->isChecked());
        QCOMPARE(f.enabled(), QString("111111"));
        QCOMPARE(f.size->itemText(2), QString("640 x 480 - Original"));
        QCOMPARE(f.size->currentData().toSize(), QSize(320, 240));
    }

    void audioTypeEnabling()
    {
        ExportDialog dialog;
        Form f(dialog);
        f.type->setCurrentIndex(5); // PCM Audio
        QVERIFY(!f.original->isEnabled());
        QVERIFY(f.original->isChecked());
        QCOMPARE(f.enabled(), QString("000111"));
        f.type->setCurrentIndex(3); // back to a video type
        QVERIFY(f.original->isEnabled());
        QCOMPARE(f.enabled(), QString("000000"));
    }

    void record_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("original");
        QTest::addColumn<bool>("apple");
        QTest::addColumn<bool>("audioOnly");
        QTest::addColumn<QSize>("size");
        QTest::newRow("mp4, original") << 0 << true << false << false << QSize(-1, -1);
        QTest::newRow("mp4 for devices") << 1 << false << true << false << QSize(1280, 720);
        QTest::newRow("mpg") << 2 << false << false << false << QSize(1280, 720);
        QTest::newRow("flv, original") << 4 << true << false << false << QSize(-1, -1);
        // The audio type enables rate and channels; they count, so the
        // project's own quality does not replace them.
        QTest::newRow("wav") << 5 << false << false << true << QSize(1280, 720);
    }
    void record()
    {
        QFETCH(int, type);
        QFETCH(bool, original);
        QFETCH(bool, apple);
        QFETCH(bool, audioOnly);
        QFETCH(QSize, size);
        ExportDialog dialog;
        Form f(dialog);
        f.type->setCurrentIndex(type);
        f.original->setChecked(original || type == 5);
        if (!original) {
            f.original->setChecked(false);
            f.size->setCurrentIndex(5); // 1280 x 720
            f.videoBitrate->setCurrentIndex(3);
            f.audioBitrate->setCurrentIndex(0);
            f.freq->setCurrentIndex(1);
            f.mono->setChecked(true);
        }
        f.loops->setChecked(true);
        f.file->setText("take");
        f.ok();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const ExportOptions o = dialog.getExportOptions();
        QCOMPARE(o.origQuality, original);
        QCOMPARE(o.appleCompatible, apple);
        QCOMPARE(o.audioOnly, audioOnly);
        QCOMPARE(o.videoSize, size);
        QVERIFY(o.useLoopCount);
        if (!original) {
            QCOMPARE(o.videoBitrate, 6000);
            QCOMPARE(o.audioBitrate, 128);
            QCOMPARE(o.freq, 22050);
            QVERIFY(!o.stereo);
        }
        QCOMPARE(o.file, exportFolder() + "/take." + f.type->currentData().toString());
    }

    void audioTypeSendsItsOwnQuality()
    {
        // The box stays checked (and disabled) with the audio type, yet the
        // channel choice it enables is what goes out.
        ExportDialog dialog;
        Form f(dialog);
        f.type->setCurrentIndex(5);
        QVERIFY(f.original->isChecked());
        f.mono->setChecked(true);
        f.file->setText("voice");
        f.ok();
        const ExportOptions o = dialog.getExportOptions();
        QVERIFY(o.audioOnly);
        QVERIFY(!o.origQuality);
        QVERIFY(!o.stereo);
    }

    // One real click on OK, where the button shows, accepts: nothing lies
    // over the button and nothing takes the click first.
    void oneClickOnOkAccepts()
    {
        ExportDialog dialog;
        Form f(dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit *name = dialog.findChild<QLineEdit *>("exportFileNameLineEdit");
        QTest::keyClicks(name, "take");
        QPushButton *okButton = f.buttons->button(QDialogButtonBox::Ok);
        const QPoint at = okButton->mapTo(&dialog, okButton->rect().center());
        QCOMPARE(dialog.childAt(at), okButton);
        QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    void emptyNameKeepsTheDialogOpen()
    {
        ExportDialog dialog;
        Form f(dialog);
        dialog.show();
        f.ok();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.getExportOptions().file.isEmpty());
        // It says what is missing, where it is missing.
        QLineEdit *name = dialog.findChild<QLineEdit *>("exportFileNameLineEdit");
        QVERIFY(name->placeholderText().startsWith("Type a name for the exported file"));
        QTRY_VERIFY(name->hasFocus());
    }

    void outputFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare name") << "clip" << "mov" << "/f/clip.mov";
        QTest::newRow("other suffix") << "clip.mov" << "mp4" << "/f/clip.mp4";
        QTest::newRow("relative folder dropped") << "sub/clip.mp4" << "flv" << "/f/clip.flv";
        QTest::newRow("two dots") << "take.2.mov" << "wav" << "/f/take.2.wav";
        QTest::newRow("absolute kept as typed") << "/elsewhere/clip.MOV" << "mp4" << "/elsewhere/clip.MOV";
        QTest::newRow("absolute without suffix") << "/elsewhere/clip" << "mp4" << "/elsewhere/clip.mp4";
    }
    void outputFile()
    {
        QFETCH(QString, text);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        if (QDir::isAbsolutePath(text)) {
            text = dir.path() + text;
            expected = dir.path() + expected;
        }
        QCOMPARE(ExportDialog::outputFile(text, extension, "/f"), expected);
    }

    void absoluteNameCreatesItsFolder()
    {
        const QString file = dir.filePath("new/deeper/out.mp4");
        ExportDialog dialog;
        Form f(dialog);
        f.file->setText(file);
        f.ok();
        QCOMPARE(dialog.getExportOptions().file, file);
        QVERIFY(QDir(dir.filePath("new/deeper")).exists());
    }

    void typeChangeRewritesTheExtension_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << "/Users/me/clip.mov" << "/Users/me/clip.mpg";
        QTest::newRow("bare") << "clip" << "clip.mpg";
        QTest::newRow("two dots") << "take.2.mov" << "take.2.mpg";
        QTest::newRow("dot in folder") << "/a.b/clip" << "/a.b/clip.mpg";
        QTest::newRow("empty stays empty") << "" << "";
    }
    void typeChangeRewritesTheExtension()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        ExportDialog dialog;
        Form f(dialog);
        f.file->setText(text);
        f.type->setCurrentIndex(2);
        QCOMPARE(f.file->text(), expected);
    }

    void savedNameGetsTheExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("has it") << "/x/clip.flv" << "/x/clip.flv";
        QTest::newRow("letters without dot") << "/x/clipflv" << "/x/clipflv";
        QTest::newRow("other") << "/x/clip.mp4" << "/x/clip.mp4.flv";
        QTest::newRow("case differs") << "/x/clip.FLV" << "/x/clip.FLV.flv";
    }
    void savedNameGetsTheExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(ExportDialog::ensureExtension(name, "flv"), expected);
    }

    void saveDialogRemembersItsFolder()
    {
        // Cancelled after moving to another folder: that folder is where
        // the next save dialog starts, and the name is unchanged.
        const QString other = dir.filePath("other");
        QVERIFY(QDir().mkpath(other));
        ExportDialog dialog;
        Form f(dialog);
        f.file->setText("keep");
        QString title;
        QTimer::singleShot(0, this, [&] {
            auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!chooser)
                return;
            title = chooser->windowTitle();
            chooser->setDirectory(other);
            chooser->reject();
        });
        f.path->click();
        QCOMPARE(title, QString("Export to..."));
        QCOMPARE(f.file->text(), QString("keep"));
        QCOMPARE(TW::Options::instance()->getLastPath(TW::ExportFolder), QFileInfo(other).absoluteFilePath());

        // Accepted: the chosen name gets the type's extension.
        QTimer::singleShot(0, this, [&] {
            auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!chooser)
                return;
            chooser->selectFile(QDir(other).filePath("song"));
            QMetaObject::invokeMethod(chooser, "accept");
        });
        f.path->click();
        QCOMPARE(f.file->text(), QDir(other).filePath("song.mp4"));
    }
};

QTEST_MAIN(tst_ExportDialog)
#include "tst_ExportDialog.moc"
