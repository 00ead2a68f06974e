// Printing frames: the grid of a page, the numbered PNG names, and whole
// passes over frames of solid colours taken from a clip: pages counted in a
// PDF, PNG pages checked by size and by the colour at each cell's centre,
// files that exist already, more frames than are held in memory, and a
// printer that cannot start.
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/OptionsHolder.h"
#include "core/Options.h"
#include "core/Singleton.h"
#include "dialogs/PrintDialog.h"
#include "model/Media.h"
#include "model/MediaTrack.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;

namespace {

const QList<QColor> Colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};

template <typename T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

int pdfPages(const QString &file)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {file});
    if (!info.waitForFinished(30000))
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(info.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QSize paperSize()
{
    QPrinter printer(QPrinter::ScreenResolution);
    return printer.paperRect(QPrinter::DevicePixel).size().toSize();
}

} // namespace

class tst_PrintDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void grid_data();
    void grid();
    void numberedNames_data();
    void numberedNames();
    void framePagesAsPngAndPdf();
    void existingFilesAreKeptUnlessAgreed();
    void currentScreen();
    void manyFramesArePrintedPageByPage();
    void declinedFramesGiveNothing();
    void printerThatCannotStart();
    void noPrinterInstalled();

private:
    QSharedPointer<Media> project(const QString &clip);
    void useProject(const QSharedPointer<Media> &media);
    QString printPdf(PrintDialog &dialog, const QString &name);

    QTemporaryDir m_dir;
    QString m_six;   // six frames, one of each colour
    QString m_sixty; // 20 red, 20 lime, 20 blue frames
};

void tst_PrintDialog::initTestCase()
{
    test::isolateHome();
    QVERIFY(m_dir.isValid());
    Options::instance()->loadFromFile(true);
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->m_fps = 25.0f;
    // Six frames at 25 fps, one of each colour, from pictures made here.
    for (int i = 0; i < 6; ++i) {
        QImage frame(64, 48, QImage::Format_RGB32);
        frame.fill(Colours.at(i));
        QVERIFY(frame.save(m_dir.filePath(QStringLiteral("colour%1.png").arg(i))));
    }
    m_six = m_dir.filePath(QStringLiteral("six.mkv"));
    QVERIFY(test::TestMedia::ffmpeg({"-framerate", "25", "-i", m_dir.filePath(QStringLiteral("colour%d.png")), "-c:v",
                                     "ffv1", m_six}));
    m_sixty = m_dir.filePath(QStringLiteral("sixty.mkv"));
    QVERIFY(test::TestMedia::ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=64x48:r=25:d=0.8", "-f", "lavfi", "-i",
                                     "color=c=lime:s=64x48:r=25:d=0.8", "-f", "lavfi", "-i",
                                     "color=c=blue:s=64x48:r=25:d=0.8", "-filter_complex",
                                     "[0:v][1:v][2:v]concat=n=3:v=1", "-c:v", "ffv1", m_sixty}));
}

void tst_PrintDialog::cleanup() { PrintDialog::setProjectSource({}); }

QSharedPointer<Media> tst_PrintDialog::project(const QString &clip)
{
    QSharedPointer<Media> media(new Media);
    media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(clip, 0, clip)));
    media->updateFragmentPositions();
    return media;
}

void tst_PrintDialog::useProject(const QSharedPointer<Media> &media)
{
    PrintDialog::setProjectSource({[media] { return media; }, [] { return qMakePair(-1, -1); }, [] { return 0; }});
}

QString tst_PrintDialog::printPdf(PrintDialog &dialog, const QString &name)
{
    QPrinter pdf(QPrinter::ScreenResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const QString file = m_dir.filePath(name);
    pdf.setOutputFileName(file);
    if (!dialog.printTo(&pdf))
        return QString();
    return file;
}

void tst_PrintDialog::grid_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::newRow("1") << 1 << 1 << 1;
    QTest::newRow("2") << 2 << 1 << 2;
    QTest::newRow("3") << 3 << 1 << 3;
    QTest::newRow("4") << 4 << 2 << 2;
    QTest::newRow("5") << 5 << 2 << 3;
    QTest::newRow("6") << 6 << 2 << 3;
    QTest::newRow("10") << 10 << 3 << 4;
}

