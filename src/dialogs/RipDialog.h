#pragma once

#include <QDialog>
#include <QPair>
#include <QStringList>

#include <memory>

namespace TW {

// "Rip DVD Files": the user picks DVD video files (".vob") in an embedded
// file chooser that starts on an optical disc when one is mounted, the
// container of the converted files and the folder they go to, and may
// preview the first chosen file with ffplay. The conversion itself is the
// caller's (ConvertProgressDialog).
class RipDialog : public QDialog
{
    Q_OBJECT

public:
    explicit RipDialog(QWidget *parent = nullptr);
    ~RipDialog() override;

    // The chosen sources in the chooser's order and, at the same index, the
    // file to make of each; both empty unless the dialog was accepted.
    QPair<QStringList, QStringList> getRipInfo() const;

    // The root folder of the first mounted optical disc (iso9660 or udf, or
    // a /dev/sr* device), or an empty text.
    static QString opticalDiscFolder();
    // The output of one source: folder, separator, the source's name
    // without its last suffix, ".", suffix; native separators.
    static QString outputFor(const QString &source, const QString &folder, const QString &suffix);

private slots:
    void previewBtnClicked();
    void fileSelected(int result);
    void browseClicked();

private:
    class RipDialogImpl;
    std::unique_ptr<RipDialogImpl> d;
};

} // namespace TW
