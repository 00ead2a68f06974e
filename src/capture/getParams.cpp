// The downloader window's readers of text: the address check, the format
// list, the download percentages, the daily update check with the stored
// version, and the output file name.
#include "YTSniffer.h"
#include "ui_YTSniffer.h"

#include "core/Options.h"
#include "core/Util.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>

namespace {

// The video site's host names; only the host test uses them.
const char *const VideoSiteHosts[] = {"www.youtube.com", "youtube.com", "youtu.be"};

const char ModuleVersion[] = "2.1.0930";

// File names are limited to 255 bytes; the downloader adds ".part" and the
// extension is added after this.
constexpr int MaxNameBytes = 200;

QString s_programFolder;

const QRegularExpression &blanks()
{
    static const QRegularExpression re(QStringLiteral("\\s+"));
    return re;
}

} // namespace

// ---- Address ----

QUrl YTSniffer::checkedUrl(const QString &text, YTSniffer::errors *problem)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        *problem = EmptyUrl;
        return QUrl();
    }
    const QUrl u = QUrl::fromUserInput(trimmed);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || u.host().isEmpty()) {
        *problem = InvalidUrl;
        return QUrl();
    }
    return u;
}

bool YTSniffer::isVideoSiteHost(const QUrl &address)
{
    const QString host = QString::fromLatin1(QUrl::toAce(address.host())).toLower();
    for (const char *known : VideoSiteHosts) {
        if (host == QLatin1String(known))
            return true;
    }
    return false;
}

void YTSniffer::parseURL()
{
    finishKind = sender() == ui->btnGetURL_forDownloadPlay ? DownloadAndPlay : DownloadOnly;
    const QString text = ui->lineEditURL->text();
    qDebug() << "URL" << text;

    errors problem = ProcessKilled;
    const QUrl checked = checkedUrl(text, &problem);
    if (checked.isEmpty()) {
        ui->progressBar->setValue(ui->progressBar->maximum());
        stopProgressBar();
        showError(problem, QMessageBox::Critical, {QString(), QString()});
        return;
    }
    url = checked;
    qDebug() << "URL host" << QUrl::toAce(url.host());
    if (!isVideoSiteHost(url))
        showError(NotYouTubeUrl, QMessageBox::Information, {QString(), QString()});

    qDebug() << "Next: get formats' list";
    step = StepListFormats;
    youtubeDL_Start();
}

// ---- Format list ----

YTSniffer::FormatList YTSniffer::parseFormatList(const QStringList &lines)
{
    FormatList out;
    QStringList shown;
    for (const QString &line : lines) {
        // Streams of picture or sound alone (DASH in the older layout,
        // "video only" and "audio only" in yt-dlp's) are not offered.
        if (line.contains(QLatin1String("DASH")) || line.contains(QLatin1String("video only"))
            || line.contains(QLatin1String("audio only")))
            continue;
        const QStringList columns = line.split(blanks());
        bool ok = false;
        const int id = columns.first().toInt(&ok);
        if (!ok || id <= 0)
            continue;
        if (columns.last() == QLatin1String("(best)"))
            out.preferred = id;
        out.formats.insert(id, columns);
        const QString row = line.trimmed();
        out.ids.insert(row, id);
        shown << row;
    }
    for (int i = shown.size() - 1; i >= 0; --i)
        out.rows << shown.at(i);
    return out;
}

void YTSniffer::parseIDs()
{
    qDebug() << "Parsing IDs";
    const FormatList list = parseFormatList(runLines);
    formatId = list.preferred;
    for (auto it = list.formats.cbegin(); it != list.formats.cend(); ++it)
        formats.insert(it.key(), it.value());
    for (auto it = list.ids.cbegin(); it != list.ids.cend(); ++it)
        formatIds.insert(it.key(), it.value());
    qDebug() << "preferred ID" << formatId;
    ui->listWidget->clear();
    ui->listWidget->addItems(list.rows);
}

// ---- Download percentages ----

int YTSniffer::percentOf(const QString &line)
{
    const QStringList parts = line.trimmed().split(blanks());
    if (parts.size() < 2 || parts.first() != QLatin1String("[download]"))
        return -1;
    QString number = parts.at(1);
    number.remove(QLatin1Char('%'));
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > 1e9)
        return 0;
    return int(std::trunc(value));
}

void YTSniffer::parsePercents(const QString &line)
{
    const int percent = percentOf(line);
    if (percent < 0)
        return;
    if (percent >= ui->progressBar->minimum() && percent <= ui->progressBar->maximum())
        ui->progressBar->setValue(percent);
}

// ---- Update check, version and title ----

QString YTSniffer::settingsFilePath()
{
    return QDir(TW::Util::getAppDocDirPath()).filePath(QStringLiteral("settings"));
}

void YTSniffer::lastUpdateDate(YTSniffer::updateDateActions action)
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    // The date is kept as its day number, so a check a year later on the
    // same day of the year still runs.
    const qint64 today = QDate::currentDate().toJulianDay();
    if (action == SaveDate) {
        settings.setValue(QStringLiteral("update"), today);
        return;
    }
    if (settings.value(QStringLiteral("update"), 0).toLongLong() != today) {
        qDebug() << "Check for updates";
        step = StepUpdate;
        youtubeDL_Start();
    }
}

