// Application settings: the ini file with its _type_/_value_ entries, the
// defaults, the folders and their signal, recent files and assignment.
#include "core/Options.h"
#include "core/Util.h"

#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

using TW::Options;

class OptionsTest : public QObject
{
    Q_OBJECT

    QString m_appDir;
    QString iniPath() const { return m_appDir + "/TW.Options.ini"; }

    void writeIni(const QString &text)
    {
        QDir().mkpath(m_appDir);
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }

private slots:
    void initTestCase()
    {
        const QString home = TW::test::isolateHome();
        QCoreApplication::setApplicationName("Tarnwell");
        QCoreApplication::setApplicationVersion("2");
        m_appDir = home + "/Tarnwell 2";
        QCOMPARE(TW::Util::getAppDocDirPath(), m_appDir);
    }

    void init()
    {
        QFile::remove(iniPath());
        QDir(m_appDir).removeRecursively();
    }

    void firstStart()
    {
        {
            Options o;
            QSignalSpy spy(&o, &Options::tempFolderChanged);
            o.loadFromFile(true); // no file yet: defaults
            QCOMPARE(spy.count(), 2);
            const char *names[] = {"Temp", "Export", "Projects", "Projects", "Rip", "Sniffer", "Cache"};
            for (int k = 0; k < 7; ++k) {
                const QString expected = QDir::toNativeSeparators(m_appDir + "/" + names[k]);
                QCOMPARE(o.getPath(TW::PathType(k)), expected);
                QVERIFY(QDir(expected).exists());
            }
            QCOMPARE(spy.last().first().toString(), o.getPath(TW::TempFolder));
            QVERIFY(o.getOpenedFiles().isEmpty());
            QCOMPARE(o.getSizeCustom(), QSize(640, 360));
            QCOMPARE(o.getSizeMostRecent(), QSize(640, 360));
            QCOMPARE(o.getDefaultAspectRatio(), Options::AspectRatioOriginal);
            QVERIFY(!o.getAlwaysOnTop());
            QVERIFY(!o.getClearCacheOnExit());
            QVERIFY(!o.getRunSnifferInBackground());
            QVERIFY(!QFile::exists(iniPath())); // written only at the end
        }
        QVERIFY(QFile::exists(iniPath()));
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.childGroups().size(), 14);
        for (const QString &group : ini.childGroups()) {
            ini.beginGroup(group);
            QCOMPARE(ini.childKeys().size(), 2);
            QVERIFY(ini.contains("_type_"));
            QVERIFY(ini.contains("_value_"));
            ini.endGroup();
        }
        QCOMPARE(ini.value("AlwaysOnTop/_type_").toInt(), 1);
        QCOMPARE(ini.value("DefaultAspectRatio/_type_").toInt(), 2);
        QCOMPARE(ini.value("TempFolderPath/_type_").toInt(), 10);
        QCOMPARE(ini.value("LastOpenedFiles/_type_").toInt(), 11);
        QCOMPARE(ini.value("SizeCustom/_type_").toInt(), 21);
    }

    void roundTrip()
    {
        const QString custom = m_appDir + "/elsewhere/cache";
        {
            Options o;
            o.loadFromFile(true);
            o.setPath(TW::CacheFolder, custom);
            o.setAlwaysOnTop(true);
            o.setDefaultAspectRatio(Options::AspectRatio4x3);
            o.addOpenedFile("/a.mp4");
            o.addOpenedFile("/b b.mov");
            o.setSizeCustom(QSize(800, 450));
            o.setSizeMostRecent(QSize(320, 240));
            o.setClearCacheOnExit(true);
            o.setRunSnifferInBackground(true);
            o.setLastPath(TW::ExportFolder, "/not/stored");
        }
        Options o;
        o.loadFromFile(true);
        QCOMPARE(o.getPath(TW::CacheFolder), QDir::toNativeSeparators(custom));
        QVERIFY(QDir(custom).exists());
        QVERIFY(o.getAlwaysOnTop());
        QCOMPARE(o.getDefaultAspectRatio(), Options::AspectRatio4x3);
        QCOMPARE(o.getOpenedFiles(), QStringList({"/b b.mov", "/a.mp4"}));
        QCOMPARE(o.getSizeCustom(), QSize(800, 450));
        QCOMPARE(o.getSizeMostRecent(), QSize(320, 240));
        QVERIFY(o.getClearCacheOnExit());
        QVERIFY(o.getRunSnifferInBackground());
        QVERIFY(o.getLastPath(TW::ExportFolder).isNull());

        // Switching the background capture off survives a restart too.
        o.setRunSnifferInBackground(false);
        {
            Options copy(o);
        }
        Options again;
        again.loadFromFile(true);
        QVERIFY(!again.getRunSnifferInBackground());
    }

    void handWrittenFile()
    {
        // No CacheFolderPath and no SizeCustom; a broken size and an
        // aspect ratio out of range.
        writeIni("[AlwaysOnTop]\n_type_=1\n_value_=true\n"
                 "[TempFolderPath]\n_type_=10\n_value_=" + m_appDir + "/mytemp\n"
                 "[ExportFolderPath]\n_type_=10\n_value_=\n"
                 "[SizeRecent]\n_type_=21\n_value_=garbage\n"
                 "[DefaultAspectRatio]\n_type_=2\n_value_=17\n"
                 "[LastOpenedFiles]\n_type_=11\n_value_=/x.mp4, /y.mp4\n");
        Options o;
        QSignalSpy spy(&o, &Options::tempFolderChanged);
        o.loadFromFile(true);
        QVERIFY(o.getAlwaysOnTop());
        QCOMPARE(o.getPath(TW::TempFolder), QDir::toNativeSeparators(m_appDir + "/mytemp"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.first().first().toString(), o.getPath(TW::TempFolder));
        // A missing or empty folder key falls back to that folder's default,
        // never to an empty path.
        QCOMPARE(o.getPath(TW::CacheFolder), Options::defaultPath(TW::CacheFolder));
        QCOMPARE(o.getPath(TW::ExportFolder), Options::defaultPath(TW::ExportFolder));
        QVERIFY(QDir(o.getPath(TW::CacheFolder)).exists());
        QCOMPARE(o.getSizeCustom(), QSize(640, 360));
        QCOMPARE(o.getSizeMostRecent(), QSize(640, 360));
        QCOMPARE(o.getDefaultAspectRatio(), Options::AspectRatioOriginal);
        QCOMPARE(o.getOpenedFiles(), QStringList({"/x.mp4", "/y.mp4"}));
    }

    void defaultsIgnoreTheFile()
    {
        writeIni("[AlwaysOnTop]\n_type_=1\n_value_=true\n");
        Options o;
        o.loadFromFile(false);
        QVERIFY(!o.getAlwaysOnTop());
        QCOMPARE(o.getPath(TW::TempFolder), Options::defaultPath(TW::TempFolder));
    }

    void unloadedObjectDoesNotWrite()
    {
        writeIni("[AlwaysOnTop]\n_type_=1\n_value_=true\n");
        {
            Options o; // never loaded: its empty values must not reach the file
            o.setAlwaysOnTop(false);
        }
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.childGroups(), QStringList({"AlwaysOnTop"}));
        QCOMPARE(ini.value("AlwaysOnTop/_value_").toBool(), true);
    }

    void folders()
    {
        Options o;
        o.loadFromFile(false);
        QSignalSpy spy(&o, &Options::tempFolderChanged);
        const QString temp = o.getPath(TW::TempFolder);
        o.setPath(TW::TempFolder, temp);
        QCOMPARE(spy.count(), 1); // same value: emitted again
        o.setPath(TW::ExportFolder, m_appDir + "/ex/deep");
        QCOMPARE(spy.count(), 1); // other kinds emit nothing
        QVERIFY(QDir(m_appDir + "/ex/deep").exists());

        o.setLastPath(TW::ExportFolder, "/last/one");
        QCOMPARE(o.getLastPath(TW::ExportFolder), QString("/last/one"));
        o.setPath(TW::ExportFolder, m_appDir + "/ex");
        QVERIFY(o.getLastPath(TW::ExportFolder).isEmpty());
        o.setLastPath(TW::ExportFolder, "/last/two");
        QCOMPARE(o.getLastPath(TW::ExportFolder), QString("/last/two"));

        QVERIFY(o.getPath(TW::PathType(7)).isNull());
        QVERIFY(o.getPath(TW::PathType(-1)).isNull());
        o.setLastPath(TW::PathType(9), "/x");
        QVERIFY(o.getLastPath(TW::PathType(9)).isNull());
        QCOMPARE(Options::pathKey(TW::SnifferFolder), QString("SnifferFolderPath"));
    }

    void recentFiles_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QStringList>("after");
        QStringList ten;
        for (int i = 0; i < 10; ++i)
            ten << QString("/f%1").arg(i);
        QStringList thirdMoved = ten;
        thirdMoved.move(2, 0);
        QStringList newOnFull = ten;
        newOnFull.prepend("/new");
        newOnFull.removeLast();
        QTest::newRow("empty") << QStringList() << "/a" << QStringList({"/a"});
        QTest::newRow("already first") << QStringList({"/a", "/b"}) << "/a" << QStringList({"/a", "/b"});
        QTest::newRow("third of ten moves up") << ten << "/f2" << thirdMoved;
        QTest::newRow("new on full drops oldest") << ten << "/new" << newOnFull;
        QTest::newRow("case-sensitive") << QStringList({"/A"}) << "/a" << QStringList({"/a", "/A"});
    }
    void recentFiles()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, added);
        QFETCH(QStringList, after);
        Options o;
        for (auto it = before.crbegin(); it != before.crend(); ++it)
            o.addOpenedFile(*it);
        QCOMPARE(o.getOpenedFiles(), before);
        o.addOpenedFile(added);
        QCOMPARE(o.getOpenedFiles(), after);
    }

    void assignment()
    {
        Options live;
        live.loadFromFile(false);
        Options copy(live);
        QCOMPARE(copy.getPath(TW::CacheFolder), live.getPath(TW::CacheFolder));
        copy.setPath(TW::TempFolder, m_appDir + "/othertemp");
        copy.setLastPath(TW::OpenProjectFolder, "/opened/here");
        copy.setAlwaysOnTop(true);
        copy.setSizeCustom(QSize(1, 2));

        QSignalSpy spy(&live, &Options::tempFolderChanged);
        live = copy;
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toString(), QDir::toNativeSeparators(m_appDir + "/othertemp"));
        QCOMPARE(live.getPath(TW::TempFolder), copy.getPath(TW::TempFolder));
        QCOMPARE(live.getLastPath(TW::OpenProjectFolder), QString("/opened/here"));
        QVERIFY(live.getAlwaysOnTop());
        QCOMPARE(live.getSizeCustom(), QSize(1, 2));
    }

    // The live object writes the file once, as the process ends, whether or
    // not the file existed and whether the program used other settings files
    // before or after it first asked for the live object (the main window
    // keeps its geometry in one).
    void liveObjectWritesAtExit_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("fileExists");
        QTest::newRow("first run") << "plain" << false;
        QTest::newRow("first run, settings used after") << "settings-after" << false;
        QTest::newRow("first run, settings used before") << "settings-before" << false;
        QTest::newRow("later run, settings used after") << "settings-after" << true;
        QTest::newRow("first use on a worker thread") << "worker" << false;
    }
    void liveObjectWritesAtExit()
    {
        QFETCH(QString, mode);
        QFETCH(bool, fileExists);
        if (fileExists)
            writeIni("[SizeCustom]\n_type_=21\n_value_=@Size(11 22)\n"
                     "[LastOpenedFiles]\n_type_=11\n_value_=/older.mp4\n");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TW_OPTIONS_CHILD", mode);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.childGroups().size(), 14);
        QCOMPARE(ini.value("AlwaysOnTop/_value_").toBool(), true);
        const QStringList opened = fileExists ? QStringList{"/from/child.mp4", "/older.mp4"}
                                              : QStringList{"/from/child.mp4"};
        QCOMPARE(ini.value("LastOpenedFiles/_value_").toStringList(), opened);
        QCOMPARE(ini.value("SizeCustom/_value_").toSize(),
                 fileExists ? QSize(11, 22) : QSize(640, 360));
        QVERIFY(!QFile::exists(iniPath() + ".lock"));
    }

    void liveObject()
    {
        Options *live = Options::instance();
        QVERIFY(live);
        QCOMPARE(Options::instance(), live);
        QVERIFY(!live->parent());
    }
};

// The child changes the live object and exits normally; the object writes
// the file as the process ends. Other settings files are used before or after
// the live object is first made, as the application does.
static void useOtherSettings()
{
    QSettings other(QDir::homePath() + "/other.ini", QSettings::IniFormat);
    other.setValue("geometry", QByteArray("abc"));
}

static int optionsChild(const QString &mode)
{
    if (mode == "settings-before")
        useOtherSettings();
    Options *live = nullptr;
    if (mode == "worker") {
        QThread *worker = QThread::create([&live] { live = Options::instance(); });
        worker->start();
        worker->wait();
        delete worker;
    } else {
        live = Options::instance();
    }
    live->loadFromFile(true);
    if (mode == "settings-after" || mode == "worker")
        useOtherSettings();
    live->setAlwaysOnTop(true);
    live->addOpenedFile("/from/child.mp4");
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TW_OPTIONS_CHILD")) {
        QCoreApplication::setApplicationName("Tarnwell");
        QCoreApplication::setApplicationVersion("2");
        return optionsChild(qEnvironmentVariable("TW_OPTIONS_CHILD"));
    }
    OptionsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_Options.moc"
