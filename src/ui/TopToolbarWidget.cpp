#include "ui/TopToolbarWidget.h"

#include "ui/ImageStyle.h"
#include "ui/OpenButton.h"

#include <QAbstractButton>
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidgetAction>

namespace TW {

namespace {

struct ToolbarButton
{
    const char *name;
    const char *image;
    // The platform's key for the command, else a fixed key, else none.
    QKeySequence::StandardKey standardKey;
    const char *shortcut;
    const char *accessibleName; // what the image shows, for screen readers
    const char *toolTip;
};

const ToolbarButton kButtons[] = {
    {"openBtn", "open", QKeySequence::Open, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Open"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget",
                       "Open a media file or project; right-click for recent files and a new window")},
    {"saveBtn", "save", QKeySequence::SaveAs, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Save As"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Save the project under a new name")},
    {"exportBtn", "export", QKeySequence::UnknownKey, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Export"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget",
                       "Export the whole recording, the current loop or every loop as a video or audio file")},
    {"ripBtn", "rip", QKeySequence::UnknownKey, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Rip DVD"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Convert the video files of a DVD")},
    {"aspectSizeBtn", "aspect_resize", QKeySequence::UnknownKey, nullptr,
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Output size"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Choose the frame size of the video picture")},
    {"snifferBtn", "sniffer", QKeySequence::UnknownKey, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Sniffer"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget",
                       "Capture videos from the network, or download them from YouTube")},
    {"undoBtn", "undo", QKeySequence::Undo, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Undo"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Undo the last edit")},
    {"redoBtn", "redo", QKeySequence::Redo, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Redo"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Redo the edit last undone")},
    {"markerBtn", "marker", QKeySequence::UnknownKey, "M", QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Bookmark"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Put a bookmark at the play position")},
    {"optionBtn", "Option", QKeySequence::UnknownKey, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Options"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Settings: folders, playback and the cache")},
    {"helpBtn", "help", QKeySequence::UnknownKey, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Help"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "The user guide and information about Tarnwell")},
    {"printerBtn", "printer", QKeySequence::UnknownKey, nullptr, QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Print"),
     QT_TRANSLATE_NOOP("TW::TopToolbarWidget", "Print a sheet of pictures from the recording")},
};

// The platform's keys for the command, else the fixed key. Redo takes both
// Ctrl+Shift+Z and Ctrl+Y on every platform.
QList<QKeySequence> buttonKeys(const ToolbarButton &button)
{
    QList<QKeySequence> keys;
    if (button.standardKey != QKeySequence::UnknownKey)
        keys = QKeySequence::keyBindings(button.standardKey);
    if (button.standardKey == QKeySequence::Redo) {
        for (const QKeySequence &k : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
            if (!keys.contains(k))
                keys << k;
        }
    }
    if (keys.isEmpty() && button.shortcut)
        keys << QKeySequence(QString::fromLatin1(button.shortcut));
    return keys;
}

QLabel *piece(QWidget *parent, const QString &name, const QString &image, int width)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setStyleSheet(QStringLiteral("min-width: %1px; max-width: %1px; min-height: 63px; max-height: 63px;"
                                    "padding: 0; border: 0; background-image: url(:/gui/%2);")
                         .arg(width)
                         .arg(image));
    l->setFixedSize(width, 63);
    l->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    return l;
}

} // namespace

