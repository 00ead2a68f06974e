#include "dialogs/AboutDialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace TW {

namespace {

constexpr int BuildNumber = 806;
QUrl &websiteUrl()
{
    static QUrl url;
    return url;
}

QUrl &helpDeskUrl()
{
    static QUrl url;
    return url;
}

QLabel *linkLabel(const QUrl &url, const QString &text)
{
    const QString href = url.toString(QUrl::FullyEncoded).toHtmlEscaped();
    auto *label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(href, text.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(true);
    return label;
}

QHBoxLayout *linkRow(const QString &caption, const QUrl &url, const QString &text)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(caption));
    if (url.isValid())
        row->addWidget(linkLabel(url, text));
    row->addStretch();
    return row;
}

} // namespace

class AboutDialog::Impl
{
public:
    explicit Impl(AboutDialog *dialog) : owner(dialog) {}

    void createUI()
    {
        auto *layout = new QVBoxLayout(owner);
        layout->addWidget(new QLabel(AboutDialog::versionText()));
        layout->addStretch();
        layout->addLayout(linkRow(AboutDialog::tr("Website: "), websiteUrl(), AboutDialog::tr("User guide")));
        layout->addLayout(linkRow(AboutDialog::tr("Help Desk: "), helpDeskUrl(), AboutDialog::tr("Help desk page")));
        layout->addStretch();
        auto *notice = new QLabel(AboutDialog::tr(
            "This program is free software. It comes with no warranty, to the extent permitted by law. "
            "Its libraries and the programs it runs keep their own licences."));
        notice->setWordWrap(true);
        layout->addWidget(notice);
        layout->addStretch();
        auto *ok = new QPushButton(AboutDialog::tr("OK"));
        layout->addWidget(ok, 1, Qt::AlignHCenter);
        QObject::connect(ok, &QPushButton::clicked, owner, &QDialog::accept);
    }

    AboutDialog *owner;
};

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent), d(std::make_unique<Impl>(this))
{
    d->createUI();
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(tr("About %1").arg(QCoreApplication::applicationName()));
    setFixedSize(405, 280);
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::versionText()
{
    return QStringLiteral("%1 Version: %2.0.0.%3")
        .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion())
        .arg(BuildNumber);
}

void AboutDialog::setLinks(const QUrl &website, const QUrl &helpDesk)
{
    websiteUrl() = website;
    helpDeskUrl() = helpDesk;
}

} // namespace TW
