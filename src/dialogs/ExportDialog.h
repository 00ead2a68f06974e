#pragma once

#include "io/ExportOptions.h"

#include <QDialog>

#include <memory>

namespace TW {

// The modal dialog in which the user names an export's output file and
// chooses its type and encoding. It fills one ExportOptions record (read with
// getExportOptions() after exec() returned Accepted) and starts nothing
// itself. It remembers only the folder last used in its save dialog.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExportDialog(QWidget *parent = nullptr);
    ~ExportDialog() override;

    ExportOptions getExportOptions() const;

    // ---- The file name rules ----
    // text with its file-name part's last suffix replaced by extension
    // (folder part kept); empty stays empty.
    static QString replaceExtension(const QString &text, const QString &extension);
    // A name from the save dialog: unchanged when it ends with extension,
    // else with a dot and extension appended.
    static QString ensureExtension(const QString &name, const QString &extension);
    // The output file for the typed text: a relative text goes into folder
    // as its complete base name with the extension; an absolute one stays as
    // typed, with the extension added when it has no suffix at all.
    static QString outputFile(const QString &text, const QString &extension, const QString &folder);

private slots:
    void onOriginalQualityToggled(bool checked);
    void Accept();
    void onOpenFileClicked();
    void fileTypeIndexChanged(int index);

private:
    struct Impl;
    Impl *d;
};

} // namespace TW
