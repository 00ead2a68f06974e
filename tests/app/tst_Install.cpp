// The installed layout: the program and its private library, its launcher
// entry with the media and project MIME types, the AppStream description,
// the manual page and the icons, as `cmake --install` lays them out; the
// desktop entry and the description pass the freedesktop checkers where
// they are installed.
#include "TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_Install : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void layout();
    void desktopMetadata();
    void validators_data();
    void validators();

private:
    QTemporaryDir m_stage;
    QString m_root;
};

void tst_Install::initTestCase()
{
    const QString build = QDir(TW::test::binDir() + QStringLiteral("/..")).absolutePath();
    if (!QFile::exists(build + QStringLiteral("/cmake_install.cmake")))
        QSKIP("no install script in this build folder");
    QProcess cmake;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), m_stage.path());
    cmake.setProcessEnvironment(env);
    cmake.start(QStringLiteral("cmake"), {QStringLiteral("--install"), build, QStringLiteral("--prefix"),
                                          QStringLiteral("/usr")});
    QVERIFY(cmake.waitForFinished(120000));
    QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());
    m_root = m_stage.path() + QStringLiteral("/usr");
}

void tst_Install::layout()
{
    const QString &root = m_root;
    QVERIFY(QFileInfo(root + QStringLiteral("/bin/tarnwell")).isExecutable());
    // The program's one library, in a private folder that the program's run
    // path names relative to itself: the staged program starts and answers.
    const QStringList libs = QDir(root).entryList({QStringLiteral("lib*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList found;
    for (const QString &lib : libs) {
        QDirIterator it(root + QLatin1Char('/') + lib, {QStringLiteral("libtarnwell.so*")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next().mid(root.size() + 1);
    }
    QVERIFY2(!found.isEmpty(), "libtarnwell is not installed");
    for (const QString &lib : found)
        QVERIFY2(lib.contains(QLatin1String("/tarnwell/")), qPrintable(lib));
    QProcess version;
    QProcessEnvironment clean = QProcessEnvironment::systemEnvironment();
    clean.remove(QStringLiteral("LD_LIBRARY_PATH"));
    version.setProcessEnvironment(clean);
    version.start(root + QStringLiteral("/bin/tarnwell"), {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(60000));
    QVERIFY2(version.exitCode() == 0, version.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(version.readAllStandardOutput()), QStringLiteral("Tarnwell " TW_VERSION "\n"));

    // The scripts the program starts, where it looks for them when installed.
    for (const char *script : {"exportFragment.sh", "run", "update.sh"})
        QVERIFY2(QFileInfo(root + QStringLiteral("/libexec/tarnwell/") + QLatin1String(script)).isExecutable(), script);

    // Desktop entries are key=value lines; ';' separates list items there.
    QFile entry(root + QStringLiteral("/share/applications/tarnwell.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    QHash<QString, QString> desktop;
    for (const QString &line : lines) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            desktop.insert(line.left(eq), line.mid(eq + 1));
    }
    QCOMPARE(desktop.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(desktop.value(QStringLiteral("Exec")), QStringLiteral("tarnwell %f"));
    QCOMPARE(desktop.value(QStringLiteral("Icon")), QStringLiteral("tarnwell"));
    QVERIFY(desktop.value(QStringLiteral("MimeType")).split(QLatin1Char(';')).contains(
        QStringLiteral("application/x-tarnwell-project")));
    QVERIFY(QFile::exists(root + QStringLiteral("/share/icons/hicolor/scalable/apps/tarnwell.svg")));
    QVERIFY(QFile::exists(root + QStringLiteral("/share/icons/hicolor/scalable/mimetypes/application-x-tarnwell-project.svg")));

    QFile mime(root + QStringLiteral("/share/mime/packages/tarnwell-project.xml"));
    QVERIFY(mime.open(QIODevice::ReadOnly));
    QDomDocument doc;
    QVERIFY(doc.setContent(&mime));
    const QDomElement type = doc.documentElement().firstChildElement(QStringLiteral("mime-type"));
    QCOMPARE(type.attribute(QStringLiteral("type")), QStringLiteral("application/x-tarnwell-project"));
    QCOMPARE(type.firstChildElement(QStringLiteral("glob")).attribute(QStringLiteral("pattern")), QStringLiteral("*.twp"));
    QStringList magic;
    for (QDomElement m = type.firstChildElement(QStringLiteral("magic")).firstChildElement(QStringLiteral("match"));
         !m.isNull(); m = m.nextSiblingElement(QStringLiteral("match")))
        magic << m.attribute(QStringLiteral("value"));
    QCOMPARE(magic, (QStringList{"<tarnwell_project", "[Tarnwell Project]"}));
}

void tst_Install::desktopMetadata()
{
    const QString &root = m_root;
    QFile entry(root + QStringLiteral("/share/applications/tarnwell.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList types;
    for (const QString &line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("MimeType=")))
            types = line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    // Audio files play as well as videos.
    for (const char *type : {"audio/mpeg", "audio/flac", "audio/ogg", "audio/mp4", "audio/x-wav", "video/webm",
                             "video/mp4", "video/x-matroska", "application/x-tarnwell-project"})
        QVERIFY2(types.contains(QLatin1String(type)), type);

    QFile info(root + QStringLiteral("/share/metainfo/com.orvane.tarnwell.metainfo.xml"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    QDomDocument doc;
    QVERIFY(doc.setContent(&info));
    const QDomElement component = doc.documentElement();
    QCOMPARE(component.attribute(QStringLiteral("type")), QStringLiteral("desktop-application"));
    QCOMPARE(component.firstChildElement(QStringLiteral("launchable")).text(), QStringLiteral("tarnwell.desktop"));
    QCOMPARE(component.firstChildElement(QStringLiteral("provides")).firstChildElement(QStringLiteral("binary")).text(),
             QStringLiteral("tarnwell"));

    QVERIFY(QFile::exists(root + QStringLiteral("/share/man/man1/tarnwell.1")));
    // The fixed sizes of the icon theme, each a PNG drawn at its size.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString png = root + QStringLiteral("/share/icons/hicolor/%1x%1/apps/tarnwell.png").arg(size);
        QImageReader reader(png);
        QCOMPARE(reader.format(), QByteArray("png"));
        QCOMPARE(reader.size(), QSize(size, size));
    }
}

void tst_Install::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop entry") << "desktop-file-validate" << QStringList{}
                                   << "/share/applications/tarnwell.desktop";
    QTest::newRow("AppStream description")
        << "appstreamcli" << QStringList{"validate", "--no-net", "--pedantic"}
        << "/share/metainfo/com.orvane.tarnwell.metainfo.xml";
}

void tst_Install::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/test installs it)")));
    QProcess check;
    check.start(program, args << m_root + file);
    QVERIFY(check.waitForFinished(60000));
    QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0,
             qPrintable(QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError())));
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_Install.moc"
