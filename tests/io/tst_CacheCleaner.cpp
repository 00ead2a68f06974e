// Clearing the conversion cache: only the cache's own unused files go, a
// marker only with its file, and an unsafe folder setting clears nothing.
#include "TestEnv.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/CacheCleaner.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;

namespace {

QString hexName(char digit, const QString &suffix = QString())
{
    return QString(48, QLatin1Char(digit)) + suffix + QStringLiteral(".avi");
}

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

// A project of one fragment over a converted file.
QString project(const QString &path, const QString &converted)
{
    const QString xml = QStringLiteral(
        "<tarnwell_project version=\"2\">\n <media>\n  <file path=\"%1\"/>\n  <duration units=\"1000000\"/>\n"
        "  <info/>\n  <timeline bookmarks_created=\"0\" loops_created=\"0\" video_locked=\"0\" video_playable=\"1\" "
        "audio_locked=\"0\" audio_playable=\"1\"><loops/><markers/></timeline>\n  <tracks>\n"
        "   <track_fragment repeat=\"0\" play_video=\"1\" play_audio=\"1\"><start units=\"0\"/><end units=\"1000000\"/>"
        "<position units=\"0\"/><track name=\"%2\" index=\"1\" orig_name=\"/somewhere/source.mp4\"/></track_fragment>\n"
        "  </tracks>\n </media>\n <options fps=\"25\"/>\n</tarnwell_project>\n")
                            .arg(path, converted);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(xml.toUtf8());
    return path;
}

} // namespace

class tst_CacheCleaner : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cacheMadeNames_data();
    void cacheMadeNames();
    void unsafeFolders_data();
    void unsafeFolders();
    void onlyUnusedCacheFilesGo();

private:
    QTemporaryDir m_dir;
};

void tst_CacheCleaner::cacheMadeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("made");
    QTest::newRow("conversion") << hexName('a') << true;
    QTest::newRow("its marker") << hexName('a') + ".finished" << true;
    QTest::newRow("its record") << hexName('a') + ".info" << true;
    QTest::newRow("a record's temporary file") << hexName('a') + ".info.aBcD12" << false;
    QTest::newRow("chosen stream") << hexName('b', "_2") << true;
    QTest::newRow("user's video") << "holiday.avi" << false;
    QTest::newRow("capital hex") << QString(48, 'A') + ".avi" << false;
    QTest::newRow("47 digits") << QString(47, 'a') + ".avi" << false;
    QTest::newRow("another suffix") << QString(48, 'a') + ".mp4" << false;
    QTest::newRow("unfinished extraction") << hexName('a') + ".part" << false;
}

void tst_CacheCleaner::cacheMadeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, made);
    QCOMPARE(CacheCleaner::isCacheMade(name), made);
}

void tst_CacheCleaner::unsafeFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("  ");
    QTest::newRow("root") << QStringLiteral("/");
    QTest::newRow("root, spelled long") << QStringLiteral("/tmp/..");
    QTest::newRow("home") << QDir::homePath();
    QTest::newRow("home with a slash") << QDir::homePath() + "/";
}

void tst_CacheCleaner::unsafeFolders()
{
    QFETCH(QString, folder);
    QString why;
    QVERIFY(!CacheCleaner::usableCacheFolder(folder, &why));
    QVERIFY(!why.isEmpty());
    QVERIFY(CacheCleaner::clearUnused(folder, {}).isEmpty());
}

void tst_CacheCleaner::onlyUnusedCacheFilesGo()
{
    const QString cache = m_dir.filePath("cache");
    const auto in = [&](const QString &name) { return QDir(cache).filePath(name); };
    const QStringList files = {
        hexName('a'), hexName('a') + ".finished", // used by a saved project (in a subfolder)
        hexName('b'), hexName('b') + ".finished", // used by a project elsewhere (recent files)
        hexName('a') + ".info",
        hexName('c'), hexName('c') + ".finished", // used by nobody
        hexName('c') + ".info",
        hexName('7') + ".info",                   // a record whose file is gone
        hexName('d', "_3"),                       // unused, cut short (no marker)
        hexName('e') + ".finished",               // a marker whose file is gone
        hexName('f'), hexName('f') + ".finished", // the open project's
        "holiday.avi", "notes.txt", QString(48, 'A') + ".avi",
    };
    for (const QString &f : files)
        touch(in(f));
    touch(in("sub/" + hexName('9')));

    OptionsHolder *options = Singleton<OptionsHolder>::instance();
    options->m_fps = 12.0f;
    const QSet<QString> used = CacheCleaner::filesUsedBy(
                                   {project(m_dir.filePath("saved/deeper/a.twp"), in(hexName('a'))),
                                    project(m_dir.filePath("elsewhere/b.twp"), in(hexName('b'))),
                                    m_dir.filePath("saved/missing.twp")})
                               + QSet<QString>{CacheCleaner::normalized(in(hexName('f')))};
    QCOMPARE(options->m_fps, 12.0f); // reading projects leaves the settings alone
    const QStringList removed = CacheCleaner::clearUnused(cache, used);

    QStringList expected = {hexName('c'), hexName('c') + ".finished", hexName('c') + ".info", hexName('d', "_3"),
                            hexName('e') + ".finished", hexName('7') + ".info"};
    QStringList got = removed;
    expected.sort();
    got.sort();
    QCOMPARE(got, expected);
    for (const QString &f : files)
        QCOMPARE(QFile::exists(in(f)), !expected.contains(f));
    QVERIFY(QFile::exists(in("sub/" + hexName('9'))));
}

int main(int argc, char **argv)
{
    TW::test::isolateHome();
    QApplication app(argc, argv);
    tst_CacheCleaner tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_CacheCleaner.moc"
