#include "dialogs/ConvertProgressDialog.h"

#include "core/Util.h"
#include "core/WorkingFiles.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace TW {

namespace {

const int StopWaitMs = 30000;

const QRegularExpression &durationPattern()
{
    static const QRegularExpression re(QStringLiteral("Duration: (\\d+):(\\d+):(\\d+)\\.(\\d+)"));
    return re;
}

// ffmpeg 5 writes the size in "kB", later versions in "KiB"; the quality
// of the last line may be negative.
const QRegularExpression &progressPattern()
{
    static const QRegularExpression re(QStringLiteral(
        "frame=\\s*\\d+\\s*fps=\\s*\\d+(?:\\.\\d+|)\\s*q=\\s*-?\\d+(?:\\.\\d+|)\\s*L?size=\\s*\\d+(?:kB|KiB)\\s*"
        "time=\\s*(\\d+):(\\d+):(\\d+)\\.(\\d+)"));
    return re;
}

const QString InvalidInput = QStringLiteral("Invalid data found when processing input");

double capturedSeconds(const QRegularExpressionMatch &m)
{
    return m.captured(1).toDouble() * 3600.0 + m.captured(2).toDouble() * 60.0 + m.captured(3).toDouble()
           + m.captured(4).toDouble() / 100.0;
}

double matchedSeconds(const QRegularExpression &re, const QString &line)
{
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? capturedSeconds(m) : -1.0;
}

QString absolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

class ConvertProgressDialogImpl
{
public:
    explicit ConvertProgressDialogImpl(ConvertProgressDialog *dialog)
        : owner(dialog), program(Util::externalProgram(QStringLiteral("ffmpeg")))
    {
        fileLabel = new QLabel;
        fileLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        progressBar = new QProgressBar;
        progressBar->setRange(0, 100);
        progressBar->setValue(0);
        cancelButton = new QPushButton(ConvertProgressDialog::tr("Cancel"));

        auto *outer = new QVBoxLayout(owner);
        auto *top = new QVBoxLayout;
        top->addWidget(fileLabel);
        top->addStretch();
        top->addWidget(progressBar);
        top->addStretch();
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(cancelButton);
        buttons->addStretch();
        outer->addLayout(top);
        outer->addLayout(buttons);
    }

    ~ConvertProgressDialogImpl() { abort(); }

    // Ends a running ffmpeg without its end counting as a finished pair and
    // removes the working file it was writing.
    void abort()
    {
        if (process) {
            process->blockSignals(true);
            process->cancel();
            process->waitForFinished(StopWaitMs);
            // Later: we may be inside one of its signals.
            process.release()->deleteLater();
        }
        dropWorkingFile();
    }

    void dropWorkingFile()
    {
        if (!workingFile.isEmpty())
            QFile::remove(workingFile);
        workingEntry.clear();
        workingFile.clear();
    }

    // Where pair i goes: its destination, or a free name when that would be
    // a source of this batch or a file an earlier pair wrote.
    QString resolvedDestination(int i) const
    {
        QStringList taken = written;
        for (const QString &source : sources)
            taken << source;
        return ConvertProgressDialog::freeName(absolute(destinations.at(i)), taken);
    }

