#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace TW::test {

QString isolateHome()
{
    static std::unique_ptr<QTemporaryDir> home;
    if (!home) {
        home = std::make_unique<QTemporaryDir>();
        const QString root = home->path();
        const char *dirs[][2] = {{"XDG_CONFIG_HOME", ".config"},
                                 {"XDG_DATA_HOME", ".local/share"},
                                 {"XDG_CACHE_HOME", ".cache"},
                                 {"XDG_STATE_HOME", ".local/state"}};
        qputenv("HOME", root.toUtf8());
        for (auto &d : dirs) {
            const QString p = root + "/" + d[1];
            QDir().mkpath(p);
            qputenv(d[0], p.toUtf8());
        }
        QDir().mkpath(root + "/runtime");
        QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
    }
    return home->path();
}

QString binDir()
{
    const QByteArray env = qgetenv("TW_BIN_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QCoreApplication::applicationDirPath();
}

QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("TW_SOURCE_DIR"));
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool useOffscreenScreen(const QString &name, int width, int height)
{
    static QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral(R"({"screens":[{"name":"%1","x":0,"y":0,"width":%2,"height":%3,)"
                              R"("logicalDpi":96,"logicalBpi":96,"dpr":1}]})")
                   .arg(name)
                   .arg(width)
                   .arg(height)
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", QStringLiteral("offscreen:configfile=%1").arg(config).toUtf8());
    return true;
}

} // namespace TW::test
