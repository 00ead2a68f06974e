#include "dialogs/OptionsDialog.h"

#include "core/Options.h"
#include "core/PathType.h"

#include "ui_OptionsDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QToolTip>

namespace TW {

namespace {

OptionsDialog::CustomSizeAction &customSizeAction()
{
    static OptionsDialog::CustomSizeAction action;
    return action;
}

} // namespace

class OptionsDialog::Impl
{
public:
    explicit Impl(OptionsDialog *dialog) : owner(dialog)
    {
        working.detachFromFile();
        if (Options::instance())
            working = *Options::instance();
    }

    struct FolderRow
    {
        QLineEdit *field;
        PathType kind;
    };

    // In the order Save stores them.
    QList<FolderRow> folderRows() const
    {
        return {{form.pathExportLineEdit, ExportFolder},     {form.pathTempLineEdit, TempFolder},
                {form.pathOpenLineEdit, OpenProjectFolder},  {form.pathRippingLineEdit, RippingFolder},
                {form.pathSaveLineEdit, SaveProjectFolder}, {form.pathSnifferLineEdit, SnifferFolder}};
    }

    void addAspectEntries()
    {
        QComboBox *list = form.aspectRatioComboBox;
        list->addItem(OptionsDialog::tr("16:9"), int(Options::AspectRatio16x9));
        list->addItem(OptionsDialog::tr("4:3"), int(Options::AspectRatio4x3));
        list->addItem(OptionsDialog::tr("Same as original"), int(Options::AspectRatioOriginal));
        list->addItem(OptionsDialog::tr("Custom"), int(Options::AspectRatioCustom));
    }

    // The form sets the two check boxes side by side; here they stand one
    // above the other at the end of the row.
    void stackCheckBoxes()
    {
        QHBoxLayout *row = form.horizontalLayout;
        for (QSpacerItem *spacer : {form.horizontalSpacer_2, form.horizontalSpacer_3}) {
            row->removeItem(spacer);
            delete spacer;
        }
        row->removeWidget(form.generalTopCheckBox);
        row->removeWidget(form.clearCacheCheckbox);
        auto *boxes = new QVBoxLayout;
        boxes->addWidget(form.generalTopCheckBox);
        boxes->addWidget(form.clearCacheCheckbox);
        row->addLayout(boxes);
    }

    void fillWidgets()
    {
        QComboBox *list = form.aspectRatioComboBox;
        list->setCurrentIndex(list->findData(int(working.getDefaultAspectRatio())));
        for (const FolderRow &row : folderRows())
            row.field->setText(working.getPath(row.kind));
        form.generalTopCheckBox->setChecked(working.getAlwaysOnTop());
        form.clearCacheCheckbox->setChecked(working.getClearCacheOnExit());
    }

    void browse(QLineEdit *field, const QString &title)
    {
        QFileDialog folders(owner);
        folders.setDirectory(field->text());
        folders.setAcceptMode(QFileDialog::AcceptOpen);
        folders.setFileMode(QFileDialog::Directory);
        folders.setWindowTitle(title);
        // The application's setting, not the unsaved box of this dialog.
        if (Options::instance() && Options::instance()->getAlwaysOnTop())
            folders.setWindowFlags(folders.windowFlags() | Qt::WindowStaysOnTopHint);
        if (folders.exec() != QDialog::Accepted || folders.selectedFiles().isEmpty())
            return;
        field->setText(QDir::toNativeSeparators(folders.selectedFiles().first()));
    }

    // Every folder field usable; else the first that is not is shown with
    // its complaint.
    bool foldersUsable()
    {
        for (const FolderRow &row : folderRows()) {
            const QString problem = OptionsDialog::folderProblem(row.field->text().trimmed());
            if (problem.isEmpty())
                continue;
            row.field->setFocus();
            QToolTip::showText(row.field->mapToGlobal(QPoint(0, row.field->height())), problem, row.field);
            return false;
        }
        return true;
    }