    // A fresh, empty working file beside the destination with its suffix, so
    // that ffmpeg picks the same container.
    QString reserveWorkingFile(const QString &destination) const
    {
        const QFileInfo info(destination);
        QTemporaryFile file(info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.%2")
                                                             .arg(info.completeBaseName(), info.suffix())));
        file.setAutoRemove(false);
        if (!file.open())
            return QString();
        // Readable as any converted file is, not only by its owner.
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                            | QFileDevice::ReadOther);
        return file.fileName();
    }

    // Starts the next pair; false when none is left.
    bool startNext()
    {
        ++index;
        if (index >= sources.size())
            return false;
        abort();
        const QString source = absolute(sources.at(index));
        currentDestination = resolvedDestination(index);
        duration = 0.0;
        refreshFileLabel();

        workingFile = reserveWorkingFile(currentDestination);
        // Recorded, so that a killed run's working file goes at the next start.
        workingEntry.set(workingFile);
        if (workingFile.isEmpty()) {
            qWarning() << "ConvertProgressDialog: cannot write into the folder of" << currentDestination;
            pairFailed();
            return true;
        }
        // Absolute paths: a name that starts with "-" never reads as an option.
        const QStringList args{QStringLiteral("-y"), QStringLiteral("-i"), source, QStringLiteral("-strict"),
                               QStringLiteral("-2"), QStringLiteral("-vcodec"), QStringLiteral("h264"),
                               QStringLiteral("-preset"), QStringLiteral("slow"), workingFile};
        QStringList quoted;
        for (const QString &a : args)
            quoted << QLatin1Char('"') + a + QLatin1Char('"');
        qDebug().noquote() << "Converting" << QLatin1Char('"') + source + QLatin1Char('"') << "to"
                           << QLatin1Char('"') + currentDestination + QLatin1Char('"') << "args:"
                           << QLatin1Char('(') + quoted.join(QStringLiteral(", ")) + QLatin1Char(')');
        process = std::make_unique<ToolProcess>();
        process->setProgram(program);
        process->setArguments(args);
        QObject::connect(process.get(), &ToolProcess::errorLine, owner, &ConvertProgressDialog::procLine);
        QObject::connect(process.get(), &ToolProcess::outputLine, owner, &ConvertProgressDialog::procLine);
        QObject::connect(process.get(), &ToolProcess::finished, owner, &ConvertProgressDialog::procFinished);
        process->start();
        return true;
    }

    // The current pair failed: its working file goes, the next one follows.
    void pairFailed()
    {
        dropWorkingFile();
        failed << sources.at(index);
        continueLater();
    }

    void continueLater()
    {
        QMetaObject::invokeMethod(
            owner, [this]() { next(); }, Qt::QueuedConnection);
    }

    void next()
    {
        if (!owner->isVisible())
            return;
        if (!startNext())
            finish();
    }

    void finish()
    {
        if (!failed.isEmpty()) {
            QMessageBox::warning(messageParent(), QStringLiteral("Rip DVD Files"),
                                 QStringLiteral("These files could not be converted:\n%1")
                                     .arg(failed.join(QLatin1Char('\n'))));
        }
        owner->done(QDialog::Accepted);
    }

    QWidget *messageParent() const { return messageParentSet ? explicitParent.data() : owner->parentWidget(); }

    void refreshFileLabel()
    {
        if (index < 0 || index >= sources.size())
            return;
        const QString text = ConvertProgressDialog::tr("Ripping: %1").arg(sources.at(index));
        fileLabel->setText(fileLabel->fontMetrics().elidedText(text, Qt::ElideRight, fileLabel->width()));
        fileLabel->setToolTip(sources.at(index));
    }

    void parseLine(const QString &line)
    {
        qDebug().noquote() << "ffmpeg output:" << QLatin1Char('"') + line + QLatin1Char('"');
        if (line.contains(InvalidInput)) {
            qDebug() << "ffmpeg: invalid input";
            return;
        }
        const double length = ConvertProgressDialog::durationTime(line);
        if (length >= 0.0)
            duration = length;
        const double reached = ConvertProgressDialog::progressTime(line);
        if (reached < 0.0 || duration <= 0.0)
            return;
        const double fraction = std::min(reached / duration, 1.0);
        const double value = (index + fraction) / sources.size() * 100.0;
        progressBar->setValue(int(std::floor(value + 0.5)));
    }

    ConvertProgressDialog *owner;
    std::unique_ptr<ToolProcess> process;
    QString program;
    QStringList sources;
    QStringList destinations;
    int index = -1;
    double duration = 0.0;
    QString currentDestination;
    QString workingFile;
    WorkingFiles::Entry workingEntry;
    QStringList written;
    QStringList failed;
    bool messageParentSet = false;
    QPointer<QWidget> explicitParent;
    QLabel *fileLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    QPushButton *cancelButton = nullptr;
};

