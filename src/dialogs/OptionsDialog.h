#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace TW {

// The application settings on one page: the default aspect ratio, always on
// top, clearing unused converted files on closing, and six working folders.
// The dialog edits a working copy of the settings; Save checks the folders
// (each must be given and usable: made when missing, a writable folder),
// then hands the whole copy to the application's settings. Cancel drops it.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // What choosing "Custom" in the aspect list runs at once (the custom
    // size dialog and its frame-size change); installed by the application.
    using CustomSizeAction = std::function<void()>;
    static void setCustomSizeAction(CustomSizeAction action);

    // Why a folder cannot be used, or an empty text when it can (it is made
    // when missing).
    static QString folderProblem(const QString &folder);

private slots:
    void browseSaveFolderClicked();
    void browseOpenFolderClicked();
    void browseRippingFolderClicked();
    void browseExportFolderClicked();
    void browseSnifferFolderClicked();
    void browseTempFolderClicked();
    void Accept();
    void OnDefault();
    void aspectRatioChanged();

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
