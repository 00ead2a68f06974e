#include "capture/Tarnwell2SnifferWindow.h"

#include "capture/CSnifferQueue.h"
#include "capture/CVideoSniffer.h"
#include "capture/CYouTubeDownloadDlg.h"
#include "capture/CYouTubeDownloader.h"
#include "core/Options.h"
#include "core/Util.h"
#include "ui_Tarnwell2SnifferWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPixmap>
#include <QTime>
#include <QLabel>
#include <QTimer>

namespace {

std::vector<CVideoSniffer *> g_videoSniffers;
bool g_sniffersStarted = false;
QString g_captureProblem;
int g_nrsvdURLNumber = 0;
Tarnwell2SnifferWindow::InterfaceLister g_interfaceLister = nullptr;

// The video site's main domain name: its entries cannot be previewed.
const QString VideoSiteDomain = QStringLiteral("youtube.com");

// ".flv" from "Flash video (*.flv)"; empty without both parentheses.
QString extensionOf(const QString &filter)
{
    const int open = filter.indexOf(QLatin1Char('('));
    const int close = filter.indexOf(QLatin1Char(')'), open + 1);
    if (open < 0 || close < 0 || close < open + 2)
        return QString();
    return filter.mid(open + 2, close - open - 2);
}

} // namespace

void VideoSnifferCallback(std::string url, std::string header, std::string size, std::string type)
{
    CSnifferQueue::instance().push({"http://" + url, std::move(header), std::move(size), std::move(type)});
}

Tarnwell2SnifferWindow::Tarnwell2SnifferWindow(QWidget *parent)
    : QDialog(parent, Qt::WindowStaysOnTopHint), ui(new Ui::Tarnwell2SnifferWindow), timer(new QTimer)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() ^ (Qt::WindowContextHelpButtonHint | Qt::WindowMinimizeButtonHint));
    setWindowTitle(QCoreApplication::applicationName() + tr(" - Recently Sniffed Media"));

    QTableWidget *table = ui->snifferQueueTable;
    table->setColumnWidth(0, 110);
    table->setColumnWidth(1, 40);
    table->horizontalHeader()->setMaximumHeight(18);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    startSniffers();
    showCaptureProblem();

    connect(timer.get(), &QTimer::timeout, this, &Tarnwell2SnifferWindow::checkUrlQueue);
    timer->start(50);
    RefreshList();
    connect(table, &QTableWidget::cellClicked, this, [this] { on_snifferItem_clicked(); });
}

Tarnwell2SnifferWindow::~Tarnwell2SnifferWindow() = default;

void Tarnwell2SnifferWindow::startSniffers()
{
    if (g_sniffersStarted)
        return;
    g_sniffersStarted = true;
    qAddPostRoutine(&Tarnwell2SnifferWindow::stopSniffers);
    const std::vector<std::string> names = g_interfaceLister ? g_interfaceLister() : CVideoSniffer::listInterfaces();
    QStringList problems;
    for (const std::string &name : names) {
        auto *sniffer = new CVideoSniffer(name);
        sniffer->registerCallbackFunc(VideoSnifferCallback);
        g_videoSniffers.push_back(sniffer);
        if (!sniffer->isCapturing())
            problems << QStringLiteral("%1: %2").arg(QString::fromStdString(name), QString::fromStdString(sniffer->errorText()));
    }
    if (names.empty()) {
        g_captureProblem = tr("No network interface with an IPv4 address was found, so no video can be captured.");
    } else if (problems.size() == static_cast<int>(names.size())) {
        g_captureProblem = tr("No network interface could be opened for capture, so no video can be captured "
                              "(capturing needs the CAP_NET_RAW capability, see the README):\n%1")
                               .arg(problems.join(QLatin1Char('\n')));
    }
    if (!g_captureProblem.isEmpty())
        qWarning() << "Tarnwell2SnifferWindow:" << g_captureProblem;
}

void Tarnwell2SnifferWindow::showCaptureProblem()
{
    QLabel *label = ui->lbCaptureProblem;
    label->setText(g_captureProblem);
    label->setVisible(!g_captureProblem.isEmpty());
    if (g_captureProblem.isEmpty())
        return;
    // The explanation is read in full: the window is made wide enough for
    // its lines to wrap sensibly and tall enough for all of them, with room
    // left for the list.
    const QMargins margins = layout()->contentsMargins();
    const int width = qMax(this->width(), 520);
    const int textHeight = label->heightForWidth(width - margins.left() - margins.right());
    label->setMinimumHeight(textHeight);
    resize(width, qMax(height(), layout()->minimumSize().height() + 120));
}