ConvertProgressDialog::ConvertProgressDialog(QWidget *parent)
    : QDialog(parent), d(std::make_unique<ConvertProgressDialogImpl>(this))
{
    connect(d->cancelButton, &QPushButton::clicked, this, &ConvertProgressDialog::cancelClicked);
    // Escape or the window's close button: the running conversion stops
    // with the dialog and leaves nothing half-written behind.
    connect(this, &QDialog::rejected, this, [this]() { d->abort(); });
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowFlags(Qt::Tool);
    resize(400, 135);
}

ConvertProgressDialog::~ConvertProgressDialog() = default;

QStringList ConvertProgressDialog::getWrittenFiles() const { return d->written; }

QStringList ConvertProgressDialog::getFailedSources() const { return d->failed; }

void ConvertProgressDialog::setMessageParent(QWidget *parent)
{
    d->messageParentSet = true;
    d->explicitParent = parent;
}

double ConvertProgressDialog::progressTime(const QString &line) { return matchedSeconds(progressPattern(), line); }

double ConvertProgressDialog::durationTime(const QString &line) { return matchedSeconds(durationPattern(), line); }

QString ConvertProgressDialog::freeName(const QString &wanted, const QStringList &taken)
{
    QStringList used;
    for (const QString &t : taken)
        used << absolute(t);
    const QString first = absolute(wanted);
    if (!used.contains(first))
        return first;
    const QFileInfo info(first);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 2;; ++n) {
        const QString candidate =
            info.absoluteDir().filePath(QStringLiteral("%1 (%2)%3").arg(info.completeBaseName()).arg(n).arg(suffix));
        if (!used.contains(candidate))
            return candidate;
    }
}

void ConvertProgressDialog::process(QStringList srcFiles, QStringList dstFiles)
{
    d->abort();
    // A source without a destination cannot be converted.
    while (dstFiles.size() < srcFiles.size())
        srcFiles.removeLast();
    d->sources = srcFiles;
    d->destinations = dstFiles;
    d->index = -1;
    d->written.clear();
    d->failed.clear();
    d->progressBar->setValue(0);
    if (d->sources.isEmpty())
        return;
    if (!d->startNext())
        return;
    exec();
}

void ConvertProgressDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    d->refreshFileLabel();
}

void ConvertProgressDialog::cancelClicked()
{
    d->abort();
    QMessageBox::information(d->messageParent(), QStringLiteral("Rip DVD Files"),
                             QStringLiteral("Rip DVD Files has been cancelled"), QMessageBox::Ok);
    done(QDialog::Rejected);
}

void ConvertProgressDialog::procLine(const QString &line)
{
    if (d->process && sender() == d->process.get())
        d->parseLine(line);
}

void ConvertProgressDialog::procFinished(ToolProcess::Verdict verdict)
{
    if (!d->process || sender() != d->process.get())
        return;
    const QString source = d->sources.value(d->index);
    const bool ok = verdict == ToolProcess::Succeeded && QFileInfo(d->workingFile).size() > 0;
    const QString why = d->process->describe();
    d->process.release()->deleteLater();
    if (!ok) {
        qWarning() << "ConvertProgressDialog: converting" << source << "failed:" << why;
        d->pairFailed();
        return;
    }
    // One step: the destination is never missing, whatever happens between.
    if (::rename(QFile::encodeName(d->workingFile).constData(),
                 QFile::encodeName(d->currentDestination).constData())
        != 0) {
        qWarning() << "ConvertProgressDialog: cannot write" << d->currentDestination << ":"
                   << QString::fromLocal8Bit(std::strerror(errno));
        d->pairFailed();
        return;
    }
    d->workingEntry.clear();
    d->workingFile.clear();
    d->written << d->currentDestination;
    d->continueLater();
}

} // namespace TW