void tst_PrintDialog::grid()
{
    QFETCH(int, count);
    QFETCH(int, columns);
    QFETCH(int, rows);
    const QSize area(794, 1123);
    const QVector<QRect> cells = PrintDialog::gridCells(area, count);
    QCOMPARE(cells.size(), count);
    QSet<int> xs, ys;
    for (const QRect &cell : cells) {
        xs << cell.x();
        ys << cell.y();
        QVERIFY(QRect(QPoint(0, 0), area).contains(cell));
        for (const QRect &other : cells)
            QVERIFY(&other == &cell || !other.intersects(cell));
    }
    QCOMPARE(xs.size(), columns);
    QCOMPARE(ys.size(), rows);
    // Row-major, starting at the top left; the last column and row end near
    // the far edges (the spare room is spread between the cells).
    QCOMPARE(cells.first().topLeft(), QPoint(0, 0));
    if (count > 1) {
        // The second frame sits right of the first, or below it in one column.
        QCOMPARE(cells.at(1).y() > 0, columns == 1);
        QCOMPARE(cells.at(1).x() > 0, columns > 1);
    }
    int right = 0, bottom = 0;
    for (const QRect &cell : cells) {
        right = qMax(right, cell.right() + 1);
        bottom = qMax(bottom, cell.bottom() + 1);
    }
    QVERIFY2(area.width() - right < columns && area.height() - bottom < rows,
             qPrintable(QStringLiteral("%1 %2").arg(right).arg(bottom)));
    if (count == 1)
        QCOMPARE(cells.first().size(), area);
}

void tst_PrintDialog::numberedNames_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("sheet") << "/p/sheet.png" << 1 << "/p/sheet1.png";
    QTest::newRow("ten") << "/p/sheet.png" << 10 << "/p/sheet10.png";
    QTest::newRow("dotted") << "/p/a.b.png" << 2 << "/p/a.b2.png";
}

void tst_PrintDialog::numberedNames()
{
    QFETCH(QString, base);
    QFETCH(int, number);
    QFETCH(QString, name);
    QCOMPARE(PrintDialog::incrementedFilename(base, number), name);
}

void tst_PrintDialog::framePagesAsPngAndPdf()
{
    useProject(project(m_six));
    PrintDialog dialog;
    QCOMPARE(child<QLabel>(dialog, "lblThumbsNumber")->text(), QStringLiteral("0"));
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QStringLiteral("6"));
    child<QRadioButton>(dialog, "thumbnailsAfterCurrentScreenRadioButton")->setChecked(true);
    QCOMPARE(child<QLabel>(dialog, "lblThumbsNumber")->text(), QStringLiteral("6"));

    // One PNG page of 2 x 3 frames, each in its cell.
    const QString folder = m_dir.filePath(QStringLiteral("six"));
    QVERIFY(QDir().mkpath(folder));
    child<QCheckBox>(dialog, "chBoxPrintToFile")->setChecked(true);
    test::ModalAnswerer answers;
    answers.answerFile(folder + QStringLiteral("/sheet"));
    child<QPushButton>(dialog, "printButton")->click();
    QVERIFY2(answers.unexpected().isEmpty(), qPrintable(answers.unexpected().join(QLatin1Char('|'))));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"sheet1.png"});
    const QImage page(folder + QStringLiteral("/sheet1.png"));
    QCOMPARE(page.size(), paperSize());
    const QVector<QRect> cells = PrintDialog::gridCells(page.size(), 6);
    for (int i = 0; i < 6; ++i)
        QVERIFY2(near(page.pixelColor(cells.at(i).center()), Colours.at(i)),
                 qPrintable(QStringLiteral("cell %1: %2").arg(i).arg(page.pixelColor(cells.at(i).center()).name())));
    QCOMPARE(page.pixelColor(page.width() - 1, page.height() - 1), QColor(Qt::white));
    // The status line says where the page went.
    QCOMPARE(child<QLabel>(dialog, "printStatusLabel")->text(),
             "Saved to " + QDir::toNativeSeparators(folder + QStringLiteral("/sheet1.png")));

    // On a printer: pages of 4, then of 1.
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QStringLiteral("4"));
    QCOMPARE(pdfPages(printPdf(dialog, QStringLiteral("four.pdf"))), 2);
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QStringLiteral("1"));
    QCOMPARE(pdfPages(printPdf(dialog, QStringLiteral("one.pdf"))), 6);
    // Nothing printable: no items per page.
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QString());
    QVERIFY(!QFile::exists(printPdf(dialog, QStringLiteral("none.pdf"))));
}

