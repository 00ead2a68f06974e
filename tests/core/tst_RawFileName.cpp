// Names that are not valid UTF-8: the decoded path is found again through
// the folders' raw entries and opened through a link with a valid name.
#include "core/RawFileName.h"
#include "core/VideoFileParser.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TW::RawFileName;

namespace {

// Makes a file (or folder) whose name is given as raw bytes.
bool makeRaw(const QByteArray &path, const QByteArray &content, bool folder = false)
{
    if (folder)
        return ::mkdir(path.constData(), 0700) == 0;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    ::close(fd);
    return ok;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_RawFileName : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray raw(const QByteArray &relative) const { return QFile::encodeName(m_dir.path()) + '/' + relative; }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        RawFileName::setLinkFolder(m_dir.filePath(QStringLiteral("links")));
    }

    // Latin-1 bytes in the file's name or in a folder's, and names that
    // decode alike (which one was meant cannot be known).
    void found_data()
    {
        QTest::addColumn<QByteArrayList>("made");
        QTest::addColumn<QByteArray>("asked");
        QTest::addColumn<bool>("found");
        QTest::newRow("Latin-1 file name") << QByteArrayList{"caf\xe9.txt"} << QByteArray("caf\xe9.txt") << true;
        QTest::newRow("Latin-1 folder") << QByteArrayList{"d\xe9j\xe0/", "d\xe9j\xe0/clip.txt"}
                                        << QByteArray("d\xe9j\xe0/clip.txt") << true;
        QTest::newRow("both") << QByteArrayList{"\xc0/", "\xc0/\xff\xfe.txt"} << QByteArray("\xc0/\xff\xfe.txt")
                              << true;
        QTest::newRow("two alike") << QByteArrayList{"tw\xe9.txt", "tw\xe8.txt"} << QByteArray("tw\xe9.txt")
                                   << false;
        QTest::newRow("missing") << QByteArrayList{} << QByteArray("gon\xe9.txt") << false;
    }
    void found()
    {
        QFETCH(QByteArrayList, made);
        QFETCH(QByteArray, asked);
        QFETCH(bool, found);
        const QString row = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        const QByteArray folder = raw(row.toLatin1());
        QVERIFY(makeRaw(folder, {}, true));
        for (const QByteArray &name : made) {
            if (name.endsWith('/'))
                QVERIFY(makeRaw(folder + '/' + name.chopped(1), {}, true));
            else
                QVERIFY(makeRaw(folder + '/' + name, "content of " + name));
        }
        const QString decoded = QFile::decodeName(folder + '/' + asked);
        // What Qt makes of the name does not name the file.
        QVERIFY(!QFileInfo::exists(decoded));

        QCOMPARE(RawFileName::findRawPath(decoded), found ? folder + '/' + asked : QByteArray());
        const QString openable = RawFileName::openablePath(decoded);
        QCOMPARE(openable.isEmpty(), !found);
        if (!found)
            return;
        QCOMPARE(readAll(openable), "content of " + asked);
        QCOMPARE(QFile::encodeName(QFile::decodeName(QFile::encodeName(openable))), QFile::encodeName(openable));
        // The same file, the same link.
        QCOMPARE(RawFileName::openablePath(decoded), openable);
    }

    void existingPathUnchanged()
    {
        const QString plain = m_dir.filePath(QStringLiteral("plain.txt"));
        QVERIFY(makeRaw(QFile::encodeName(plain), "x"));
        QCOMPARE(RawFileName::openablePath(plain), plain);
    }

    // The link is good for the tools: ffprobe reads the media behind it.
    void mediaOpensThroughTheLink()
    {
        const QString clip = TW::test::TestMedia::make(TW::test::TestMedia::VideoStereo, m_dir.path());
        QVERIFY(!clip.isEmpty());
        const QByteArray latin = raw("r\xe9p\xe9tition.mp4");
        QCOMPARE(::rename(QFile::encodeName(clip).constData(), latin.constData()), 0);
        const QString decoded = QFile::decodeName(latin);
        TW::VideoFileParser before;
        QVERIFY(!before.parseFile(decoded));
        TW::VideoFileParser parser;
        QVERIFY(parser.parseFile(RawFileName::openablePath(decoded)));
        QVERIFY(parser.getDuration().unitCount > 0);
    }
};

QTEST_MAIN(tst_RawFileName)
#include "tst_RawFileName.moc"
