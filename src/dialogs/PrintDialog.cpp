#include "dialogs/PrintDialog.h"

#include "core/Options.h"
#include "core/PathType.h"
#include "core/Time.h"
#include "io/SnaphotExtractor.h"
#include "model/Media.h"
#include "model/MediaSegment.h"

#include "ui_PrintDialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIntValidator>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cmath>

namespace TW {

namespace {

PrintDialog::ProjectSource &projectSource()
{
    static PrintDialog::ProjectSource source;
    return source;
}

// The paper sizes by their identifier, 0 to 30.
const char *const PaperNames[] = {"A4",  "B5",  "Letter", "Legal", "Executive", "A0",      "A1",  "A2",
                                  "A3",  "A5",  "A6",     "A7",    "A8",        "A9",      "B0",  "B1",
                                  "B10", "B2",  "B3",     "B4",    "B6",        "B7",      "B8",  "B9",
                                  "C5E", "Comm10E", "DLE", "Folio", "Ledger",    "Tabloid", "Custom"};
constexpr int NamedPaperCount = int(sizeof(PaperNames) / sizeof(PaperNames[0]));

void processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// An integer from 1 to 256 in the field, or 0.
int fieldValue(const QLineEdit *field)
{
    QString text = field->text();
    int pos = 0;
    if (!field->validator() || field->validator()->validate(text, pos) != QValidator::Acceptable)
        return 0;
    return text.toInt();
}

} // namespace

class PrintDialog::Impl
{
public:
    explicit Impl(PrintDialog *dialog)
        : owner(dialog), printer(QPrinter::ScreenResolution), printers(QPrinterInfo::availablePrinters())
    {
    }

    // ---- The gathered frames: in memory, or as files read page by page ----

    int frameCount() const { return frameFiles.isEmpty() ? int(frames.size()) : int(frameFiles.size()); }

    QVector<QImage> framesAt(int first, int count) const
    {
        if (frameFiles.isEmpty())
            return frames.mid(first, count);
        QVector<QImage> page;
        for (int i = first; i < first + count && i < frameFiles.size(); ++i)
            page.append(QImage(frameFiles.at(i)));
        return page;
    }

    void clearFrames()
    {
        frames.clear();
        frameFiles.clear();
        frameFolder.reset();
    }

    // ---- Options ----

    void fixUI()
    {
        preview = new QPrintPreviewWidget(owner);
        form.groupLayout->addWidget(preview);
        preview->setZoomMode(QPrintPreviewWidget::FitToWidth);
        preview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        preview->show();
        statusLabel = new QLabel;
        statusLabel->setObjectName(QStringLiteral("printStatusLabel"));
        auto *bar = new QStatusBar;
        bar->setSizeGripEnabled(true);
        bar->addWidget(statusLabel);
        form.outerLayout->addWidget(bar);
    }

    void fillPrinterInfo()
    {
        form.printerComboBox->clear();
        for (int i = 0; i < printers.size(); ++i)
            form.printerComboBox->addItem(printers.at(i).printerName(), i);
    }

    void setup()
    {
        if (form.printerComboBox->count() > 0)
            owner->printerSelectionChanged(0);
        for (QLineEdit *field : {form.copiesLineEdit, form.itemsLineEdit}) {
            field->setValidator(new QIntValidator(1, 256, field));
            field->setText(QStringLiteral("1"));
        }
        form.lblThumbsNumber->setText(QString());
        form.currentVideoScreenRadioButton->setChecked(true);
        form.orientationComboBox->addItem(PrintDialog::tr("Portrait"), 0);
        form.orientationComboBox->addItem(PrintDialog::tr("Landscape"), 1);
    }

    void updatePrintOptions()
    {
        printCurrentScreen = form.currentVideoScreenRadioButton->isChecked();
        if (printCurrentScreen)
            framesSource = nullptr;
        itemsPerPage = fieldValue(form.itemsLineEdit);
        updateThumbnailsOption();
        if (const int copies = fieldValue(form.copiesLineEdit))
            printer.setCopyCount(copies);
    }

