// The Debian package as `cpack -G DEB` builds it from this build folder:
// its control fields (the runtime programs and plugins by hand, the linked
// libraries through dpkg-shlibdeps) and the files it lays out, unpacked with
// `dpkg -x` into a scratch root, where the program still finds its private
// library.
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_Package : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controlFields_data();
    void controlFields();
    void layout_data();
    void layout();
    void programRunsFromTheUnpackedRoot();

private:
    static QString cacheValue(const QString &build, const QString &key);
    static QString run(const QString &program, const QStringList &args, int *exitCode = nullptr,
                       const QString &workDir = QString());

    QTemporaryDir m_scratch;
    QString m_deb;
    QString m_root;   // the unpacked package
    QString m_prefix; // its installation prefix, e.g. /usr
    QHash<QString, QString> m_fields;
};

QString tst_Package::run(const QString &program, const QStringList &args, int *exitCode, const QString &workDir)
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    // Packing compresses the whole program: generous on a busy machine.
    const bool finished = p.waitForStarted(30000) && p.waitForFinished(600000);
    if (exitCode)
        *exitCode = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (!finished || p.exitCode() != 0)
        qWarning().noquote() << program << args.join(' ') << "said:" << p.readAllStandardError();
    return out;
}

QString tst_Package::cacheValue(const QString &build, const QString &key)
{
    QFile cache(build + QStringLiteral("/CMakeCache.txt"));
    if (!cache.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QRegularExpression line(QStringLiteral("^%1:[A-Z]+=(.*)$").arg(QRegularExpression::escape(key)),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(cache.readAll())).captured(1).trimmed();
}

void tst_Package::initTestCase()
{
    const QString build = QDir(TW::test::binDir() + QStringLiteral("/..")).absolutePath();
    if (!QFile::exists(build + QStringLiteral("/CPackConfig.cmake")))
        QSKIP("no package configuration in this build folder");
    for (const char *tool : {"cpack", "dpkg-deb", "dpkg-shlibdeps", "file"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/test installs it)").arg(QLatin1String(tool))));
    }
    QVERIFY(m_scratch.isValid());
    const QString out = m_scratch.filePath(QStringLiteral("out"));
    int code = -1;
    // Written into the scratch folder (package and staging), not the build's.
    run(QStringLiteral("cpack"),
        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
         build + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), out},
        &code, build);
    QCOMPARE(code, 0);
    const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = out + QLatin1Char('/') + debs.first();

    const QString control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb}, &code);
    QCOMPARE(code, 0);
    QString key;
    for (const QString &line : control.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char(' ')) && !key.isEmpty()) {
            m_fields[key] += QLatin1Char('\n') + line;
            continue;
        }
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0) {
            key = line.left(colon);
            m_fields.insert(key, line.mid(colon + 1).trimmed());
        }
    }

    m_root = m_scratch.filePath(QStringLiteral("root"));
    run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root}, &code);
    QCOMPARE(code, 0);
    m_prefix = cacheValue(build, QStringLiteral("CMAKE_INSTALL_PREFIX"));
    QVERIFY(!m_prefix.isEmpty());
}

void tst_Package::controlFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pattern"); // a regular expression the field must match

    QTest::newRow("name") << "Package" << "^tarnwell$";
    QTest::newRow("version") << "Version" << "^" TW_VERSION "$";
    QTest::newRow("section") << "Section" << "^sound$";
    QTest::newRow("maintainer") << "Maintainer" << "^.+ <.+@.+>$";
    QTest::newRow("description: summary and body") << "Description" << "^practise with recordings.*\\n .+";
    // By hand: what is loaded or started at run time.
    for (const char *runtime : {"libqt6svg6", "vlc-plugin-base", "vlc-plugin-video-output", "ffmpeg", "yt-dlp"})
        QTest::newRow(runtime) << "Depends" << QStringLiteral("(^|, )%1(,|$)").arg(QLatin1String(runtime));
    // From dpkg-shlibdeps: the libraries the program's library links, with versions.
    for (const char *linked : {"libqt6core6", "libqt6widgets6", "libvlc5", "librubberband2", "libpulse0", "libc6"})
        QTest::newRow(linked) << "Depends" << QStringLiteral("(^|, )%1 \\(>= [^)]+\\)").arg(QLatin1String(linked));
}

void tst_Package::controlFields()
{
    QFETCH(QString, field);
    QFETCH(QString, pattern);
    const QString value = m_fields.value(field);
    QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(),
             qPrintable(QStringLiteral("%1: %2").arg(field, value)));
    QCOMPARE(m_fields.value(QStringLiteral("Architecture")),
             run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).trimmed());
}

void tst_Package::layout_data()
{
    QTest::addColumn<QString>("path"); // below the prefix
    QTest::addColumn<bool>("executable");

    QTest::newRow("program") << "bin/tarnwell" << true;
    QTest::newRow("export script") << "libexec/tarnwell/exportFragment.sh" << true;
    QTest::newRow("downloader wrapper") << "libexec/tarnwell/run" << true;
    QTest::newRow("silence file") << "share/tarnwell/silence_1_hour.avi" << false;
    QTest::newRow("user guide") << "share/doc/tarnwell/user-guide.html" << false;
    QTest::newRow("desktop entry") << "share/applications/tarnwell.desktop" << false;
    QTest::newRow("metainfo") << "share/metainfo/com.orvane.tarnwell.metainfo.xml" << false;
    QTest::newRow("manual page") << "share/man/man1/tarnwell.1" << false;
    QTest::newRow("project MIME type") << "share/mime/packages/tarnwell-project.xml" << false;
    QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/tarnwell.svg" << false;
    for (int size : {16, 32, 48, 256})
        QTest::newRow(qPrintable(QStringLiteral("icon %1").arg(size)))
            << QStringLiteral("share/icons/hicolor/%1x%1/apps/tarnwell.png").arg(size) << false;
}

void tst_Package::layout()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo file(m_root + m_prefix + QLatin1Char('/') + path);
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    QCOMPARE(file.isExecutable(), executable);
    // Nothing of a live system's caches (mime.cache and the like) is packed.
    QVERIFY(!QFile::exists(m_root + m_prefix + QStringLiteral("/share/mime/mime.cache")));
    QVERIFY(!QFile::exists(m_root + m_prefix + QStringLiteral("/share/applications/mimeinfo.cache")));
}

void tst_Package::programRunsFromTheUnpackedRoot()
{
    // The program finds its private library through its run path, relative
    // to itself: from the scratch root as from the installed system.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    p.setProcessEnvironment(env);
    p.start(m_root + m_prefix + QStringLiteral("/bin/tarnwell"), {QStringLiteral("--version")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("Tarnwell " TW_VERSION "\n"));
    const QString ldd = run(QStringLiteral("ldd"), {m_root + m_prefix + QStringLiteral("/bin/tarnwell")});
    QVERIFY2(ldd.contains(m_root), qPrintable(ldd));
    QVERIFY2(!ldd.contains(QStringLiteral("not found")), qPrintable(ldd));
}

QTEST_GUILESS_MAIN(tst_Package)
#include "tst_Package.moc"