void tst_PrintDialog::existingFilesAreKeptUnlessAgreed()
{
    useProject(project(m_six));
    const QString folder = m_dir.filePath(QStringLiteral("existing"));
    QVERIFY(QDir().mkpath(folder));
    const QString first = folder + QStringLiteral("/sheet1.png");
    QFile f(first);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("mine");
    f.close();

    PrintDialog dialog;
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QStringLiteral("3"));
    child<QRadioButton>(dialog, "thumbnailsAfterCurrentScreenRadioButton")->setChecked(true);
    child<QCheckBox>(dialog, "chBoxPrintToFile")->setChecked(true);
    test::ModalAnswerer answers;
    answers.answerFile(folder + QStringLiteral("/sheet.png"));
    answers.answerBox(QMessageBox::No);
    child<QPushButton>(dialog, "printButton")->click();
    QCOMPARE(answers.boxes().size(), 1);
    QVERIFY(answers.boxes().first().contains(QLatin1String("sheet1.png")));
    QCOMPARE(answers.seen().last().defaultButton, QMessageBox::No);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("mine"));
    f.close();
    QVERIFY(!QFile::exists(folder + QStringLiteral("/sheet2.png")));

    answers.clear();
    answers.answerFile(folder + QStringLiteral("/sheet.png"));
    answers.answerBox(QMessageBox::Yes);
    child<QPushButton>(dialog, "printButton")->click();
    QCOMPARE(QImage(first).size(), paperSize());
    QCOMPARE(QImage(folder + QStringLiteral("/sheet2.png")).size(), paperSize());
    QCOMPARE(child<QLabel>(dialog, "printStatusLabel")->text(),
             "Saved 2 pages: " + QDir::toNativeSeparators(first) + " and the following numbers");
}

void tst_PrintDialog::currentScreen()
{
    useProject(project(m_six));
    PrintDialog dialog;
    QImage red(200, 100, QImage::Format_RGB32);
    red.fill(Qt::red);
    dialog.setCurScreen(red);
    QCOMPARE(child<QLabel>(dialog, "lblThumbsNumber")->text(), QStringLiteral("1"));
    const QString folder = m_dir.filePath(QStringLiteral("screen"));
    QVERIFY(QDir().mkpath(folder));
    child<QCheckBox>(dialog, "chBoxPrintToFile")->setChecked(true);
    test::ModalAnswerer answers;
    answers.answerFile(folder + QStringLiteral("/s.png"));
    child<QPushButton>(dialog, "printButton")->click();
    QImage page(folder + QStringLiteral("/s1.png"));
    const QSize paper = paperSize();
    QCOMPARE(page.size(), paper);
    // At its own size, centred.
    const QPoint centre(paper.width() / 2, paper.height() / 2);
    QVERIFY(near(page.pixelColor(centre), Qt::red));
    QVERIFY(near(page.pixelColor(centre + QPoint(95, 45)), Qt::red));
    QCOMPARE(page.pixelColor(centre + QPoint(110, 0)), QColor(Qt::white));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/s2.png")));

    // Fitted to the page: the whole width.
    child<QCheckBox>(dialog, "fitToScreen")->setChecked(true);
    answers.answerFile(folder + QStringLiteral("/fit.png"));
    answers.answerBox(QMessageBox::Yes);
    child<QPushButton>(dialog, "printButton")->click();
    page = QImage(folder + QStringLiteral("/fit1.png"));
    QVERIFY(near(page.pixelColor(2, centre.y()), Qt::red));
    QVERIFY(near(page.pixelColor(paper.width() - 3, centre.y()), Qt::red));
    QCOMPARE(page.pixelColor(centre.x(), 2), QColor(Qt::white));
    QCOMPARE(pdfPages(printPdf(dialog, QStringLiteral("screen.pdf"))), 1);
}

