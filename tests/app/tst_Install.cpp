// The installed layout: the program, its launcher entry with the project
// MIME type, and the icons, as `cmake --install` lays them out.
#include "TestEnv.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_Install : public QObject
{
    Q_OBJECT
private slots:
    void layout();
};

void tst_Install::layout()
{
    const QString build = QDir(TW::test::binDir() + QStringLiteral("/..")).absolutePath();
    if (!QFile::exists(build + QStringLiteral("/cmake_install.cmake")))
        QSKIP("no install script in this build folder");
    QTemporaryDir stage;
    QProcess cmake;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), stage.path());
    cmake.setProcessEnvironment(env);
    cmake.start(QStringLiteral("cmake"), {QStringLiteral("--install"), build, QStringLiteral("--prefix"),
                                          QStringLiteral("/usr")});
    QVERIFY(cmake.waitForFinished(120000));
    QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());

    const QString root = stage.path() + QStringLiteral("/usr");
    QVERIFY(QFileInfo(root + QStringLiteral("/bin/tarnwell")).isExecutable());
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

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_Install.moc"
