#include "dialogs/ExportDialog.h"

#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/PathType.h"
#include "core/Singleton.h"

#include "ui_ExportDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QFileInfo>
#include <QPushButton>

namespace TW {

namespace {

constexpr int AudioTypeIndex = 5;
constexpr int AppleTypeIndex = 1;

QString exportFolder()
{
    const Options *options = Options::instance();
    if (!options)
        return QDir::homePath();
    const QString last = options->getLastPath(ExportFolder);
    return last.isEmpty() ? options->getPath(ExportFolder) : last;
}

} // namespace

struct ExportDialog::Impl
{
    ExportDialog *owner;
    Ui_ExportDialog form;
    ExportOptions options;

    explicit Impl(ExportDialog *dialog) : owner(dialog) {}

    QList<QWidget *> qualityWidgets() const
    {
        return {form.exportVideoBitrateComboBox, form.exportAudioBitrateComboBox, form.exportVideoSizeComboBox,
                form.exportSampleFrequencyComboBox, form.exportMonoRadioButton, form.exportStereoRadioButton};
    }

    bool audioTypeSelected() const { return form.exportTypeComboBox->currentIndex() == AudioTypeIndex; }

    QString currentExtension() const { return form.exportTypeComboBox->currentData().toString(); }

    void applyEnabling()
    {
        if (audioTypeSelected()) {
            form.exportOriginalQualityCheckBox->setEnabled(false);
            form.exportVideoBitrateComboBox->setEnabled(false);
            form.exportAudioBitrateComboBox->setEnabled(false);
            form.exportVideoSizeComboBox->setEnabled(false);
            form.exportSampleFrequencyComboBox->setEnabled(true);
            form.exportMonoRadioButton->setEnabled(true);
            form.exportStereoRadioButton->setEnabled(true);
            return;
        }
        form.exportOriginalQualityCheckBox->setEnabled(true);
        const bool free = !form.exportOriginalQualityCheckBox->isChecked();
        for (QWidget *w : qualityWidgets())
            w->setEnabled(free);
    }

    void fillLists()
    {
        QComboBox *types = form.exportTypeComboBox;
        types->addItem(ExportDialog::tr("MPEG-4 Video (*.mp4)"), QStringLiteral("mp4"));
        types->addItem(ExportDialog::tr("MPEG-4 Video for iPad/iPhone/iPod Touch (*.mp4)"), QStringLiteral("mp4"));
        types->addItem(ExportDialog::tr("MPEG-1 Video (*.mpg)"), QStringLiteral("mpg"));
        types->addItem(ExportDialog::tr("Quicktime Video (*.mov)"), QStringLiteral("mov"));
        types->addItem(ExportDialog::tr("Flash Video(*.flv)"), QStringLiteral("flv"));
        types->addItem(ExportDialog::tr("PCM Audio(*.wav)"), QStringLiteral("wav"));

        QComboBox *video = form.exportVideoBitrateComboBox;
        video->addItem(ExportDialog::tr("Low (200 kbps)"), 200);
        video->addItem(ExportDialog::tr("Medium (1500 kbps)"), 1500);
        video->addItem(ExportDialog::tr("High (3000 kbps)"), 3000);
        video->addItem(ExportDialog::tr("Super high (6000 kbps)"), 6000);

        QComboBox *audio = form.exportAudioBitrateComboBox;
        audio->addItem(ExportDialog::tr("Low (128k)"), 128);
        audio->addItem(ExportDialog::tr("Medium (192k)"), 192);
        audio->addItem(ExportDialog::tr("High (256k)"), 256);
        audio->addItem(ExportDialog::tr("Super high (320k)"), 320);

        QComboBox *freq = form.exportSampleFrequencyComboBox;
        freq->addItem(ExportDialog::tr("Low (11,025 Hz)"), 11025);
        freq->addItem(ExportDialog::tr("Medium (22,050 Hz)"), 22050);
        freq->addItem(ExportDialog::tr("High (44,100 Hz)"), 44100);

        const OptionsHolder *o = Singleton<OptionsHolder>::instance();
        const QSize current(o->m_videoWidth, o->m_videoHeight);
        const QSize original(o->m_originalvideoWidth, o->m_originalvideoHeight);
        const Options *options = Options::instance();
        const QSize custom = options ? options->getSizeCustom() : QSize(640, 360);
        QComboBox *sizes = form.exportVideoSizeComboBox;
        const auto sized = [](const QString &text, QSize s) { return text.arg(s.width()).arg(s.height()); };
        sizes->addItem(sized(ExportDialog::tr("%1 x %2 - Current"), current), current);
        sizes->addItem(sized(ExportDialog::tr("%1 x %2 - Custom"), custom), custom);
        sizes->addItem(sized(ExportDialog::tr("%1 x %2 - Original"), original), original);
        sizes->addItem(ExportDialog::tr("640 x 360 - Blog, Web"), QSize(640, 360));
        sizes->addItem(ExportDialog::tr("800 x 450 - Vimeo"), QSize(800, 450));
        sizes->addItem(ExportDialog::tr("1280 x 720 - YouTube & HD"), QSize(1280, 720));
        sizes->addItem(ExportDialog::tr("480 x 360 - Blackberry"), QSize(480, 360));
        sizes->addItem(ExportDialog::tr("640 x 480 - Web"), QSize(640, 480));
        sizes->addItem(ExportDialog::tr("800 x 600 - Full screen viewing"), QSize(800, 600));
        sizes->addItem(ExportDialog::tr("480 x 320(3:2) - iPhone/iPad Touch"), QSize(480, 320));
        sizes->addItem(ExportDialog::tr("720 x 480(3:2) - DVD-Ready(NTSC)"), QSize(720, 480));
        sizes->addItem(ExportDialog::tr("720 x 576(5:4) - DVD-Ready(PAL)"), QSize(720, 576));
    }