    OptionsDialog *owner;
    Ui_OptionsDialog form;
    Options working;
    bool customSizeChosen = false;
};

OptionsDialog::OptionsDialog(QWidget *parent) : QDialog(parent), d(std::make_unique<Impl>(this))
{
    d->form.setupUi(this);
    d->addAspectEntries();
    d->stackCheckBoxes();
    d->fillWidgets();

    const Ui_OptionsDialog &f = d->form;
    connect(f.pathSaveToolButton, &QToolButton::clicked, this, &OptionsDialog::browseSaveFolderClicked);
    connect(f.pathOpenToolButton, &QToolButton::clicked, this, &OptionsDialog::browseOpenFolderClicked);
    connect(f.pathRippingToolButton, &QToolButton::clicked, this, &OptionsDialog::browseRippingFolderClicked);
    connect(f.pathExportToolButton, &QToolButton::clicked, this, &OptionsDialog::browseExportFolderClicked);
    connect(f.pathSnifferToolButton, &QToolButton::clicked, this, &OptionsDialog::browseSnifferFolderClicked);
    connect(f.pathTempToolButton, &QToolButton::clicked, this, &OptionsDialog::browseTempFolderClicked);
    connect(f.savePushButton, &QPushButton::clicked, this, &OptionsDialog::Accept);
    connect(f.defaultPushButton, &QPushButton::clicked, this, &OptionsDialog::OnDefault);
    connect(f.cancelPushButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(f.aspectRatioComboBox, &QComboBox::activated, this, &OptionsDialog::aspectRatioChanged);

    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowFlags((windowFlags() & ~Qt::WindowMinimizeButtonHint) | Qt::CustomizeWindowHint);
    setMaximumHeight(QWIDGETSIZE_MAX);
    setMinimumHeight(0);
    resize(minimumSizeHint());
    setFixedHeight(300);
    setFixedWidth(width());
}

OptionsDialog::~OptionsDialog() = default;

void OptionsDialog::setCustomSizeAction(CustomSizeAction action) { customSizeAction() = std::move(action); }

QString OptionsDialog::folderProblem(const QString &folder)
{
    if (folder.isEmpty())
        return tr("Please enter a folder.");
    const QFileInfo info(folder);
    if (!info.isAbsolute())
        return tr("Please enter the whole path of the folder.");
    if (info.exists() && !info.isDir())
        return tr("This is a file, not a folder.");
    if (!info.exists() && !QDir().mkpath(folder))
        return tr("This folder cannot be made.");
    if (!QFileInfo(folder).isWritable())
        return tr("This folder cannot be written to.");
    return QString();
}

void OptionsDialog::browseSaveFolderClicked() { d->browse(d->form.pathSaveLineEdit, tr("Save Project Folder")); }

void OptionsDialog::browseOpenFolderClicked()
{
    d->browse(d->form.pathOpenLineEdit, tr("Video Open/Project Open Folder"));
}

void OptionsDialog::browseRippingFolderClicked() { d->browse(d->form.pathRippingLineEdit, tr("Ripping Folder")); }

void OptionsDialog::browseExportFolderClicked() { d->browse(d->form.pathExportLineEdit, tr("Exporting Folder")); }

void OptionsDialog::browseSnifferFolderClicked()
{
    d->browse(d->form.pathSnifferLineEdit, tr("Sniffer Files Folder"));
}

void OptionsDialog::browseTempFolderClicked() { d->browse(d->form.pathTempLineEdit, tr("Temp Files Folder")); }

void OptionsDialog::Accept()
{
    if (!d->foldersUsable())
        return;
    for (const Impl::FolderRow &row : d->folderRows())
        d->working.setPath(row.kind, QDir::cleanPath(row.field->text().trimmed()));
    d->working.setLastPath(RippingFolder, d->working.getPath(RippingFolder));
    const QVariant aspect = d->form.aspectRatioComboBox->currentData();
    d->working.setDefaultAspectRatio(
        aspect.isValid() ? Options::AspectRatioType(aspect.toInt()) : Options::AspectRatio16x9);
    d->working.setAlwaysOnTop(d->form.generalTopCheckBox->isChecked());
    d->working.setClearCacheOnExit(d->form.clearCacheCheckbox->isChecked());
    if (Options *options = Options::instance()) {
        // A custom size chosen through "Custom" while this dialog was open
        // is already the application's; Save keeps it.
        if (d->customSizeChosen)
            d->working.setSizeCustom(options->getSizeCustom());
        *options = d->working;
    }
    accept();
}

void OptionsDialog::OnDefault()
{
    const auto answer = QMessageBox::question(this, tr("Default options"),
                                              tr("Do you want to reset to default settings?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    d->working.loadFromFile(false);
    d->customSizeChosen = false;
    d->fillWidgets();
}

void OptionsDialog::aspectRatioChanged()
{
    if (d->form.aspectRatioComboBox->currentData().toInt() != int(Options::AspectRatioCustom))
        return;
    if (customSizeAction()) {
        customSizeAction()();
        d->customSizeChosen = true;
    }
}

} // namespace TW