QString Tarnwell2SnifferWindow::captureProblem() { return g_captureProblem; }
const std::vector<CVideoSniffer *> &Tarnwell2SnifferWindow::sniffers() { return g_videoSniffers; }

void Tarnwell2SnifferWindow::stopSniffers()
{
    for (CVideoSniffer *s : g_videoSniffers)
        delete s;
    g_videoSniffers.clear();
    g_sniffersStarted = false;
    g_captureProblem.clear();
}

void Tarnwell2SnifferWindow::setInterfaceLister(InterfaceLister lister) { g_interfaceLister = lister; }

int Tarnwell2SnifferWindow::count() const { return entries.size(); }
const SniffedEntry &Tarnwell2SnifferWindow::entry(int index) const { return entries.at(index); }

void Tarnwell2SnifferWindow::checkUrlQueue()
{
    UrlData record;
    if (!CSnifferQueue::instance().take(record))
        return;
    Append(QString::fromLatin1(record.url.data(), static_cast<int>(record.url.size())),
           QString::fromLatin1(record.header.data(), static_cast<int>(record.header.size())),
           QString::fromLatin1(record.size.data(), static_cast<int>(record.size.size())),
           QString::fromLatin1(record.type.data(), static_cast<int>(record.type.size())));
}

void Tarnwell2SnifferWindow::Append(QString url, QString header, QString size, QString type)
{
    bool ok = false;
    qint64 bytes = size.trimmed().toLongLong(&ok, 10);
    if (!ok)
        bytes = 0;
    if (bytes < MinSize)
        return;
    for (const SniffedEntry &e : entries) {
        if (e.url == url || e.size == bytes)
            return;
    }
    ++g_nrsvdURLNumber;

    type.remove(QStringLiteral("x-"));
    const int lineEnd = type.indexOf(QStringLiteral("\r\n"));
    if (lineEnd >= 0)
        type.truncate(lineEnd);

    SniffedEntry e;
    e.number = g_nrsvdURLNumber;
    e.time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    e.url = url;
    e.header = header.toLatin1().toStdString();
    e.size = bytes;
    e.type = type;
    e.youTube = url.contains(VideoSiteDomain);
    entries.append(e);
    if (entries.size() > MaxEntries)
        RemoveAt(0);
    else
        RefreshList();
}

void Tarnwell2SnifferWindow::RemoveAt(int index)
{
    if (index < 0 || index >= entries.size())
        return;
    entries.remove(index);
    RefreshList();
}

void Tarnwell2SnifferWindow::RefreshList()
{
    QTableWidget *table = ui->snifferQueueTable;
    table->clearContents();
    table->setRowCount(0);
    for (int i = entries.size() - 1; i >= 0; --i) {
        const SniffedEntry &e = entries.at(i);
        AddListItem(QStringLiteral("%1. %2").arg(e.number).arg(e.time), e.type,
                    QString::asprintf("%.2f MB", e.size / 1048576.0), 0);
        SetDownloadState(i, e.state);
    }
    const bool any = !entries.isEmpty();
    ui->pbDownloadOnly->setEnabled(any);
    ui->pbDownloadPlay->setEnabled(any);
    ui->pbPreview->setEnabled(any);
    ui->pbRemove->setEnabled(any);
    if (any) {
        table->setCurrentCell(0, 0);
        ui->pbPreview->setEnabled(!entries.last().youTube);
    }
}

void Tarnwell2SnifferWindow::AddListItem(QString number, QString type, QString size, int)
{
    QTableWidget *table = ui->snifferQueueTable;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(number));
    table->setItem(row, 1, new QTableWidgetItem(type));
    table->setItem(row, 2, new QTableWidgetItem(size));
    table->setRowHeight(row, 20);
}

void Tarnwell2SnifferWindow::SetDownloadState(int index, int state)
{
    if (index < 0 || index >= entries.size())
        return;
    entries[index].state = state;
    QPixmap icon(16, 16);
    icon.fill(state == 0 ? Qt::red : state == 1 ? Qt::yellow : Qt::green);
    if (QTableWidgetItem *item = ui->snifferQueueTable->item(entries.size() - 1 - index, 0))
        item->setData(Qt::DecorationRole, icon);
}

int Tarnwell2SnifferWindow::currentEntry() const
{
    const int row = ui->snifferQueueTable->currentRow();
    if (row < 0 || row >= entries.size())
        return -1;
    return entries.size() - 1 - row;
}

void Tarnwell2SnifferWindow::on_snifferItem_clicked()
{
    const int index = currentEntry();
    if (index >= 0)
        ui->pbPreview->setEnabled(!entries.at(index).youTube);
}