struct TopToolbarWidget::TopToolbarWidgetImpl
{
    explicit TopToolbarWidgetImpl(TopToolbarWidget *owner) : q(owner)
    {
        // Help menu.
        helpUserGuide = new QAction(TopToolbarWidget::tr("User Guide"), q);
        helpQuickStart = new QAction(TopToolbarWidget::tr("Quick Start Guide"), q);
        helpTraining = new QAction(TopToolbarWidget::tr("Training Videos"), q);
        helpDesk = new QAction(TopToolbarWidget::tr("Help Desk"), q);
        helpAbout = new QAction(TopToolbarWidget::tr("About"), q);
        helpMenu = new QMenu(q);
        helpMenu->addAction(helpUserGuide);
        helpMenu->addAction(helpQuickStart);
        helpMenu->addAction(helpTraining);
        helpMenu->addAction(helpDesk);
        helpMenu->addSeparator();
        helpMenu->addAction(helpAbout);

        // Export menu.
        exportEntire = new QAction(TopToolbarWidget::tr("Export Entire Video"), q);
        exportCurrent = new QAction(TopToolbarWidget::tr("Export Current Loop"), q);
        exportAll = new QAction(TopToolbarWidget::tr("Export All Loops"), q);
        exportMenu = new QMenu(q);
        exportMenu->addAction(exportEntire);
        exportMenu->addAction(exportCurrent);
        exportMenu->addAction(exportAll);

        // Size menu: three variable rows, then three groups of presets.
        sizeMenu = new QMenu(q);
        sizeMostRecent = new QAction(TopToolbarWidget::tr("640 x 360\tMost recent"), q);
        sizeCustom = new QAction(TopToolbarWidget::tr("640 x 360\tCustom"), q);
        sizeOriginal = new QAction(TopToolbarWidget::tr("640 x 360\tOriginal"), q);
        sizeMenu->addAction(sizeMostRecent);
        sizeMenu->addAction(sizeCustom);
        sizeMenu->addAction(sizeOriginal);
        addHeader(QStringLiteral("Widescreen (16:9)"));
        addPreset(TopToolbarWidget::tr("640 x 360\tBlog, Web"), QSize(640, 360));
        addPreset(TopToolbarWidget::tr("800 x 450\tVimeo"), QSize(800, 450));
        addPreset(TopToolbarWidget::tr("1280 x 720\tYouTube & HD"), QSize(1280, 720));
        addHeader(QStringLiteral("Standard (4:3)"));
        addPreset(TopToolbarWidget::tr("480 x 360\tBlackberry"), QSize(480, 360));
        addPreset(TopToolbarWidget::tr("640 x 480\tWeb"), QSize(640, 480));
        addPreset(TopToolbarWidget::tr("800 x 600\tFull screen viewing"), QSize(800, 600));
        addHeader(QStringLiteral("Other"));
        addPreset(TopToolbarWidget::tr("480 x 320(3:2)\tiPhone/iPad Touch"), QSize(480, 320));
        addPreset(TopToolbarWidget::tr("720 x 480(3:2)\tDVD-Ready(NTSC)"), QSize(720, 480));
        addPreset(TopToolbarWidget::tr("720 x 576(5:4)\tDVD-Ready(PAL)"), QSize(720, 576));

        recentMenu = new QMenu(q);

        // The sniffer menu owns its actions and has no parent widget.
        snifferMenu = new QMenu;
        snifferMain = new QAction(TopToolbarWidget::tr("Main Sniffer"), snifferMenu);
        snifferYoutube = new QAction(TopToolbarWidget::tr("YouTube Sniffer"), snifferMenu);
        snifferMenu->addAction(snifferMain);
        snifferMenu->addAction(snifferYoutube);
        // Whether the main sniffer keeps capturing while its window is closed.
        snifferBackground = new QAction(TopToolbarWidget::tr("Sniff in Background"), snifferMenu);
        snifferBackground->setCheckable(true);
        snifferMenu->addSeparator();
        snifferMenu->addAction(snifferBackground);
    }

    ~TopToolbarWidgetImpl() { delete snifferMenu; }

    void addHeader(const QString &title)
    {
        auto *action = new QWidgetAction(q);
        auto *w = new QWidget;
        w->setStyleSheet(QStringLiteral("QWidget{background: #a6a6a6;}QLabel{border: 1px outset gray;}"));
        auto *h = new QHBoxLayout(w);
        h->setSpacing(0);
        h->setContentsMargins(1, 1, 1, 1);
        auto *t = new QLabel(title, w);
        t->setFixedHeight(20);
        auto *r = new QLabel(QStringLiteral("Recommended for"), w);
        r->setFixedHeight(20);
        h->addWidget(t);
        h->addSpacing(1);
        h->addWidget(r);
        action->setDefaultWidget(w);
        sizeMenu->addAction(action);
    }

    void addPreset(const QString &text, QSize size)
    {
        auto *action = new QAction(text, q);
        action->setData(QVariant::fromValue(size));
        QObject::connect(action, &QAction::triggered, q, &TopToolbarWidget::sizeActionTriggered);
        sizeMenu->addAction(action);
    }