    void setDefaults()
    {
        const QString suffix = QFileInfo(options.file).suffix().toLower();
        const int type = options.file.isEmpty() ? 0 : form.exportTypeComboBox->findData(suffix);
        form.exportTypeComboBox->setCurrentIndex(type);
        form.exportVideoBitrateComboBox->setCurrentIndex(form.exportVideoBitrateComboBox->findData(options.videoBitrate));
        form.exportAudioBitrateComboBox->setCurrentIndex(form.exportAudioBitrateComboBox->findData(options.audioBitrate));
        form.exportSampleFrequencyComboBox->setCurrentIndex(form.exportSampleFrequencyComboBox->findData(options.freq));
        if (options.stereo)
            form.exportStereoRadioButton->setChecked(true);
        else
            form.exportMonoRadioButton->setChecked(true);
        form.loopsCheckBox->setChecked(options.useLoopCount);
        const OptionsHolder *o = Singleton<OptionsHolder>::instance();
        const QSize current(o->m_videoWidth, o->m_videoHeight);
        form.exportOriginalQualityCheckBox->setChecked(o->m_videoWidth == o->m_originalvideoWidth
                                                       && o->m_videoHeight == o->m_originalvideoHeight);
        form.exportVideoSizeComboBox->setCurrentIndex(form.exportVideoSizeComboBox->findData(current));

        // The check boxes get a row of their own across the whole grid.
        form.gridLayout->removeItem(form.horizontalLayout);
        form.gridLayout->addLayout(form.horizontalLayout, 3, 0, 1, 4);
        form.exportSampleFrequencyComboBox->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    void fillRecord()
    {
        options.audioBitrate = form.exportAudioBitrateComboBox->currentData().toInt();
        options.freq = form.exportSampleFrequencyComboBox->currentData().toInt();
        options.videoBitrate = form.exportVideoBitrateComboBox->currentData().toInt();
        options.audioOnly = audioTypeSelected();
        // The audio type enables the rate and channel choices: they count,
        // so the project's own quality must not replace them.
        options.origQuality = form.exportOriginalQualityCheckBox->isChecked() && !options.audioOnly;
        options.stereo = form.exportStereoRadioButton->isChecked();
        options.useLoopCount = form.loopsCheckBox->isChecked();
        options.appleCompatible = form.exportTypeComboBox->currentIndex() == AppleTypeIndex;
        options.videoSize = options.origQuality ? QSize(-1, -1) : form.exportVideoSizeComboBox->currentData().toSize();
        options.file = outputFile(form.exportFileNameLineEdit->text(), currentExtension(), exportFolder());
    }
};

ExportDialog::ExportDialog(QWidget *parent) : QDialog(parent), d(new Impl(this))
{
    d->form.setupUi(this);
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    connect(d->form.buttonBox, &QDialogButtonBox::accepted, this, &ExportDialog::Accept);
    connect(d->form.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(d->form.pathButton, &QPushButton::clicked, this, &ExportDialog::onOpenFileClicked);
    connect(d->form.exportOriginalQualityCheckBox, &QCheckBox::toggled, this, &ExportDialog::onOriginalQualityToggled);
    d->fillLists();
    d->setDefaults();
    connect(d->form.exportTypeComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ExportDialog::fileTypeIndexChanged);
    d->applyEnabling();
    setWindowFlags((windowFlags() & ~Qt::WindowMinimizeButtonHint) | Qt::CustomizeWindowHint);
    setFixedSize(680, 220);
}

ExportDialog::~ExportDialog()
{
    delete d;
}

ExportOptions ExportDialog::getExportOptions() const
{
    return d->options;
}

void ExportDialog::onOriginalQualityToggled(bool checked)
{
    for (QWidget *w : d->qualityWidgets())
        w->setEnabled(!checked);
}

void ExportDialog::Accept()
{
    QLineEdit *name = d->form.exportFileNameLineEdit;
    if (name->text().isEmpty()) {
        // OK without a name is not taken silently: the field says what it
        // needs and gets the keyboard.
        name->setPlaceholderText(tr("Type a name for the exported file (or choose one with ...)"));
        name->setFocus(Qt::OtherFocusReason);
        return;
    }
    d->fillRecord();
    accept();
}

void ExportDialog::onOpenFileClicked()
{
    const QString filter = d->form.exportTypeComboBox->currentText();
    const QString extension = d->currentExtension();
    QFileDialog dialog(this, tr("Export to..."));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDirectory(exportFolder());
    dialog.selectFile(d->form.exportFileNameLineEdit->text());
    Options *options = Options::instance();
    if (options && options->getAlwaysOnTop())
        dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString name = dialog.selectedFiles().constFirst();
        if (!name.isEmpty())
            d->form.exportFileNameLineEdit->setText(ensureExtension(name, extension));
    }
    if (options)
        options->setLastPath(ExportFolder, dialog.directory().absolutePath());
}

void ExportDialog::fileTypeIndexChanged(int index)
{
    Q_UNUSED(index);
    d->applyEnabling();
    QLineEdit *field = d->form.exportFileNameLineEdit;
    if (!field->text().isEmpty())
        field->setText(replaceExtension(field->text(), d->currentExtension()));
}

QString ExportDialog::replaceExtension(const QString &text, const QString &extension)
{
    if (text.isEmpty())
        return text;
    const int slash = qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QDir::separator()));
    const QString folder = text.left(slash + 1);
    const QString name = text.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    return folder + base + QLatin1Char('.') + extension;
}

QString ExportDialog::ensureExtension(const QString &name, const QString &extension)
{
    return name.endsWith(extension) ? name : name + QLatin1Char('.') + extension;
}

QString ExportDialog::outputFile(const QString &text, const QString &extension, const QString &folder)
{
    const QFileInfo info(text);
    if (info.isRelative()) {
        const QString file = folder + QDir::separator() + info.completeBaseName() + QLatin1Char('.') + extension;
        return QDir::fromNativeSeparators(file);
    }
    QDir().mkpath(info.absolutePath());
    // A name without any suffix would leave the output's format unknown.
    return info.suffix().isEmpty() ? text + QLatin1Char('.') + extension : text;
}

} // namespace TW