QString YTSniffer::versionIn(const QString &line)
{
    const QStringList parts = line.split(QLatin1Char(' '));
    for (const QString &part : parts) {
        if (part.startsWith(QLatin1Char('2')))
            return part;
    }
    return QString();
}

void YTSniffer::saveYTDLastVersion(const QString &line)
{
    const QString version = versionIn(line);
    if (version.isEmpty())
        return;
    {
        QSettings settings(settingsFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("version"), version);
    }
    setVURWindowTitle();
}

QString YTSniffer::windowTitleFor(const QString &version)
{
    return QStringLiteral("VUR V.%1 [%2]").arg(QLatin1String(ModuleVersion), version);
}

void YTSniffer::setVURWindowTitle()
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    setWindowTitle(windowTitleFor(settings.value(QStringLiteral("version")).toString()));
}

// ---- Output file name ----

QString YTSniffer::safeFileName(const QString &title)
{
    static const QRegularExpression unwanted(QStringLiteral("[-<:>?*|\"'`]"));
    QString name;
    name.reserve(title.size());
    for (const QChar c : title) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control
            || c.category() == QChar::Other_Format || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            name += QLatin1Char(' ');
        else
            name += c;
    }
    name.remove(unwanted);
    name.replace(blanks(), QStringLiteral(" "));
    name = name.trimmed();
    // No hidden file, and never "." or "..".
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' ')))
        name.remove(0, 1);
    while (name.toUtf8().size() > MaxNameBytes) {
        name.chop(1);
        if (!name.isEmpty() && name.at(name.size() - 1).isHighSurrogate())
            name.chop(1);
    }
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("video") : name;
}

QString YTSniffer::outputTemplate(const QString &path)
{
    QString out = path;
    out.replace(QLatin1Char('%'), QLatin1String("%%"));
    return out;
}

QString YTSniffer::getFileExtension() const
{
    const QStringList columns = formats.value(formatId);
    return columns.size() >= 2 ? columns.at(1) : QStringLiteral("mp4");
}

void YTSniffer::setOutputFileName()
{
    auto filterOf = [](const QString &ext) { return ext.toUpper() + QStringLiteral(" (*.") + ext + QLatin1Char(')'); };
    QStringList filters{filterOf(getFileExtension())};
    for (auto it = formats.cbegin(); it != formats.cend(); ++it) {
        const QString filter = filterOf(it.value().value(1));
        if (!filters.contains(filter))
            filters << filter;
    }

    QString startFolder = saveFolder.isEmpty() ? TW::Util::getUserDocDirPath() : saveFolder;
    startFolder = QDir::toNativeSeparators(startFolder);
    if (!startFolder.endsWith(QDir::separator()))
        startFolder += QDir::separator();

    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    dialog.setNameFilter(filters.join(QStringLiteral(";;")));
    dialog.setDirectory(startFolder);
    dialog.selectFile(safeFileName(videoTitle));

    outputPath.clear();
    // A cancelled dialog downloads nothing.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()
        || dialog.selectedFiles().first().isEmpty()) {
        qDebug() << "Path" << startFolder << "File: none chosen";
        return;
    }

    // The folder is the user's choice and stays as it is; only the name is
    // cleaned, and the result must still lie in that folder.
    const QFileInfo chosen(dialog.selectedFiles().first());
    const QString folder = QDir::cleanPath(chosen.absolutePath());
    QString name = safeFileName(chosen.fileName());
    QString suffix = dialog.selectedNameFilter();
    suffix = suffix.mid(suffix.indexOf(QLatin1Char('*')) + 1);
    suffix.chop(1);
    if (!name.endsWith(suffix, Qt::CaseInsensitive))
        name += suffix;
    const QString path = QDir(folder).filePath(name);
    if (QDir::cleanPath(QFileInfo(path).absolutePath()) != folder) {
        qWarning() << "YTSniffer::setOutputFileName: refused" << path << "outside" << folder;
        return;
    }
    outputPath = QDir::toNativeSeparators(path);
    qDebug() << "Path" << startFolder;
    qDebug() << "File" << outputPath;
}

// ---- Where the downloader lies ----

void YTSniffer::setProgramFolder(const QString &folder)
{
    s_programFolder = folder;
}

QString YTSniffer::bundleFile(const QString &name)
{
    if (!s_programFolder.isEmpty())
        return QDir::toNativeSeparators(QDir(s_programFolder).filePath(name));
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QStringList places{exeDir, exeDir + QStringLiteral("/../libexec/tarnwell"),
                             QStringLiteral(TW_INSTALL_LIBEXECDIR)};
    for (const QString &folder : places) {
        const QString path = QDir::cleanPath(QDir(folder).filePath(name));
        if (QFileInfo(path).isFile())
            return QDir::toNativeSeparators(path);
    }
    return QDir::toNativeSeparators(QDir(exeDir).filePath(name));
}