    // The strip: sidings at both ends, the buttons with dividers between.
    void buildButtonRow()
    {
        auto *outer = new QHBoxLayout(q);
        outer->setSpacing(0);
        outer->setContentsMargins(0, 0, 0, 0);
        auto *mainFrame = new QFrame(q);
        mainFrame->setObjectName(QStringLiteral("mainFrame"));
        mainFrame->setFrameShape(QFrame::StyledPanel);
        mainFrame->setFrameShadow(QFrame::Raised);
        outer->addWidget(mainFrame);
        auto *v = new QVBoxLayout(mainFrame);
        v->setSpacing(0);
        v->setContentsMargins(0, 0, 0, 0);
        auto *h = new QHBoxLayout;
        h->setSpacing(0);
        h->setContentsMargins(0, 0, 0, 0);
        v->addLayout(h);
        auto *frame = new QFrame(mainFrame);
        frame->setObjectName(QStringLiteral("frame"));
        frame->setFrameShape(QFrame::StyledPanel);
        frame->setFrameShadow(QFrame::Raised);
        frame->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        h->addWidget(frame);
        auto *row = new QHBoxLayout(frame);
        row->setSpacing(0);
        row->setContentsMargins(0, 0, 0, 0);

        row->addWidget(piece(frame, QStringLiteral("label_13"), QStringLiteral("left-menubar-siding"), 11));
        int divider = 0;
        for (const ToolbarButton &button : kButtons) {
            const QString name = QString::fromLatin1(button.name);
            if (name != QLatin1String("openBtn"))
                row->addWidget(piece(frame,
                                     divider++ == 0 ? QStringLiteral("label") : QStringLiteral("label_%1").arg(divider + 1),
                                     QStringLiteral("menubar-div"), 8));
            QPushButton *b = makeButton(frame, button);
            row->addWidget(b);
            buttons.insert(name, b);
        }
        row->addWidget(piece(frame, QStringLiteral("label_14"), QStringLiteral("right-menubar-siding"), 11));
        row->itemAt(row->count() - 1)->widget()->setAttribute(Qt::WA_LayoutUsesWidgetRect, false);
    }

    // One button with its images, tip and name; its keys are an action of
    // the toolbar that clicks it.
    QPushButton *makeButton(QFrame *frame, const ToolbarButton &button)
    {
        const QString name = QString::fromLatin1(button.name);
        QPushButton *b = name == QLatin1String("openBtn") ? new OpenButton(frame) : new QPushButton(frame);
        b->setObjectName(name);
        b->setFixedSize(59, 63);
        QString style = ImageStyle::stateImages(QStringLiteral("QPushButton"), QString::fromLatin1(button.image),
                                                QStringLiteral("background-image"));
        if (name == QLatin1String("exportBtn") || name == QLatin1String("aspectSizeBtn")
            || name == QLatin1String("snifferBtn") || name == QLatin1String("helpBtn"))
            style += QStringLiteral("QPushButton::menu-indicator{image: none; width: 0px;}");
        b->setStyleSheet(style);
        ImageStyle::drawStateImages(b, QString::fromLatin1(button.image), ImageStyle::ImageFit::Natural);
        const QList<QKeySequence> keys = buttonKeys(button);
        if (!keys.isEmpty()) {
            // The keys click the button; they live in an action rather than
            // on the button, whose shortcut dies while the toolbar is hidden.
            auto *action = new QAction(TopToolbarWidget::tr(button.accessibleName), q);
            action->setObjectName(name + QStringLiteral("Keys"));
            action->setShortcuts(keys);
            action->setShortcutContext(Qt::WindowShortcut);
            QObject::connect(action, &QAction::triggered, b, &QAbstractButton::click);
            q->addAction(action);
            shortcutActions << action;
        }
        b->setAccessibleName(TopToolbarWidget::tr(button.accessibleName));
        QStringList keyTexts;
        for (const QKeySequence &k : keys)
            keyTexts << k.toString(QKeySequence::NativeText);
        const QString tip = TopToolbarWidget::tr(button.toolTip);
        b->setToolTip(keys.isEmpty() ? tip
                                     : TopToolbarWidget::tr("%1 (%2)").arg(tip, keyTexts.join(TopToolbarWidget::tr(" or "))));
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        return b;
    }

