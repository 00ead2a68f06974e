// The user guide as installed: where the program looks for it beside an
// installed executable, the same text as the build tree's copy (whose help
// pages tst_ExportCommands opens through the controller), and every link
// inside it leading to a section that exists.
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

class tst_UserGuide : public QObject
{
    Q_OBJECT
private slots:
    void installedBesideTheProgram();
};

void tst_UserGuide::installedBesideTheProgram()
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

    // The program looks for it at ../share/doc/tarnwell beside its folder.
    const QString bin = stage.path() + QStringLiteral("/usr/bin");
    QFile installed(bin + QStringLiteral("/../share/doc/tarnwell/user-guide.html"));
    QVERIFY2(installed.open(QIODevice::ReadOnly), qPrintable(installed.fileName()));
    const QByteArray html = installed.readAll();
    QFile built(TW::test::binDir() + QStringLiteral("/doc/user-guide.html"));
    QVERIFY(built.open(QIODevice::ReadOnly));
    QCOMPARE(html, built.readAll());

    QSet<QString> ids;
    const QString text = QString::fromUtf8(html);
    static const QRegularExpression id(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (auto it = id.globalMatch(text); it.hasNext();)
        ids.insert(it.next().captured(1));
    // The pages of the Help menu and of the About box.
    for (const char *section : {"guide", "quick-start", "practising", "help"})
        QVERIFY2(ids.contains(QLatin1String(section)), section);
    // Every link inside the guide.
    static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    int links = 0;
    for (auto it = link.globalMatch(text); it.hasNext(); ++links) {
        const QString target = it.next().captured(1);
        QVERIFY2(ids.contains(target), qPrintable(target));
    }
    QVERIFY(links > 0);
}

QTEST_GUILESS_MAIN(tst_UserGuide)
#include "tst_UserGuide.moc"
