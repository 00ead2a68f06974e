#pragma once

#include <QSet>
#include <QString>

namespace TW {

struct ControllerContext;

// The open project as a file: opening a file (a project or a media file),
// saving, saving under a new name, asking about unsaved changes before a
// close, the recent files, the window title, and the conversion cache of
// what no project uses any more.
class ProjectSession
{
public:
    explicit ProjectSession(ControllerContext &context);

    void openFile(const QString &name);
    void saveCurrentProject();
    void saveCurrentProjectAs();
    // Asks about unsaved changes before the window closes: Save (closes
    // once written), Discard or Cancel. True when the window may close.
    bool confirmClose();
    // Removes the cached conversion of the file at path, unless the open
    // project plays it.
    void clearCachedData(const QString &path);
    // Removes the conversions that no project uses.
    void clearVideoCache();

private:
    void setWindowTitle();
    void resetWindowView();
    void copyTrackFlags();
    void openSucceeded(const QString &fileName);
    void openFailed();
    bool saveProject(const QString &path);
    bool saveProjectAs();
    QSet<QString> filesOfOpenProject() const;
    bool importRunning() const;

    ControllerContext &c;
};

} // namespace TW