    TopToolbarWidget *q;
    QAction *helpUserGuide, *helpQuickStart, *helpTraining, *helpDesk, *helpAbout;
    QAction *exportEntire, *exportCurrent, *exportAll;
    QMenu *helpMenu, *exportMenu;
    QAction *sizeMostRecent, *sizeCustom, *sizeOriginal;
    QMenu *sizeMenu;
    QMenu *recentMenu;
    QMenu *snifferMenu;
    QAction *snifferMain, *snifferYoutube, *snifferBackground;
    QHash<QString, QPushButton *> buttons;
    QList<QAction *> shortcutActions;
};

TopToolbarWidget::TopToolbarWidget(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), d(std::make_unique<TopToolbarWidgetImpl>(this))
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("TopToolbarWidgetClass"));
    setWindowTitle(QStringLiteral("Form"));
    resize(826, 71);
    setMinimumSize(826, 70);
    setMaximumWidth(826);
    setStyleSheet(QStringLiteral("QPushButton{min-width: 59px; max-width: 59px; min-height: 63px; max-height: 63px;"
                                 "padding: 0; margin: 0; border: 0;}"));

    d->buildButtonRow();
    d->buttons.value(QStringLiteral("undoBtn"))->setEnabled(false);
    d->buttons.value(QStringLiteral("redoBtn"))->setEnabled(false);
    d->buttons.value(QStringLiteral("helpBtn"))->setMenu(d->helpMenu);
    d->buttons.value(QStringLiteral("exportBtn"))->setMenu(d->exportMenu);
    d->buttons.value(QStringLiteral("aspectSizeBtn"))->setMenu(d->sizeMenu);
    d->buttons.value(QStringLiteral("snifferBtn"))->setMenu(d->snifferMenu);
    connectSignals();
}

void TopToolbarWidget::connectSignals()
{
    auto button = [this](const char *n) { return d->buttons.value(QString::fromLatin1(n)); };
    connect(button("openBtn"), &QPushButton::clicked, this, &TopToolbarWidget::openButtonClicked);
    connect(static_cast<OpenButton *>(button("openBtn")), &OpenButton::rightClicked, this,
            &TopToolbarWidget::openBtnRightClicked);
    connect(button("saveBtn"), &QPushButton::clicked, this, &TopToolbarWidget::saveButtonClicked);
    connect(button("exportBtn"), &QPushButton::clicked, this, &TopToolbarWidget::exportButtonClicked);
    connect(button("ripBtn"), &QPushButton::clicked, this, &TopToolbarWidget::ripButtonClicked);
    connect(button("aspectSizeBtn"), &QPushButton::clicked, this, &TopToolbarWidget::aspectResizeButtonClicked);
    connect(button("optionBtn"), &QPushButton::clicked, this, &TopToolbarWidget::optionButtonClicked);
    connect(button("helpBtn"), &QPushButton::clicked, this, &TopToolbarWidget::helpButtonClicked);
    connect(button("printerBtn"), &QPushButton::clicked, this, &TopToolbarWidget::printerButtonClicked);
    connect(button("undoBtn"), &QPushButton::clicked, this, &TopToolbarWidget::undoButtonClicked);
    connect(button("redoBtn"), &QPushButton::clicked, this, &TopToolbarWidget::redoButtonClicked);
    connect(button("markerBtn"), &QPushButton::clicked, this, &TopToolbarWidget::markerButtonClicked);
    connect(d->snifferMain, &QAction::triggered, this, &TopToolbarWidget::snifferButtonClicked);
    connect(d->snifferYoutube, &QAction::triggered, this, &TopToolbarWidget::snifferYoutubeButtonClicked);
    connect(d->snifferBackground, &QAction::triggered, this, &TopToolbarWidget::snifferBackgroundClicked);
    connect(d->helpUserGuide, &QAction::triggered, this, &TopToolbarWidget::helpUserGuideClicked);
    connect(d->helpQuickStart, &QAction::triggered, this, &TopToolbarWidget::helpQuickStartGuideClicked);
    connect(d->helpTraining, &QAction::triggered, this, &TopToolbarWidget::helpTrainingVideosClicked);
    connect(d->helpDesk, &QAction::triggered, this, &TopToolbarWidget::helpHelpDeskClicked);
    connect(d->helpAbout, &QAction::triggered, this, &TopToolbarWidget::helpAboutClicked);
    connect(d->exportEntire, &QAction::triggered, this, &TopToolbarWidget::exportEntireVideoClicked);
    connect(d->exportCurrent, &QAction::triggered, this, &TopToolbarWidget::exportCurrentLoopClicked);
    connect(d->exportAll, &QAction::triggered, this, &TopToolbarWidget::exportAllLoopsClicked);
    connect(d->sizeMostRecent, &QAction::triggered, this, &TopToolbarWidget::sizeMostRecentClicked);
    connect(d->sizeCustom, &QAction::triggered, this, &TopToolbarWidget::sizeCustomClicked);
    connect(d->sizeOriginal, &QAction::triggered, this, &TopToolbarWidget::sizeOriginalClicked);
}