    void updateThumbnailsOption()
    {
        const ProjectSource &source = projectSource();
        const QSharedPointer<Media> media = source.media ? source.media() : QSharedPointer<Media>();
        if (!media || media->isEmpty()) {
            clearFrames();
            return;
        }
        Time start(-1);
        Time end(-1);
        bool ranged = false;
        if (form.selectedThumbnailsRadioButton->isChecked()) {
            if (framesSource == form.selectedThumbnailsRadioButton)
                return;
            const QPair<int, int> selection = source.selection ? source.selection() : qMakePair(-1, -1);
            if (selection.first != -1 && selection.second != -1) {
                start = Time::fromFrameUnits(selection.first);
                end = Time::fromFrameUnits(selection.second);
                ranged = true;
                framesSource = form.selectedThumbnailsRadioButton;
            }
        } else if (form.thumbnailsBeforeCurrentScreenRadioButton->isChecked()) {
            if (framesSource == form.thumbnailsBeforeCurrentScreenRadioButton)
                return;
            start = Time(0);
            end = Time::fromFrameUnits(source.currentFrame ? source.currentFrame() : 0);
            ranged = true;
            framesSource = form.thumbnailsBeforeCurrentScreenRadioButton;
        } else if (form.thumbnailsAfterCurrentScreenRadioButton->isChecked()) {
            if (framesSource == form.thumbnailsAfterCurrentScreenRadioButton)
                return;
            start = Time::fromFrameUnits(source.currentFrame ? source.currentFrame() : 0);
            end = media->getDuration();
            ranged = true;
            framesSource = form.thumbnailsAfterCurrentScreenRadioButton;
        }
        clearFrames();
        if (!ranged)
            return;
        const QSharedPointer<MediaSegment> segment = media->getSegment(start, end);
        if (!segment)
            return;
        const qint64 count = segment->length.toFrameUnits(false);
        SnaphotExtractor extractor;
        if (count <= FramesInMemory) {
            frames = extractor.getFrames(segment);
            return;
        }
        const auto answer = QMessageBox::question(
            owner, PrintDialog::tr("Save to file"),
            PrintDialog::tr("You are saving more than %1 frames as image files on your machine. This process "
                            "could use significant disc space and take some time. Do you still want to go ahead?")
                .arg(FramesInMemory),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        frameFolder = std::make_unique<QTemporaryDir>(
            QDir(Options::instance() ? Options::instance()->getPath(TempFolder) : QDir::tempPath())
                .filePath(QStringLiteral("print-XXXXXX")));
        if (!frameFolder->isValid())
            frameFolder = std::make_unique<QTemporaryDir>();
        if (!frameFolder->isValid()) {
            qWarning() << "PrintDialog: no folder for the frames";
            frameFolder.reset();
            return;
        }
        frameFiles = extractor.getFrameFiles(segment, frameFolder->path());
    }

    // ---- The print pass ----

    bool hasCurrentScreen() const { return !curScreen.isNull() && printCurrentScreen; }

    bool printable() const
    {
        return (hasCurrentScreen() || frameCount() > 0) && itemsPerPage != 0 && fieldValue(form.copiesLineEdit) != 0;
    }

    // Options update with the labels painted meanwhile; true when there is
    // something to print.
    bool prepare()
    {
        statusLabel->setText(PrintDialog::tr("Updating..."));
        processPendingEvents();
        updatePrintOptions();
        statusLabel->setText(PrintDialog::tr("Printing..."));
        processPendingEvents();
        const bool ok = printable();
        form.lblThumbsNumber->setText(QString::number(hasCurrentScreen() ? 1 : frameCount()));
        processPendingEvents();
        return ok;
    }

    bool print(QPrinter *target, bool showsPreview)
    {
        const bool ok = prepare();
        const QVariant paper = form.pageSizeComboBox->currentData();
        target->setPageSize(QPageSize(QPageSize::PageSizeId(paper.isValid() ? paper.toInt() : 0)));
        bool started = true;
        if (ok) {
            started = printCopy(target);
        } else if (showsPreview) {
            // One empty page.
            QPainter painter;
            started = painter.begin(target);
            if (started)
                painter.end();
        }
        if (!started)
            statusLabel->setText(PrintDialog::tr("Printing could not start."));
        else if (!ok && !showsPreview)
            statusLabel->setText(PrintDialog::tr("Nothing to print."));
        else
            statusLabel->setText(QString());
        return started;
    }

    bool printCopy(QPrinter *target)
    {
        qDebug() << "Begin printing";
        QPainter painter;
        if (!painter.begin(target)) {
            qWarning() << "PrintDialog: cannot start printing on" << target->printerName() << target->outputFileName();
            return false;
        }
        const QSize area = target->pageRect(QPrinter::DevicePixel).size().toSize();
        if (hasCurrentScreen())
            drawCurrentScreen(painter, area);
        if (frameCount() > 0) {
            if (hasCurrentScreen())
                target->newPage();
            const int pages = pageCount();
            for (int k = 0; k < pages; ++k) {
                drawPage(painter, area, framesAt(k * itemsPerPage, itemsPerPage));
                if (k + 1 < pages)
                    target->newPage();
            }
        }
        painter.end();
        qDebug() << "End printing";
        return true;
    }

    int pageCount() const
    {
        if (itemsPerPage <= 0)
            return 0;
        return (frameCount() + itemsPerPage - 1) / itemsPerPage;
    }

    void drawCurrentScreen(QPainter &painter, const QSize &area) const
    {
        const QImage image = form.fitToScreen->isChecked()
                                 ? curScreen.scaled(area, Qt::KeepAspectRatio, Qt::FastTransformation)
                                 : curScreen;
        painter.drawImage(QPoint((area.width() - image.width()) / 2, (area.height() - image.height()) / 2), image);
    }

    static void drawPage(QPainter &painter, const QSize &area, const QVector<QImage> &page)
    {
        const QVector<QRect> cells = PrintDialog::gridCells(area, int(page.size()));
        for (int i = 0; i < page.size(); ++i) {
            const QRect &cell = cells.at(i);
            const QImage scaled = page.at(i).scaled(cell.size(), Qt::KeepAspectRatio, Qt::FastTransformation);
            if (scaled.isNull())
                continue;
            painter.drawImage(QPoint(cell.x() + (cell.width() - scaled.width()) / 2,
                                     cell.y() + (cell.height() - scaled.height()) / 2),
                              scaled);
        }
    }

    // ---- PNG pages ----

    void saveToFile()
    {
        const QString base = basePrintFilename();
        if (base.isEmpty())
            return;
        QStringList written;
        if (prepare())
            written = savePrints(base);
        if (written.isEmpty()) {
            statusLabel->setText(QString());
            return;
        }
        // Where the pages went: the first file, and how many there are.
        const QString first = QDir::toNativeSeparators(written.constFirst());
        statusLabel->setText(written.size() == 1
                                 ? PrintDialog::tr("Saved to %1").arg(first)
                                 : PrintDialog::tr("Saved %1 pages: %2 and the following numbers")
                                       .arg(written.size())
                                       .arg(first));
    }

    QString basePrintFilename()
    {
        Options *options = Options::instance();
        QFileDialog chooser(owner, PrintDialog::tr("Save to..."));
        chooser.setAcceptMode(QFileDialog::AcceptSave);
        chooser.setFileMode(QFileDialog::AnyFile);
        chooser.setNameFilter(PrintDialog::tr("PNG image (*.png)"));
        if (options && options->getAlwaysOnTop())
            chooser.setWindowFlags(chooser.windowFlags() | Qt::WindowStaysOnTopHint);
        if (options) {
            const QString last = options->getLastPath(TempFolder);
            chooser.setDirectory(last.isEmpty() ? options->getPath(TempFolder) : last);
        }
        QString result;
        if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()) {
            result = chooser.selectedFiles().first();
            if (!result.endsWith(QLatin1String(".png")))
                result += QLatin1String(".png");
        }
        if (options)
            options->setLastPath(TempFolder, chooser.directory().absolutePath());
        return result;
    }

