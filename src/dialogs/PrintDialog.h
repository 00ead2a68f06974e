#pragma once

#include <QDialog>
#include <QImage>
#include <QPair>
#include <QRect>
#include <QSharedPointer>
#include <QVector>

#include <functional>
#include <memory>

class QPrinter;

namespace TW {

class Media;

// Prints frames of the project, or writes the same pages as PNG files: the
// picture shown when the command was given (the current screen), the frames
// of the selection, or all frames before or after the play position, laid
// out in a grid of a chosen number of frames a page, with a live preview.
//
// Up to FramesInMemory frames are kept as images; a larger choice (after the
// user agreed) is written once as PNG files into a folder of the dialog's
// own and read back one page at a time, so that no pass holds more than a
// page of them.
class PrintDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int FramesInMemory = 50;

    explicit PrintDialog(QWidget *parent = nullptr);
    ~PrintDialog() override;

    void setCurScreen(QImage image);

    // Where the frames come from: the current project, the window's
    // selection (first and last frame, -1 while unset) and play position.
    // Installed once by the application.
    struct ProjectSource
    {
        std::function<QSharedPointer<Media>()> media;
        std::function<QPair<int, int>()> selection;
        std::function<int()> currentFrame;
    };
    static void setProjectSource(ProjectSource source);

    // The print pass on a printer: what Print does on the chosen printer.
    // False when the printer could not be started (told in the status bar).
    bool printTo(QPrinter *printer);

    // The cells of a page of count frames in an area, in row-major order.
    static QVector<QRect> gridCells(const QSize &area, int count);
    // The numbered file of a base name: "sheet.png" and 2 -> "sheet2.png"
    // in the base name's folder.
    static QString incrementedFilename(const QString &baseName, int number);

private slots:
    void printerSelectionChanged(int printerIndex);
    void printOptionsChanged();
    void printPreview(QPrinter *printer);
    void orintationChanged(int orientationIndex);
    void onPrinterPropertiesClicked();
    void onCopyCountChanged();
    void printClicked();

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