void Tarnwell2SnifferWindow::on_pbRemove_clicked() { RemoveAt(currentEntry()); }

void Tarnwell2SnifferWindow::ignoreEverywhere(const QString &url)
{
    QString bare = url;
    bare.remove(QStringLiteral("http://"));
    const std::string key = bare.toLatin1().toStdString();
    for (CVideoSniffer *s : g_videoSniffers)
        s->ignoreUrl(key, 1);
}

void Tarnwell2SnifferWindow::on_pbPreview_clicked()
{
    const int index = currentEntry();
    if (index < 0)
        return;
    // The player's own request for the stream is not to be listed.
    ignoreEverywhere(entries.at(index).url);
    TW::Util::playWithFFplay(entries.at(index).url);
}

QString Tarnwell2SnifferWindow::on_pbDownloadOnly_clicked()
{
    const int index = currentEntry();
    return index < 0 ? QString() : DownloadYouTubeVideoFromSniffedURL(index);
}

void Tarnwell2SnifferWindow::on_pbDownloadPlay_clicked()
{
    const QString path = on_pbDownloadOnly_clicked();
    if (!path.isEmpty())
        emit downloadFinished(path);
}

QString Tarnwell2SnifferWindow::DownloadYouTubeVideoFromSniffedURL(int index)
{
    if (index < 0 || index >= entries.size())
        return QString();
    const QString path = GetSaveAsFullPath();
    if (path.isEmpty())
        return QString();
    // Entries may move while the download runs (new ones push the oldest
    // out): the entry is found again by its number afterwards.
    const int number = entries.at(index).number;
    auto indexOf = [this](int n) {
        for (int i = 0; i < entries.size(); ++i) {
            if (entries.at(i).number == n)
                return i;
        }
        return -1;
    };

    CYouTubeDownloadDlg dialog(this);
    CYouTubeDownloader *downloader = dialog.getDownloader();
    downloader->downloadUrl = entries.at(index).url.trimmed();
    downloader->requestHeader = QByteArray::fromStdString(entries.at(index).header);
    downloader->targetPath = path;
    // The download's own traffic is not to be listed.
    ignoreEverywhere(entries.at(index).url);
    SetDownloadState(index, 1);
    ui->pbDownloadPlay->setEnabled(false);

    dialog.init();
    const int result = dialog.exec();
    ui->pbDownloadPlay->setEnabled(true);
    if (result == 0) {
        SetDownloadState(indexOf(number), 0);
        QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), tr("Download canceled."),
                        QMessageBox::Ok, this);
        box.exec();
        return QString();
    }
    SetDownloadState(indexOf(number), 2);
    return path;
}

QString Tarnwell2SnifferWindow::GetDefaultFilePath()
{
    TW::Options *options = TW::Options::instance();
    const QString last = options->getLastPath(TW::SnifferFolder);
    return last.isEmpty() ? options->getPath(TW::SnifferFolder) : last;
}

QString Tarnwell2SnifferWindow::GetSaveAsFullPath()
{
    const QString proposed =
        QDir::fromNativeSeparators(GetDefaultFilePath() + QDir::separator() + QStringLiteral("untitled.flv"));
    QFileDialog dialog(this, tr("Save File As..."));
    dialog.setNameFilters({tr("Flash video (*.flv)"), tr("Video (*.mp4)")});
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setDirectory(QFileInfo(proposed).absolutePath());
    dialog.selectFile(proposed);
    if (TW::Options::instance()->getAlwaysOnTop())
        dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    connect(&dialog, &QFileDialog::filterSelected, this, &Tarnwell2SnifferWindow::onSaveFilterSelected);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    QString path = dialog.selectedFiles().first();
    TW::Options::instance()->setLastPath(TW::SnifferFolder, dialog.directory().absolutePath());
    const QString extension = extensionOf(dialog.selectedNameFilter());
    if (!extension.isEmpty() && !path.endsWith(extension))
        path += extension;
    return path;
}

void Tarnwell2SnifferWindow::onSaveFilterSelected(const QString &filter)
{
    auto *dialog = qobject_cast<QFileDialog *>(sender());
    if (!dialog || dialog->selectedFiles().isEmpty() || dialog->selectedFiles().first().isEmpty())
        return;
    const QString extension = extensionOf(filter);
    if (extension.isEmpty())
        return;
    const QFileInfo file(dialog->selectedFiles().first());
    dialog->selectFile(file.absolutePath() + QDir::separator() + file.completeBaseName() + extension);
}

void Tarnwell2SnifferWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    hide();
    emit closed();
}

void Tarnwell2SnifferWindow::reject()
{
    QDialog::reject();
    emit closed();
}