    // Asks before replacing files; true when none exists or the user agreed.
    bool mayWrite(const QStringList &names)
    {
        QStringList existing;
        for (const QString &name : names) {
            if (QFileInfo::exists(name))
                existing << QFileInfo(name).fileName();
        }
        if (existing.isEmpty())
            return true;
        const QString shown = existing.size() > 5 ? existing.mid(0, 5).join(QLatin1Char('\n')) + QStringLiteral("\n...")
                                                  : existing.join(QLatin1Char('\n'));
        return QMessageBox::question(owner, PrintDialog::tr("Save to file"),
                                     PrintDialog::tr("These files already exist:\n%1\nDo you want to replace them?")
                                         .arg(shown),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    }

    // The files written, in order; empty when the user declined or the
    // first write failed.
    QStringList savePrints(const QString &base)
    {
        const int first = hasCurrentScreen() ? 1 : 0;
        const int files = first + (frameCount() > 0 ? pageCount() : 0);
        QStringList names;
        for (int n = 1; n <= files; ++n)
            names << PrintDialog::incrementedFilename(base, n);
        if (!mayWrite(names))
            return {};
        QImage image(printer.paperRect(QPrinter::DevicePixel).size().toSize(), QImage::Format_ARGB32);
        QStringList written;
        const auto write = [&](int n) {
            if (image.save(names.at(n - 1))) {
                written << names.at(n - 1);
                return true;
            }
            QMessageBox::warning(owner, PrintDialog::tr("Save to file"),
                                 PrintDialog::tr("The page could not be written to %1.").arg(names.at(n - 1)));
            return false;
        };
        int number = 0;
        if (hasCurrentScreen()) {
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                drawCurrentScreen(painter, image.size());
            }
            if (!write(++number))
                return written;
        }
        for (int k = 0; frameCount() > 0 && k < pageCount(); ++k) {
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                drawPage(painter, image.size(), framesAt(k * itemsPerPage, itemsPerPage));
            }
            if (!write(++number))
                return written;
        }
        return written;
    }

