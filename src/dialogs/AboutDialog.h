#pragma once

#include <QDialog>
#include <QUrl>

#include <memory>

namespace TW {

// The About box: the application's name, version and build number, links
// to the website and the help desk, a legal notice and OK.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    // "<name> Version: <version>.0.0.<build>".
    static QString versionText();

    // Where the two links lead; set once by the application before the box
    // is first shown. Without them the links are left out.
    static void setLinks(const QUrl &website, const QUrl &helpDesk);

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