void tst_PrintDialog::manyFramesArePrintedPageByPage()
{
    useProject(project(m_sixty));
    test::ModalAnswerer answers;
    answers.answerBox(QMessageBox::Yes);
    PrintDialog dialog;
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QStringLiteral("25"));
    child<QRadioButton>(dialog, "thumbnailsAfterCurrentScreenRadioButton")->setChecked(true);
    QCOMPARE(answers.boxes().size(), 1);
    QVERIFY(answers.boxes().first().startsWith(
        QLatin1String("Save to file: You are saving more than 50 frames as image files on your machine.")));
    QCOMPARE(child<QLabel>(dialog, "lblThumbsNumber")->text(), QStringLiteral("60"));
    // The same choice again asks no more.
    child<QCheckBox>(dialog, "fitToScreen")->setChecked(true);
    QCOMPARE(answers.boxes().size(), 1);
    QCOMPARE(pdfPages(printPdf(dialog, QStringLiteral("sixty.pdf"))), 3);

    const QString folder = m_dir.filePath(QStringLiteral("sixty"));
    QVERIFY(QDir().mkpath(folder));
    child<QCheckBox>(dialog, "chBoxPrintToFile")->setChecked(true);
    answers.answerFile(folder + QStringLiteral("/p.png"));
    child<QPushButton>(dialog, "printButton")->click();
    QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"p1.png", "p2.png", "p3.png"}));
    // Page 1: frames 0-24 (red, then lime from frame 20); page 3: frames
    // 50-59, blue, in a grid of 3 x 4.
    QImage page(folder + QStringLiteral("/p1.png"));
    QVector<QRect> cells = PrintDialog::gridCells(page.size(), 25);
    QVERIFY(near(page.pixelColor(cells.at(0).center()), Qt::red));
    QVERIFY(near(page.pixelColor(cells.at(24).center()), Qt::green));
    page = QImage(folder + QStringLiteral("/p3.png"));
    cells = PrintDialog::gridCells(page.size(), 10);
    QVERIFY(near(page.pixelColor(cells.at(9).center()), Qt::blue));
}

void tst_PrintDialog::declinedFramesGiveNothing()
{
    useProject(project(m_sixty));
    test::ModalAnswerer answers;
    answers.answerBox(QMessageBox::No);
    PrintDialog dialog;
    child<QRadioButton>(dialog, "thumbnailsBeforeCurrentScreenRadioButton")->setChecked(true);
    // Before frame 0: no frames at all, no question.
    QCOMPARE(child<QLabel>(dialog, "lblThumbsNumber")->text(), QStringLiteral("0"));
    child<QRadioButton>(dialog, "thumbnailsAfterCurrentScreenRadioButton")->setChecked(true);
    QCOMPARE(answers.boxes().size(), 1);
    QCOMPARE(child<QLabel>(dialog, "lblThumbsNumber")->text(), QStringLiteral("0"));
    child<QLineEdit>(dialog, "itemsLineEdit")->setText(QStringLiteral("2"));
    QCOMPARE(answers.boxes().size(), 1);
    QVERIFY(answers.unexpected().isEmpty());
}

void tst_PrintDialog::printerThatCannotStart()
{
    PrintDialog dialog;
    QImage red(20, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    dialog.setCurScreen(red);
    QPrinter pdf(QPrinter::ScreenResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(m_dir.filePath(QStringLiteral("no/such/folder/out.pdf")));
    QVERIFY(!dialog.printTo(&pdf));
    QCOMPARE(child<QLabel>(dialog, "printStatusLabel")->text(), QStringLiteral("Printing could not start."));
}

void tst_PrintDialog::noPrinterInstalled()
{
    if (!QPrinterInfo::availablePrinters().isEmpty())
        QSKIP("a printer is installed here");
    PrintDialog dialog;
    QCOMPARE(child<QComboBox>(dialog, "printerComboBox")->count(), 0);
    QCOMPARE(child<QComboBox>(dialog, "pageSizeComboBox")->count(), 0);
    test::ModalAnswerer answers;
    answers.answerBox(QMessageBox::Ok);
    child<QPushButton>(dialog, "printButton")->click();
    QCOMPARE(answers.boxes(), QStringList{"Print: There is no printer installed."});
}

QTEST_MAIN(tst_PrintDialog)
#include "tst_PrintDialog.moc"