TopToolbarWidget::~TopToolbarWidget() = default;

QMenu *TopToolbarWidget::getExportMenu() const { return d->exportMenu; }
QList<QAction *> TopToolbarWidget::shortcutActions() const { return d->shortcutActions; }
QMenu *TopToolbarWidget::getAspectResizeMenu() const { return d->sizeMenu; }
QMenu *TopToolbarWidget::getSnifferMenu() const { return d->snifferMenu; }
QMenu *TopToolbarWidget::getHelpMenu() const { return d->helpMenu; }
void TopToolbarWidget::setSnifferInBackground(bool on) { d->snifferBackground->setChecked(on); }
QMenu *TopToolbarWidget::getOpenedFilesMenu() const { return d->recentMenu; }
QPushButton *TopToolbarWidget::button(const QString &objectName) const { return d->buttons.value(objectName); }

bool TopToolbarWidget::canUndo() const { return d->buttons.value(QStringLiteral("undoBtn"))->isEnabled(); }
bool TopToolbarWidget::canRedo() const { return d->buttons.value(QStringLiteral("redoBtn"))->isEnabled(); }

void TopToolbarWidget::setSizeMostRecent(int dx, int dy)
{
    d->sizeMostRecent->setText(QStringLiteral("%1 x %2\tMost recent").arg(dx).arg(dy));
}

void TopToolbarWidget::setSizeCustom(int dx, int dy)
{
    d->sizeCustom->setText(QStringLiteral("%1 x %2\tCustom").arg(dx).arg(dy));
}

void TopToolbarWidget::setSizeOriginal(int dx, int dy)
{
    d->sizeOriginal->setText(QStringLiteral("%1 x %2\tOriginal").arg(dx).arg(dy));
}

void TopToolbarWidget::setCanUndo(bool enabled) { d->buttons.value(QStringLiteral("undoBtn"))->setEnabled(enabled); }
void TopToolbarWidget::setCanRedo(bool enabled) { d->buttons.value(QStringLiteral("redoBtn"))->setEnabled(enabled); }

void TopToolbarWidget::setOpenedFiles(const QStringList &fileNames)
{
    // Entries of the earlier list are children of the menu: clear() deletes them.
    d->recentMenu->clear();
    QAction *newWindow = new QAction(tr("Open New Window"), d->recentMenu);
    connect(newWindow, &QAction::triggered, this, &TopToolbarWidget::newInstanceActionTriggered);
    d->recentMenu->addAction(newWindow);
    d->recentMenu->addSeparator();
    for (const QString &name : fileNames) {
        QAction *a = new QAction(name, d->recentMenu);
        connect(a, &QAction::triggered, this, &TopToolbarWidget::openActionTriggered);
        d->recentMenu->addAction(a);
    }
}

void TopToolbarWidget::openBtnRightClicked()
{
    if (d->recentMenu->actions().isEmpty())
        return;
    QPushButton *open = d->buttons.value(QStringLiteral("openBtn"));
    d->recentMenu->popup(open->mapToGlobal(QPoint(0, open->height() - 1)));
}

void TopToolbarWidget::openActionTriggered()
{
    if (auto *action = qobject_cast<QAction *>(sender()))
        emit openFileClicked(action->text());
}

void TopToolbarWidget::sizeActionTriggered()
{
    if (auto *action = qobject_cast<QAction *>(sender()))
        emit sizeClicked(action->data().toSize());
}

void TopToolbarWidget::newInstanceActionTriggered() { emit newInstanceClicked(); }

} // namespace TW