    PrintDialog *owner;
    Ui_PrintDialog form;
    QPrinter printer;
    QPrintPreviewWidget *preview = nullptr;
    QList<QPrinterInfo> printers;
    QLabel *statusLabel = nullptr;
    QRadioButton *framesSource = nullptr;
    QImage curScreen;
    int itemsPerPage = 0;
    QVector<QImage> frames;
    QStringList frameFiles;
    std::unique_ptr<QTemporaryDir> frameFolder;
    bool printCurrentScreen = false;
};

PrintDialog::PrintDialog(QWidget *parent) : QDialog(parent), d(std::make_unique<Impl>(this))
{
    d->form.setupUi(this);
    d->fixUI();
    d->fillPrinterInfo();
    d->setup();

    const Ui_PrintDialog &f = d->form;
    connect(f.printerComboBox, &QComboBox::currentIndexChanged, this, &PrintDialog::printerSelectionChanged);
    connect(d->preview, &QPrintPreviewWidget::paintRequested, this, &PrintDialog::printPreview);
    connect(f.printButton, &QPushButton::clicked, this, &PrintDialog::printClicked);
    connect(f.cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(f.orientationComboBox, &QComboBox::currentIndexChanged, this, &PrintDialog::orintationChanged);
    connect(f.btnPrinterProperties, &QPushButton::clicked, this, &PrintDialog::onPrinterPropertiesClicked);
    connect(f.copiesLineEdit, &QLineEdit::textChanged, this, &PrintDialog::onCopyCountChanged);
    for (QRadioButton *button : {f.currentVideoScreenRadioButton, f.selectedThumbnailsRadioButton,
                                 f.thumbnailsBeforeCurrentScreenRadioButton, f.thumbnailsAfterCurrentScreenRadioButton})
        connect(button, &QRadioButton::toggled, this, &PrintDialog::printOptionsChanged);
    connect(f.fitToScreen, &QCheckBox::toggled, this, &PrintDialog::printOptionsChanged);
    connect(f.pageSizeComboBox, &QComboBox::currentIndexChanged, this, &PrintDialog::printOptionsChanged);
    connect(f.itemsLineEdit, &QLineEdit::textChanged, this, &PrintDialog::printOptionsChanged);

    d->preview->updatePreview();
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

PrintDialog::~PrintDialog() = default;

void PrintDialog::setCurScreen(QImage image)
{
    d->curScreen = image;
    d->preview->updatePreview();
}

void PrintDialog::setProjectSource(ProjectSource source) { projectSource() = std::move(source); }

bool PrintDialog::printTo(QPrinter *printer) { return d->print(printer, false); }

QVector<QRect> PrintDialog::gridCells(const QSize &area, int count)
{
    QVector<QRect> cells;
    if (count <= 0)
        return cells;
    const int W = area.width();
    const int H = area.height();
    const int columns = std::max(1, int(std::sqrt(double(count))));
    const int rows = (count + columns - 1) / columns;
    int w = W / columns;
    if (columns > 1)
        w = int(w / 1.05);
    int h = H / rows;
    if (rows > 1)
        h = int(h / 1.05);
    const int sx = w + (W - columns * w) / (columns > 1 ? columns - 1 : 1);
    const int sy = h + (H - rows * h) / (rows > 1 ? rows - 1 : 1);
    for (int i = 0; i < count; ++i)
        cells.append(QRect((i % columns) * sx, (i / columns) * sy, w, h));
    return cells;
}

QString PrintDialog::incrementedFilename(const QString &baseName, int number)
{
    const QFileInfo info(baseName);
    return info.absolutePath() + QDir::separator() + info.completeBaseName() + QString::number(number)
           + QLatin1Char('.') + info.suffix();
}

void PrintDialog::printerSelectionChanged(int printerIndex)
{
    if (printerIndex < 0 || printerIndex >= d->printers.size())
        return;
    const QPrinterInfo &info = d->printers.at(printerIndex);
    d->printer.setPrinterName(info.printerName());
    QComboBox *papers = d->form.pageSizeComboBox;
    papers->clear();
    for (const QPageSize &size : info.supportedPageSizes()) {
        const int id = int(size.id());
        if (id < 0 || id >= NamedPaperCount || papers->findData(id) >= 0)
            continue;
        papers->addItem(QLatin1String(PaperNames[id]), id);
    }
    if (papers->count() > 0)
        papers->setCurrentIndex(0);
}

void PrintDialog::printOptionsChanged()
{
    // Of two radio buttons toggled together, the one now checked refreshes.
    if (auto *button = qobject_cast<QRadioButton *>(sender()); button && !button->isChecked())
        return;
    d->preview->updatePreview();
}

void PrintDialog::printPreview(QPrinter *printer)
{
    printer->setPageOrientation(d->printer.pageLayout().orientation());
    d->print(printer, true);
}

void PrintDialog::orintationChanged(int orientationIndex)
{
    const int value = d->form.orientationComboBox->itemData(orientationIndex).toInt();
    d->printer.setPageOrientation(value == 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
    d->preview->updatePreview();
}

void PrintDialog::onPrinterPropertiesClicked()
{
    QPrintDialog properties(&d->printer, this);
    properties.exec();
    d->form.copiesLineEdit->setText(QString::number(d->printer.copyCount()));
    d->form.orientationComboBox->setCurrentIndex(d->printer.pageLayout().orientation() == QPageLayout::Landscape ? 1
                                                                                                                 : 0);
}

void PrintDialog::onCopyCountChanged()
{
    if (const int copies = fieldValue(d->form.copiesLineEdit))
        d->printer.setCopyCount(copies);
}

void PrintDialog::printClicked()
{
    if (d->form.chBoxPrintToFile->isChecked()) {
        d->saveToFile();
        return;
    }
    if (d->printers.isEmpty()) {
        QMessageBox::information(this, tr("Print"), tr("There is no printer installed."));
        return;
    }
    if (!d->print(&d->printer, false))
        QMessageBox::warning(this, tr("Print"), tr("Printing on %1 could not start.").arg(d->printer.printerName()));
    else if (d->statusLabel->text().isEmpty()) // not "Nothing to print."
        d->statusLabel->setText(tr("Sent to the printer %1.").arg(d->printer.printerName()));
}

} // namespace TW
