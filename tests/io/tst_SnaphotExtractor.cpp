// Frames taken by ffmpeg: every frame of a span in order, one frame at a
// time, and nothing taken from files another run left behind.
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/Options.h"
#include "io/SnaphotExtractor.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;

class tst_SnaphotExtractor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void framesInOrder();
    void oneFrame();
    void failures();

private:
    QTemporaryDir m_dir;
    QString m_clip;
};

void tst_SnaphotExtractor::initTestCase()
{
    // Each second a different solid colour: red, green, blue.
    m_clip = m_dir.filePath(QStringLiteral("colours.mkv"));
    QVERIFY(test::TestMedia::ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=64x48:r=25:d=1", "-f", "lavfi", "-i",
                                     "color=c=lime:s=64x48:r=25:d=1", "-f", "lavfi", "-i",
                                     "color=c=blue:s=64x48:r=25:d=1", "-filter_complex",
                                     "[0:v][1:v][2:v]concat=n=3:v=1", "-c:v", "ffv1", m_clip}));
}

void tst_SnaphotExtractor::framesInOrder()
{
    // A stale frame of an earlier run in the temporary folder is not taken.
    const QString temp = Options::instance()->getPath(TempFolder);
    QDir().mkpath(temp);
    QImage decoy(8, 8, QImage::Format_RGB32);
    decoy.fill(Qt::white);
    QVERIFY(decoy.save(QDir(temp).filePath(QStringLiteral("tmpprintimg1.png"))));

    const QVector<QImage> frames = SnaphotExtractor::framesOf(m_clip, QTime(0, 0, 0, 500), QTime(0, 0, 2));
    // About 50: ffmpeg's cut may fall a frame either side.
    QVERIFY2(qAbs(frames.size() - 50) <= 1, qPrintable(QString::number(frames.size())));
    // Frames 0-12 are red, 13-37 green, the last ones blue: in numeric order.
    const auto colour = [&](int i) { return frames.at(i).pixelColor(32, 24); };
    QVERIFY(colour(0).red() > 200 && colour(0).green() < 60);
    QVERIFY(colour(20).green() > 200 && colour(20).red() < 60);
    QVERIFY(colour(int(frames.size()) - 1).blue() > 200 && colour(int(frames.size()) - 1).red() < 60);
    for (const QImage &frame : frames)
        QCOMPARE(frame.size(), QSize(64, 48));
    // The run left nothing of its own behind, and the decoy is still there.
    QVERIFY(QFile::exists(QDir(temp).filePath(QStringLiteral("tmpprintimg1.png"))));
    QCOMPARE(QDir(temp).entryList({QStringLiteral("frames-*")}, QDir::Dirs).size(), 0);
}

void tst_SnaphotExtractor::oneFrame()
{
    const QImage green = SnaphotExtractor::snapshotAt(m_clip, QTime(0, 0, 1, 500));
    QVERIFY(!green.isNull());
    QVERIFY(green.pixelColor(10, 10).green() > 200);
    QVERIFY(green.pixelColor(10, 10).red() < 60);
}

void tst_SnaphotExtractor::failures()
{
    QVERIFY(SnaphotExtractor::snapshotAt(m_dir.filePath(QStringLiteral("missing.mkv")), QTime(0, 0)).isNull());
    QVERIFY(SnaphotExtractor::framesOf(m_dir.filePath(QStringLiteral("missing.mkv")), QTime(0, 0), QTime(0, 0, 1))
                .isEmpty());
    const QString text = m_dir.filePath(QStringLiteral("text.mp4"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a video");
    f.close();
    QVERIFY(SnaphotExtractor::snapshotAt(text, QTime(0, 0)).isNull());
    // A name that looks like an option reaches ffmpeg as a file.
    QVERIFY(SnaphotExtractor::snapshotAt(QStringLiteral("-version"), QTime(0, 0)).isNull());
}

int main(int argc, char **argv)
{
    test::isolateHome();
    QApplication app(argc, argv);
    tst_SnaphotExtractor tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_SnaphotExtractor.moc"
