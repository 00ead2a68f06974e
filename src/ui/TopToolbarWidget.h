#pragma once

#include <QSize>
#include <QStringList>
#include <QWidget>
#include <memory>

class QAction;
class QMenu;
class QPushButton;

namespace TW {

// The strip of image buttons across the top of the main window. It keeps no
// model state: clicks and menu choices become signals.
class TopToolbarWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TopToolbarWidget(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~TopToolbarWidget() override;

    QMenu *getExportMenu() const;
    QMenu *getAspectResizeMenu() const;
    QMenu *getSnifferMenu() const;
    QMenu *getHelpMenu() const;
    // The open button's recent-files menu.
    QMenu *getOpenedFilesMenu() const;
    QPushButton *button(const QString &objectName) const;
    // The keys of the buttons (Open, Save As, Undo, Redo, Bookmark), each an
    // action that clicks its button (nothing while the button is disabled).
    // They act in the toolbar's window; the main window adds them to itself
    // too, so that they still act while the toolbar is collapsed.
    QList<QAction *> shortcutActions() const;

    bool canUndo() const;
    bool canRedo() const;

public slots:
    void setSizeMostRecent(int dx, int dy);
    void setSizeCustom(int dx, int dy);
    void setSizeOriginal(int dx, int dy);
    void setCanUndo(bool enabled);
    void setCanRedo(bool enabled);
    void setOpenedFiles(const QStringList &fileNames);
    // The check mark of the sniffer menu's background entry.
    void setSnifferInBackground(bool on);

signals:
    void openButtonClicked();
    void saveButtonClicked();
    void exportButtonClicked();
    void ripButtonClicked();
    void aspectResizeButtonClicked();
    void snifferButtonClicked();
    void snifferYoutubeButtonClicked();
    // The sniffer menu's background entry was chosen.
    void snifferBackgroundClicked();
    void optionButtonClicked();
    void helpButtonClicked();
    void printerButtonClicked();
    void undoButtonClicked();
    void redoButtonClicked();
    void markerButtonClicked();
    void helpUserGuideClicked();
    void helpQuickStartGuideClicked();
    void helpTrainingVideosClicked();
    void helpHelpDeskClicked();
    void helpAboutClicked();
    void exportEntireVideoClicked();
    void exportCurrentLoopClicked();
    void exportAllLoopsClicked();
    void sizeCustomClicked();
    void sizeMostRecentClicked();
    void sizeOriginalClicked();
    void sizeClicked(QSize size);
    void openFileClicked(QString fileName);
    // The recent-files menu's "Open New Window" entry.
    void newInstanceClicked();

private slots:
    void openBtnRightClicked();
    void openActionTriggered();
    void sizeActionTriggered();
    void newInstanceActionTriggered();

private:
    void connectSignals();

    struct TopToolbarWidgetImpl;
    std::unique_ptr<TopToolbarWidgetImpl> d;
};

} // namespace TW
