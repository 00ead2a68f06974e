#include "dialogs/RipDialog.h"

#include "core/Options.h"
#include "core/PathType.h"
#include "core/Util.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QUrl>
#include <QVBoxLayout>

namespace TW {

namespace {

QHBoxLayout *row()
{
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(10, 5, 10, 5);
    return layout;
}

QLabel *rowLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    return label;
}

QString rippingFolder()
{
    const Options *options = Options::instance();
    if (!options)
        return QDir::homePath();
    const QString last = options->getLastPath(RippingFolder);
    return last.isEmpty() ? options->getPath(RippingFolder) : last;
}

// Where removable discs are mounted on this system, for the chooser's sidebar.
QList<QUrl> mountFolders()
{
    QList<QUrl> urls;
    const QString user = qEnvironmentVariable("USER");
    QStringList places;
    if (!user.isEmpty())
        places << QStringLiteral("/media/") + user << QStringLiteral("/run/media/") + user;
    places << QStringLiteral("/media");
    for (const QString &place : places) {
        if (QFileInfo(place).isDir())
            urls << QUrl::fromLocalFile(place);
    }
    return urls;
}

} // namespace

class RipDialog::RipDialogImpl
{
public:
    explicit RipDialogImpl(RipDialog *dialog) : owner(dialog)
    {
        createMembers();
        setupUI();
        setupComponents();
        QObject::connect(previewButton, &QPushButton::clicked, owner, &RipDialog::previewBtnClicked);
        QObject::connect(chooser, &QFileDialog::finished, owner, &RipDialog::fileSelected);
        QObject::connect(browseButton, &QPushButton::clicked, owner, &RipDialog::browseClicked);
    }

    void createMembers()
    {
        chooser = new QFileDialog(nullptr, QString(), QString(), QString());
        chooser->setObjectName(QStringLiteral("ripFileChooser"));
        previewButton = new QPushButton;
        formatList = new QComboBox;
        formatList->setObjectName(QStringLiteral("ripFormatList"));
        destinationField = new QLineEdit;
        destinationField->setObjectName(QStringLiteral("ripDestination"));
        browseButton = new QPushButton(QStringLiteral("..."));
    }

    void setupUI()
    {
        auto *layout = new QVBoxLayout(owner);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(chooser);
        QHBoxLayout *format = row();
        format->addWidget(rowLabel(RipDialog::tr("Save as:")));
        format->addWidget(formatList);
        layout->addLayout(format);
        QHBoxLayout *destination = row();
        destination->addWidget(rowLabel(RipDialog::tr("Save to:")));
        destination->addWidget(destinationField);
        destination->addWidget(browseButton);
        layout->addLayout(destination);
        QHBoxLayout *preview = row();
        preview->addWidget(previewButton);
        preview->addStretch();
        layout->addLayout(preview);
    }

    void setupComponents()
    {
        previewButton->setText(RipDialog::tr("Preview"));
        formatList->addItem(RipDialog::tr("MPEG-4 Video (.mp4)"), QStringLiteral("mp4"));
        formatList->addItem(RipDialog::tr("Quick time video (.mov)"), QStringLiteral("mov"));
        formatList->setCurrentIndex(0);

        // The embedded chooser is Qt's own widget, so that it can sit inside
        // this dialog and its buttons serve as the dialog's.
        chooser->setOption(QFileDialog::DontUseNativeDialog, true);
        chooser->setWindowFlags(Qt::Widget);
        chooser->setSizeGripEnabled(false);
        chooser->setNameFilter(RipDialog::tr("DVD Video Files (*.vob)"));
        chooser->setFileMode(QFileDialog::ExistingFiles);
        chooser->setAcceptMode(QFileDialog::AcceptOpen);
        chooser->setSidebarUrls(chooser->sidebarUrls() + mountFolders());
        for (const char *name : {"fileTypeCombo", "fileTypeLabel"}) {
            if (QWidget *w = chooser->findChild<QWidget *>(QLatin1String(name)))
                w->hide();
        }
        setInitialDir();

        owner->setSizeGripEnabled(true);
        owner->setWindowTitle(RipDialog::tr("Rip DVD Files"));
        owner->setMinimumSize(600, 400);
        owner->resize(600, 400);
        destinationField->setText(QDir::toNativeSeparators(initBrowsePath()));
    }

    void setInitialDir()
    {
        QString start = RipDialog::opticalDiscFolder();
        if (start.isEmpty())
            start = rippingFolder();
        chooser->setDirectory(start);
    }

    QString initBrowsePath() const
    {
        const QString typed = destinationField->text();
        return typed.isEmpty() ? rippingFolder() : typed;
    }

    void collectRipInfo()
    {
        ripInfo.first = chooser->selectedFiles();
        ripInfo.second.clear();
        if (ripInfo.first.isEmpty())
            return;
        const QString suffix = formatList->currentData().toString();
        const QString folder = initBrowsePath();
        for (const QString &source : std::as_const(ripInfo.first))
            ripInfo.second << RipDialog::outputFor(source, folder, suffix);
    }

    RipDialog *owner;
    QFileDialog *chooser = nullptr;
    QPushButton *previewButton = nullptr;
    QComboBox *formatList = nullptr;
    QLineEdit *destinationField = nullptr;
    QPushButton *browseButton = nullptr;
    QPair<QStringList, QStringList> ripInfo;
};

RipDialog::RipDialog(QWidget *parent) : QDialog(parent), d(std::make_unique<RipDialogImpl>(this))
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

RipDialog::~RipDialog() = default;

QPair<QStringList, QStringList> RipDialog::getRipInfo() const { return d->ripInfo; }

QString RipDialog::opticalDiscFolder()
{
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QByteArray type = volume.fileSystemType().toLower();
        if (type == "iso9660" || type == "udf" || volume.device().startsWith("/dev/sr"))
            return volume.rootPath();
    }
    return QString();
}

QString RipDialog::outputFor(const QString &source, const QString &folder, const QString &suffix)
{
    return QDir::toNativeSeparators(folder + QDir::separator() + QFileInfo(source).completeBaseName()
                                    + QLatin1Char('.') + suffix);
}

void RipDialog::previewBtnClicked()
{
    const QStringList selected = d->chooser->selectedFiles();
    if (selected.isEmpty() || !QFileInfo(selected.first()).isFile())
        return;
    Util::playWithFFplay(selected.first());
}

void RipDialog::fileSelected(int result)
{
    if (result == QDialog::Accepted)
        d->collectRipInfo();
    done(result);
}

void RipDialog::browseClicked()
{
    QFileDialog folders(this, tr("Select directory"), d->initBrowsePath());
    folders.setAcceptMode(QFileDialog::AcceptOpen);
    folders.setFileMode(QFileDialog::Directory);
    if (Options::instance() && Options::instance()->getAlwaysOnTop())
        folders.setWindowFlags(folders.windowFlags() | Qt::WindowStaysOnTopHint);
    if (folders.exec() != QDialog::Accepted || folders.selectedFiles().isEmpty())
        return;
    const QString folder = folders.selectedFiles().first();
    if (folder.isEmpty())
        return;
    d->destinationField->setText(QDir::toNativeSeparators(folder));
    if (Options::instance())
        Options::instance()->setLastPath(RippingFolder, folder);
}

} // namespace TW
