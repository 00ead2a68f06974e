#pragma once

#include <QApplication>
#include <memory>

namespace TW {

class MainController;

// The application object: sets the names the settings and logs depend on,
// loads the settings, applies the style sheet and owns the main controller.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    ~Application() override;

    // The one application object; null before it is built and after it is gone.
    static Application *instance();

    MainController *getMainController() const;

    // True when the default screen is 800 pixels high or less; the main window
    // and its panels then use compact layouts.
    bool isLowResolution() const;
    // The same test usable before an application object exists (false
    // without a screen).
    static bool isLowResolutionScreen();
    // The rule itself, for a screen height in pixels.
    static bool isLowResolutionHeight(int screenHeight);

    // The style sheet text of a resource: read whole, taken up to the first
    // NUL byte; empty when the resource is missing.
    static QString readStyleSheet(const QString &resource);

    // The folder of the program's own Qt plugins: "Plugins" beside the
    // executable (never the working folder, which may hold anything).
    static QString pluginFolder();
    // Adds pluginFolder() to Qt's library paths (when it exists).
    static void addPluginFolder();

    // Moves the window to (100, 100) when its top-left corner lies beyond the
    // right or bottom edge of the available area. Returns whether it moved.
    static bool bringBackOnScreen(QWidget *window, const QRect &available);

protected:
    bool event(QEvent *e) override;

private:
    struct ApplicationImpl;
    std::unique_ptr<ApplicationImpl> d;
};

} // namespace TW
