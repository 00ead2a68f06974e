#include "ui/EditVideoWidget.h"

#include "ui/ScreenRules.h"
#include "ui/ImageStyle.h"

#include <QAbstractButton>
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <cmath>

namespace TW {

namespace {

constexpr int kTempoMin = 2500;
constexpr int kTempoMax = 20000;
constexpr int kPitchMin = -1200;
constexpr int kPitchMax = 1200;

const char *const kSectionStyle =
    "#%1{\nbackground: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 #c0c0c0, stop: 1 #505050);\n"
    "border: 2px solid #808080;\n}\n";
const char *const kValueLabelStyle =
    "QLabel{\nbackground: black;\nborder: 1px solid black;\nborder-radius: 5;\ncolor : white;\npadding: 0 0 0 0;\n}";
const char *const kCaptionStyle =
    "QLabel{\nbackground: black;\nborder: 1px solid black;\nborder-radius: 5;\ncolor : white;\nmargin: 0 20 0 20;\n}";
const char *const kPresetStyle =
    "QPushButton:enabled{\nbackground-color: black;\ncolor: white;\nborder: 0px solid white;\npadding: 3;\n}\n"
    "QPushButton:hover{\nborder: 1px solid white;\n}\n";
const char *const kTempoPitchSliderStyle =
    "QSlider:horizontal{padding: 0 2;}"
    "QSlider::groove:horizontal{height: 5px;margin: 3 5;padding: 2 0;border: 1px solid darkgray;border-radius: 3px;}"
    "QSlider::handle:horizontal{width: 19px;margin: -7px -7px;}"
    "QSlider::handle:horizontal:enabled{border-image: url(:/gui/pointer-U);}"
    "QSlider::handle:horizontal:hover{border-image: url(:/gui/pointer-F);}"
    "QSlider::handle:horizontal:pressed{border-image: url(:/gui/pointer-D);}"
    "QSlider::handle:horizontal:disabled{border-image: url(:/gui/pointer-X);}"
    "QSlider::add-page:horizontal{margin: 6 8 6 0;border-radius: 2px;border: none;"
    "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 lightgray, stop:1 darkGray);}"
    "QSlider::sub-page:horizontal{margin: 6 0 6 8;border-radius: 2px;border: none;"
    "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 blue, stop:1 darkBlue);}";
const char *const kVolumeSliderStyle =
    "QSlider:horizontal{padding: 0 5 0 5;}"
    "QSlider::groove:horizontal{height: 6px;margin: 5px 0;border: 1px solid gray;border-bottom: 1px solid white;border-radius: 4px;}"
    "QSlider::handle:horizontal{width: 19px;margin: -5px -5px;background-position: center center;}"
    "QSlider::handle:horizontal:enabled{background-image: url(:/gui/mainprogress-pointer-U);}"
    "QSlider::handle:horizontal:hover{background-image: url(:/gui/mainprogress-pointer-F);}"
    "QSlider::handle:horizontal:pressed{background-image: url(:/gui/mainprogress-pointer-D);}"
    "QSlider::handle:horizontal:disabled{background-image: url(:/gui/mainprogress-pointer-X);}"
    "QSlider::add-page:horizontal{margin: 5px 0;border: 1px solid gray;border-bottom: 1px solid white;border-radius: 4px;"
    "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 #a0a0a0, stop: 1 #505050);}"
    "QSlider::sub-page:horizontal{margin: 5px 0;border: 1px solid gray;border-bottom: 1px solid white;border-radius: 4px;"
    "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 #3030f0, stop: 1 #3030a0);}";

// Nearest whole hundredth, halves upwards (also below zero).
int toHundredths(float value)
{
    return static_cast<int>(std::floor(static_cast<double>(value) * 100.0 + 0.5));
}

QSpacerItem *fixedSpacer(int width)
{
    return new QSpacerItem(width, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
}

} // namespace

struct EditVideoWidget::EditVideoWidgetImpl
{
    explicit EditVideoWidgetImpl(EditVideoWidget *owner) : q(owner) {}

    EditVideoWidget *q;
    bool intervalUp = true;
    QMenu *silenceMenu = nullptr;
    QAction *silenceSectionAction = nullptr;
    QAction *insertSilenceAction = nullptr;

    QVBoxLayout *verticalLayout = nullptr;   // inside the main frame
    QVBoxLayout *verticalLayout_13 = nullptr; // volume row
    // Set while the panel itself moves a slider to show a value.
    bool showingValue = false;
    QSlider *tempoSlider = nullptr;
    QSlider *pitchSlider = nullptr;
    QSlider *volumeSlider = nullptr;
    QLabel *tempoLabel = nullptr;
    QLabel *pitchLabel = nullptr;
    QLabel *volume = nullptr;
    QPushButton *plusPitchBtn3 = nullptr;
    QPushButton *silenceBtn = nullptr;
    // The tempo and pitch sections' buttons: steps (+1, +0.01, -0.01, -1),
    // the row of presets or intervals, and reset.
    QList<QPushButton *> tempoSteps;
    QList<QPushButton *> tempoRow;
    QPushButton *resetTempo = nullptr;
    QList<QPushButton *> pitchSteps;
    QList<QPushButton *> pitchRow;
    QPushButton *resetPitch = nullptr;

    QPushButton *imageButton(const QString &name, const QString &base, QSize size, bool border)
    {
        auto *b = new QPushButton(q);
        b->setObjectName(name);
        b->setFlat(true);
        if (size.isValid())
            b->setFixedSize(size);
        b->setStyleSheet(ImageStyle::stateImages(QStringLiteral("QPushButton"), base,
                                                 border ? QStringLiteral("border-image")
                                                        : QStringLiteral("background-image")));
        ImageStyle::drawStateImages(b, base, border ? ImageStyle::ImageFit::Stretch : ImageStyle::ImageFit::Natural);
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        return b;
    }

    QPushButton *presetButton(const QString &name, const QString &caption, int position)
    {
        auto *b = new QPushButton(caption, q);
        b->setObjectName(name);
        b->setFixedSize(35, 18);
        QString style = QString::fromLatin1(kPresetStyle);
        if (position < 0)
            style += QStringLiteral("QPushButton{border-top-left-radius: 7;border-bottom-left-radius: 7;}");
        else if (position > 0)
            style += QStringLiteral("QPushButton{border-top-right-radius: 7;border-bottom-right-radius: 7;}");
        b->setStyleSheet(style);
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        return b;
    }

    QLabel *valueLabel(const QString &name, const QString &text)
    {
        auto *l = new QLabel(text, q);
        l->setObjectName(name);
        l->setFixedSize(150, 25);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->setMargin(0);
        l->setStyleSheet(QString::fromLatin1(kValueLabelStyle));
        l->setFont(ImageStyle::interfaceFont(12, true));
        l->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        return l;
    }

    QFrame *section(const QString &name)
    {
        auto *f = new QFrame(q);
        f->setObjectName(name);
        f->setFrameShape(QFrame::StyledPanel);
        f->setFrameShadow(QFrame::Raised);
        f->setFixedHeight(95);
        f->setStyleSheet(QString::fromLatin1(kSectionStyle).arg(name));
        return f;
    }

    QLabel *scale()
    {
        auto *l = new QLabel(q);
        l->setFixedSize(175, 5);
        l->setStyleSheet(QStringLiteral("border-image: url(:/gui/ticks);\npadding: 0;\nmargin: 0;"));
        l->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        return l;
    }

    // Tempo and pitch share one shape: step buttons on the left, value label,
    // slider, scale and a row of five buttons on the right.
    QFrame *valueSection(const QString &frameName, const QString &prefix, QSlider *&slider, QLabel *&label,
                         const QString &labelText, QPushButton *&reset, QList<QPushButton *> &steps,
                         const QList<QPushButton *> &row)
    {
        QFrame *frame = section(frameName);
        auto *h = new QHBoxLayout(frame);
        h->setSpacing(0);
        h->setContentsMargins(5, 5, 0, 5);
        auto *left = new QVBoxLayout;
        left->setSpacing(3);
        left->setContentsMargins(0, 0, 0, 0);
        const QStringList names = {QStringLiteral("plus%1Btn"), QStringLiteral("plus%1Btn2"),
                                   QStringLiteral("minus%1Btn2"), QStringLiteral("minus%1Btn")};
        const QStringList images = {QStringLiteral("plusBig"), QStringLiteral("plusSmall"),
                                    QStringLiteral("minusSmall"), QStringLiteral("minusBig")};
        for (int i = 0; i < names.size(); ++i) {
            QPushButton *b = imageButton(names[i].arg(prefix), images[i], QSize(19, 18), true);
            left->addWidget(b);
            steps << b;
        }
        h->addLayout(left);

        auto *right = new QVBoxLayout;
        right->setSpacing(0);
        right->setContentsMargins(0, 0, 0, 0);
        auto *r1 = new QHBoxLayout;
        r1->addItem(fixedSpacer(10));
        label = valueLabel(prefix.toLower() + QStringLiteral("Label"), labelText);
        r1->addWidget(label);
        reset = imageButton(QStringLiteral("reset%1Btn").arg(prefix), QStringLiteral("Reset"), QSize(25, 24), false);
        reset->setStyleSheet(reset->styleSheet() + QStringLiteral("QPushButton{\nmargin: 0;\npadding: 0;\n}"));
        r1->addWidget(reset);
        r1->addItem(fixedSpacer(10));
        right->addLayout(r1);

        auto *r2 = new QHBoxLayout;
        r2->setContentsMargins(0, 5, 0, 0);
        r2->addItem(fixedSpacer(11));
        slider = new QSlider(Qt::Horizontal, q);
        slider->setObjectName(prefix.toLower() + QStringLiteral("Slider"));
        slider->setStyleSheet(QString::fromLatin1(kTempoPitchSliderStyle));
        slider->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        r2->addWidget(slider);
        r2->addItem(fixedSpacer(14));
        right->addLayout(r2);

        auto *r3 = new QHBoxLayout;
        r3->setContentsMargins(0, 0, 0, 5);
        r3->addItem(fixedSpacer(7));
        r3->addWidget(scale());
        r3->addItem(fixedSpacer(10));
        right->addLayout(r3);

        auto *r4 = new QHBoxLayout;
        r4->setSpacing(0);
        r4->setContentsMargins(0, 0, 0, 0);
        r4->addItem(fixedSpacer(18));
        for (QPushButton *b : row)
            r4->addWidget(b);
        r4->addItem(fixedSpacer(18));
        right->addLayout(r4);
        h->addLayout(right);
        return frame;
    }

    // Digit with a raised suffix ("2" + "nd") on an interval button.
    void setPitchBtnLayout(QPushButton *button, const QString &digit, const QString &suffix)
    {
        auto *h = new QHBoxLayout(button);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(0);
        auto *d = new QLabel(digit, button);
        d->setStyleSheet(QStringLiteral("color: white;"));
        d->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        d->setAttribute(Qt::WA_TransparentForMouseEvents);
        h->addWidget(d);
        auto *col = new QVBoxLayout;
        col->setSpacing(0);
        auto *s = new QLabel(suffix, button);
        QFont small = ImageStyle::interfaceFont(6, false);
        s->setFont(small);
        s->setStyleSheet(QStringLiteral("color: white;"));
        s->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        s->setAttribute(Qt::WA_TransparentForMouseEvents);
        col->addWidget(s);
        col->addStretch();
        h->addLayout(col);
    }

    void updatePitchPlusBtn()
    {
        plusPitchBtn3->setText(intervalUp ? QStringLiteral("+") : QStringLiteral("-"));
    }

    // Tool tips and names for screen readers: most buttons show only an
    // image or an abbreviation. A button's shortcut is named in its tip.
    void describeButtons()
    {
        struct Description
        {
            const char *name;
            QString accessibleName;
            QString toolTip;
        };
        const Description descriptions[] = {
            {"plusTempoBtn", EditVideoWidget::tr("Tempo up 1 %"), EditVideoWidget::tr("Tempo up by 1 %")},
            {"plusTempoBtn2", EditVideoWidget::tr("Tempo up 0.01 %"), EditVideoWidget::tr("Tempo up by 0.01 %")},
            {"minusTempoBtn2", EditVideoWidget::tr("Tempo down 0.01 %"), EditVideoWidget::tr("Tempo down by 0.01 %")},
            {"minusTempoBtn", EditVideoWidget::tr("Tempo down 1 %"), EditVideoWidget::tr("Tempo down by 1 %")},
            {"resetTempoBtn", EditVideoWidget::tr("Reset tempo"), EditVideoWidget::tr("Back to the original tempo (100 %)")},
            {"tempo20Btn", EditVideoWidget::tr("Tempo 25 %"), EditVideoWidget::tr("Play at 25 % of the tempo")},
            {"tempo30Btn", EditVideoWidget::tr("Tempo 30 %"), EditVideoWidget::tr("Play at 30 % of the tempo")},
            {"tempo40Btn", EditVideoWidget::tr("Tempo 40 %"), EditVideoWidget::tr("Play at 40 % of the tempo")},
            {"tempo50Btn", EditVideoWidget::tr("Tempo 50 %"), EditVideoWidget::tr("Play at 50 % of the tempo")},
            {"tempo75Btn", EditVideoWidget::tr("Tempo 75 %"), EditVideoWidget::tr("Play at 75 % of the tempo")},
            {"plusPitchBtn", EditVideoWidget::tr("Pitch up a semitone"), EditVideoWidget::tr("Pitch up by a semitone")},
            {"plusPitchBtn2", EditVideoWidget::tr("Pitch up a cent"),
             EditVideoWidget::tr("Pitch up by a cent (a hundredth of a semitone)")},
            {"minusPitchBtn2", EditVideoWidget::tr("Pitch down a cent"),
             EditVideoWidget::tr("Pitch down by a cent (a hundredth of a semitone)")},
            {"minusPitchBtn", EditVideoWidget::tr("Pitch down a semitone"), EditVideoWidget::tr("Pitch down by a semitone")},
            {"resetPitchBtn", EditVideoWidget::tr("Reset pitch"), EditVideoWidget::tr("Back to the original pitch")},
            {"plusPitchBtn3", EditVideoWidget::tr("Interval direction"),
             EditVideoWidget::tr("Whether the interval buttons shift the pitch up (+) or down (-)")},
            {"pitch2ndBtn", EditVideoWidget::tr("Shift by a second"),
             EditVideoWidget::tr("Shift the pitch by a second (2 semitones)")},
            {"pitch3rdBtn", EditVideoWidget::tr("Shift by a third"),
             EditVideoWidget::tr("Shift the pitch by a major third (4 semitones)")},
            {"pitch4thBtn", EditVideoWidget::tr("Shift by a fourth"),
             EditVideoWidget::tr("Shift the pitch by a fourth (5 semitones)")},
            {"pitch5thBtn", EditVideoWidget::tr("Shift by an octave"),
             EditVideoWidget::tr("Oct: shift the pitch by an octave (12 semitones)")},
            {"deleteBtn", EditVideoWidget::tr("Delete"), EditVideoWidget::tr("Delete the highlighted section")},
            {"copyBtn", EditVideoWidget::tr("Copy"), EditVideoWidget::tr("Copy the highlighted section")},
            {"volBtn", EditVideoWidget::tr("Volume"),
             EditVideoWidget::tr("Change the volume of the highlighted section or of the whole recording")},
            {"cutBtn", EditVideoWidget::tr("Cut"), EditVideoWidget::tr("Cut the highlighted section")},
            {"pasteBtn", EditVideoWidget::tr("Paste"), EditVideoWidget::tr("Paste at the play position")},
            {"silenceBtn", EditVideoWidget::tr("Silence"),
             EditVideoWidget::tr("Insert silence, or silence the highlighted section")},
            {"startLoopBtn", EditVideoWidget::tr("Loop start"), EditVideoWidget::tr("Start a loop at the play position")},
            {"endLoopBtn", EditVideoWidget::tr("Loop end"), EditVideoWidget::tr("End the loop at the play position")},
            {"editLoopBtn", EditVideoWidget::tr("Edit loop"),
             EditVideoWidget::tr("Edit the loop at the play position: tempo, pitch, volume, repeats")},
            {"deleteLoopBtn", EditVideoWidget::tr("Remove loop"), EditVideoWidget::tr("Remove the loop at the play position")},
            {"prevBtn", EditVideoWidget::tr("Previous loop"), EditVideoWidget::tr("Go to the previous loop")},
            {"nextBtn", EditVideoWidget::tr("Next loop"), EditVideoWidget::tr("Go to the next loop")},
            {"prevBtn2", EditVideoWidget::tr("Previous bookmark"), EditVideoWidget::tr("Go to the previous bookmark")},
            {"nextBtn2", EditVideoWidget::tr("Next bookmark"), EditVideoWidget::tr("Go to the next bookmark")},
        };
        for (const Description &desc : descriptions) {
            auto *b = q->findChild<QAbstractButton *>(QLatin1String(desc.name));
            if (!b)
                continue;
            b->setAccessibleName(desc.accessibleName);
            const QKeySequence key = b->shortcut();
            b->setToolTip(key.isEmpty() ? desc.toolTip
                                        : EditVideoWidget::tr("%1 (%2)").arg(desc.toolTip,
                                                                             key.toString(QKeySequence::NativeText)));
        }
    }

    void createSilenceMenu()
    {
        insertSilenceAction = new QAction(EditVideoWidget::tr("Insert Silence"), q);
        silenceSectionAction = new QAction(EditVideoWidget::tr("Silence Highlighted Section"), q);
        silenceMenu = new QMenu(q);
        silenceMenu->addAction(insertSilenceAction);
        silenceMenu->addAction(silenceSectionAction);
        silenceBtn->setMenu(silenceMenu);
    }

    // The dark frame that holds the sections, between two stretches; the
    // volume row goes below it.
    QVBoxLayout *buildPanel()
    {
        auto *outer = new QVBoxLayout(q);
        outer->setObjectName(QStringLiteral("verticalLayout_2"));
        outer->setSpacing(1);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->addItem(new QSpacerItem(20, 9999, QSizePolicy::Minimum, QSizePolicy::Expanding));

        auto *mainFrame = new QFrame(q);
        mainFrame->setObjectName(QStringLiteral("mainFrame"));
        mainFrame->setFrameShape(QFrame::StyledPanel);
        mainFrame->setFrameShadow(QFrame::Raised);
        mainFrame->setStyleSheet(QStringLiteral("#mainFrame{\nbackground: #303030;\nborder: 1px solid #303030;\nborder-radius: 5;\n}"));
        auto *v12 = new QVBoxLayout(mainFrame);
        v12->setSpacing(0);
        v12->setContentsMargins(0, 0, 0, 0);
        verticalLayout = new QVBoxLayout;
        verticalLayout->setSpacing(5);
        verticalLayout->setContentsMargins(10, 10, 10, 10);
        v12->addLayout(verticalLayout);
        outer->addWidget(mainFrame);
        outer->addItem(new QSpacerItem(20, 9999, QSizePolicy::Minimum, QSizePolicy::Expanding));
        return outer;
    }

    void buildTempoSection()
    {
        tempoRow = {
            presetButton(QStringLiteral("tempo20Btn"), QStringLiteral("25"), -1),
            presetButton(QStringLiteral("tempo30Btn"), QStringLiteral("30"), 0),
            presetButton(QStringLiteral("tempo40Btn"), QStringLiteral("40"), 0),
            presetButton(QStringLiteral("tempo50Btn"), QStringLiteral("50"), 0),
            presetButton(QStringLiteral("tempo75Btn"), QStringLiteral("75"), 1)};
        verticalLayout->addWidget(valueSection(QStringLiteral("frame_4"), QStringLiteral("Tempo"), tempoSlider,
                                                     tempoLabel, QStringLiteral("TEMPO: 100%"), resetTempo, tempoSteps,
                                                     tempoRow));
        tempoSlider->setRange(kTempoMin, kTempoMax);
        tempoSlider->setSingleStep(100);
        tempoSlider->setPageStep(1000);
        tempoSlider->setValue(10000);
        tempoSlider->setTickPosition(QSlider::NoTicks);
        tempoSlider->setTickInterval(100);
    }

    void buildPitchSection()
    {
        plusPitchBtn3 = presetButton(QStringLiteral("plusPitchBtn3"), QStringLiteral("+"), -1);
        pitchRow = {
            plusPitchBtn3,
            presetButton(QStringLiteral("pitch2ndBtn"), QString(), 0),
            presetButton(QStringLiteral("pitch3rdBtn"), QString(), 0),
            presetButton(QStringLiteral("pitch4thBtn"), QString(), 0),
            presetButton(QStringLiteral("pitch5thBtn"), QStringLiteral("Oct"), 1)};
        for (QPushButton *b : pitchRow)
            b->setFlat(true);
        verticalLayout->addWidget(valueSection(QStringLiteral("frame_3"), QStringLiteral("Pitch"), pitchSlider,
                                                     pitchLabel, QStringLiteral("PITCH: 0"), resetPitch, pitchSteps,
                                                     pitchRow));
        pitchSlider->setRange(kPitchMin, kPitchMax);
        pitchSlider->setSingleStep(100);
        pitchSlider->setPageStep(100);
        pitchSlider->setValue(0);
        pitchSlider->setTickPosition(QSlider::TicksBothSides);
        pitchSlider->setTickInterval(100);
        setPitchBtnLayout(pitchRow[1], QStringLiteral("2"), QStringLiteral("nd"));
        setPitchBtnLayout(pitchRow[2], QStringLiteral("3"), QStringLiteral("rd"));
        setPitchBtnLayout(pitchRow[3], QStringLiteral("4"), QStringLiteral("th"));
        updatePitchPlusBtn();
    }

    void buildEditSection()
    {
        QFrame *edit = section(QStringLiteral("frame"));
        auto *v7 = new QVBoxLayout(edit);
        v7->setSpacing(5);
        v7->setContentsMargins(10, 5, 8, 5);
        auto *editCaption = new QLabel(EditVideoWidget::tr("EDIT"), q);
        editCaption->setObjectName(QStringLiteral("label_3"));
        editCaption->setFixedHeight(25);
        editCaption->setAlignment(Qt::AlignCenter);
        editCaption->setStyleSheet(QString::fromLatin1(kCaptionStyle));
        editCaption->setFont(ImageStyle::interfaceFont(12, true));
        editCaption->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        v7->addWidget(editCaption);
        const QSize editSize(57, 22);
        QPushButton *deleteBtn = imageButton(QStringLiteral("deleteBtn"), QStringLiteral("delete"), editSize, false);
        QPushButton *copyBtn = imageButton(QStringLiteral("copyBtn"), QStringLiteral("copy"), editSize, false);
        QPushButton *volBtn = imageButton(QStringLiteral("volBtn"), QStringLiteral("volume"), editSize, false);
        QPushButton *cutBtn = imageButton(QStringLiteral("cutBtn"), QStringLiteral("Cut"), editSize, false);
        QPushButton *pasteBtn = imageButton(QStringLiteral("pasteBtn"), QStringLiteral("paste"), editSize, false);
        silenceBtn = imageButton(QStringLiteral("silenceBtn"), QStringLiteral("silence"), editSize, false);
        silenceBtn->setAttribute(Qt::WA_LayoutUsesWidgetRect, false);
        silenceBtn->setStyleSheet(silenceBtn->styleSheet() + QStringLiteral("::menu-indicator{\nimage: \"\";\n}"));
        for (const QList<QPushButton *> &row : {QList<QPushButton *>{deleteBtn, copyBtn, volBtn},
                                                QList<QPushButton *>{cutBtn, pasteBtn, silenceBtn}}) {
            auto *h = new QHBoxLayout;
            h->setSpacing(5);
            h->addItem(fixedSpacer(15));
            for (QPushButton *b : row)
                h->addWidget(b);
            h->addItem(fixedSpacer(15));
            v7->addLayout(h);
        }
        verticalLayout->addWidget(edit);
    }

    void buildLoopSection()
    {
        const QSize editSize(57, 22);
        QFrame *loops = section(QStringLiteral("frame_2"));
        auto *v8 = new QVBoxLayout(loops);
        v8->setSpacing(5);
        v8->setContentsMargins(10, 5, 8, 5);
        auto *loopCaption = new QLabel(EditVideoWidget::tr("LOOP CONTROLS"), q);
        loopCaption->setObjectName(QStringLiteral("label_4"));
        loopCaption->setFixedHeight(25);
        loopCaption->setAlignment(Qt::AlignCenter);
        loopCaption->setStyleSheet(QString::fromLatin1(kCaptionStyle));
        loopCaption->setFont(ImageStyle::interfaceFont(12, true));
        v8->addWidget(loopCaption);
        QPushButton *startLoopBtn = imageButton(QStringLiteral("startLoopBtn"), QStringLiteral("start"), editSize, false);
        QPushButton *endLoopBtn = imageButton(QStringLiteral("endLoopBtn"), QStringLiteral("end"), editSize, false);
        QPushButton *editLoopBtn = imageButton(QStringLiteral("editLoopBtn"), QStringLiteral("edit"), editSize, false);
        QPushButton *deleteLoopBtn = imageButton(QStringLiteral("deleteLoopBtn"), QStringLiteral("delete"), editSize, false);
        const QString arrowSize = QStringLiteral("QPushButton{\nmin-width: 17;\nmax-width: 17;\nmin-height: 22;\nmax-height: 22;\n}");
        auto arrow = [&](const QString &name, const QString &base) {
            QPushButton *b = imageButton(name, base, QSize(), false);
            b->setStyleSheet(arrowSize + b->styleSheet());
            return b;
        };
        QPushButton *prevBtn = arrow(QStringLiteral("prevBtn"), QStringLiteral("left"));
        QPushButton *nextBtn = arrow(QStringLiteral("nextBtn"), QStringLiteral("right"));
        QPushButton *prevBtn2 = arrow(QStringLiteral("prevBtn2"), QStringLiteral("left"));
        QPushButton *nextBtn2 = arrow(QStringLiteral("nextBtn2"), QStringLiteral("right"));
        auto icon = [&](const QString &name, const QString &image) {
            auto *l = new QLabel(q);
            l->setObjectName(name);
            l->setFixedSize(17, 22);
            l->setStyleSheet(QStringLiteral("min-width: 17;\nmax-width: 17;\nmin-height: 22;\nmax-height: 22;\npadding: 0;\n"
                                            "border: 0;\nbackground-image: url(:/gui/%1);").arg(image));
            l->setAttribute(Qt::WA_LayoutUsesWidgetRect);
            return l;
        };
        auto *h16 = new QHBoxLayout;
        h16->setSpacing(5);
        h16->addItem(fixedSpacer(15));
        auto *v11 = new QVBoxLayout;
        v11->addWidget(startLoopBtn);
        v11->addWidget(endLoopBtn);
        h16->addLayout(v11);
        auto *v10 = new QVBoxLayout;
        v10->setSpacing(6);
        auto *h17 = new QHBoxLayout;
        h17->addWidget(prevBtn);
        h17->addWidget(icon(QStringLiteral("label"), QStringLiteral("Lopp-adjust")));
        h17->addWidget(nextBtn);
        auto *h18 = new QHBoxLayout;
        h18->addWidget(prevBtn2);
        h18->addWidget(icon(QStringLiteral("label_2"), QStringLiteral("marker-adjust")));
        h18->addWidget(nextBtn2);
        v10->addLayout(h17);
        v10->addLayout(h18);
        h16->addLayout(v10);
        auto *v9 = new QVBoxLayout;
        v9->addWidget(editLoopBtn);
        v9->addWidget(deleteLoopBtn);
        h16->addLayout(v9);
        h16->addItem(fixedSpacer(15));
        v8->addLayout(h16);
        verticalLayout->addWidget(loops);
    }

    QFrame *buildVolumeRow()
    {
        auto *volumeFrame = new QFrame(q);
        volumeFrame->setObjectName(QStringLiteral("frame_5"));
        volumeFrame->setFrameShape(QFrame::StyledPanel);
        volumeFrame->setFrameShadow(QFrame::Raised);
        volumeFrame->setStyleSheet(QStringLiteral("#frame_5\n{\nborder: 1px solid black;\nborder-radius: 5px;\n}"));
        verticalLayout_13 = new QVBoxLayout(volumeFrame);
        verticalLayout_13->setContentsMargins(5, 1, 5, 1);
        auto *h9 = new QHBoxLayout;
        h9->setSpacing(3);
        auto *volumeIcon = new QLabel(q);
        volumeIcon->setObjectName(QStringLiteral("voumeIcon"));
        volumeIcon->setFixedSize(27, 15);
        volumeIcon->setPixmap(QPixmap(QStringLiteral(":/gui/volume_indicator")));
        h9->addWidget(volumeIcon);
        volume = new QLabel(QStringLiteral("100%"), q);
        volume->setObjectName(QStringLiteral("volume"));
        volume->setMinimumWidth(30);
        h9->addWidget(volume);
        volumeSlider = new QSlider(Qt::Horizontal, q);
        volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
        volumeSlider->setRange(0, 100);
        volumeSlider->setValue(100);
        volumeSlider->setStyleSheet(QString::fromLatin1(kVolumeSliderStyle));
        h9->addWidget(volumeSlider);
        verticalLayout_13->addLayout(h9);
        return volumeFrame;
    }

    // Shortcuts belong to the buttons themselves; the edit commands take the
    // platform's keys (a button holds one: the first).
    void setShortcuts()
    {
        const struct
        {
            const char *name;
            QKeySequence key;
        } keys[] = {{"deleteBtn", QKeySequence(QKeySequence::Delete)},
                    {"cutBtn", QKeySequence(QKeySequence::Cut)},
                    {"copyBtn", QKeySequence(QKeySequence::Copy)},
                    {"pasteBtn", QKeySequence(QKeySequence::Paste)},
                    {"startLoopBtn", QKeySequence(QStringLiteral("B"))},
                    {"endLoopBtn", QKeySequence(QStringLiteral("E"))},
                    {"deleteLoopBtn", QKeySequence(QStringLiteral("Shift+Del"))},
                    {"prevBtn", QKeySequence(QStringLiteral("L"))},
                    {"nextBtn", QKeySequence(QStringLiteral(";"))}};
        for (const auto &k : keys)
            q->button(QLatin1String(k.name))->setShortcut(k.key);
    }
};

EditVideoWidget::EditVideoWidget(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), d(std::make_unique<EditVideoWidgetImpl>(this))
{
    setObjectName(QStringLiteral("EditVideoWidgetClass"));
    setWindowTitle(QStringLiteral("Form"));
    resize(269, 443);
    setMinimumSize(269, 443);
    setMaximumWidth(269);
    setStyleSheet(QStringLiteral("QPushButton{\npadding: 0;\nborder: 0;\n}"));

    QVBoxLayout *outer = d->buildPanel();
    d->buildTempoSection();
    d->buildPitchSection();
    d->buildEditSection();
    d->buildLoopSection();
    outer->addWidget(d->buildVolumeRow());
    d->createSilenceMenu();
    d->setShortcuts();
    d->describeButtons();
    connectTempoAndPitch();
    connectEditAndLoops();

    if (ScreenRules::isLowResolutionScreen()) {
        d->verticalLayout->setContentsMargins(3, 3, 3, 3);
        d->verticalLayout->setSpacing(3);
        d->verticalLayout_13->setContentsMargins(5, 0, 5, 0);
        d->verticalLayout_13->setSpacing(0);
        setMinimumHeight(426);
    }
}

void EditVideoWidget::connectTempoAndPitch()
{
    connect(d->tempoSlider, &QSlider::valueChanged, this, &EditVideoWidget::onTempoSliderValueChanged);
    connect(d->tempoSlider, &QSlider::sliderReleased, this, &EditVideoWidget::onTempoSliderReleased);
    connect(d->tempoSlider, &QSlider::actionTriggered, this,
            [this](int action) { sliderStepped(d->tempoSlider, action, &EditVideoWidget::tempoChanged); });
    connect(d->tempoSteps[0], &QPushButton::clicked, this, &EditVideoWidget::onPlusTempoBtnPressed);
    connect(d->tempoSteps[1], &QPushButton::clicked, this, &EditVideoWidget::onPlusTempoBtn2Pressed);
    connect(d->tempoSteps[2], &QPushButton::clicked, this, &EditVideoWidget::onMinusTempoBtn2Pressed);
    connect(d->tempoSteps[3], &QPushButton::clicked, this, &EditVideoWidget::onMinusTempoBtnPressed);
    connect(d->tempoRow[0], &QPushButton::clicked, this, &EditVideoWidget::onTempo20BtnPressed);
    connect(d->tempoRow[1], &QPushButton::clicked, this, &EditVideoWidget::onTempo30BtnPressed);
    connect(d->tempoRow[2], &QPushButton::clicked, this, &EditVideoWidget::onTempo40BtnPressed);
    connect(d->tempoRow[3], &QPushButton::clicked, this, &EditVideoWidget::onTempo50BtnPressed);
    connect(d->tempoRow[4], &QPushButton::clicked, this, &EditVideoWidget::onTempo75BtnPressed);
    connect(d->resetTempo, &QPushButton::clicked, this, &EditVideoWidget::onTempoResetClicked);
    connect(d->pitchSlider, &QSlider::valueChanged, this, &EditVideoWidget::onPitchSliderValueChanged);
    connect(d->pitchSlider, &QSlider::sliderReleased, this, &EditVideoWidget::onPitchSliderReleased);
    connect(d->pitchSlider, &QSlider::actionTriggered, this,
            [this](int action) { sliderStepped(d->pitchSlider, action, &EditVideoWidget::pitchChanged); });
    connect(d->pitchSteps[0], &QPushButton::clicked, this, &EditVideoWidget::onPlusPitchBtnPressed);
    connect(d->pitchSteps[1], &QPushButton::clicked, this, &EditVideoWidget::onPlusPitchBtn2Pressed);
    connect(d->pitchSteps[2], &QPushButton::clicked, this, &EditVideoWidget::onMinusPitchBtn2Pressed);
    connect(d->pitchSteps[3], &QPushButton::clicked, this, &EditVideoWidget::onMinusPitchBtnPressed);
    connect(d->pitchRow[0], &QPushButton::clicked, this, &EditVideoWidget::onPlusPitchBtn3Pressed);
    connect(d->pitchRow[1], &QPushButton::clicked, this, &EditVideoWidget::onPitch2ndBtnPressed);
    connect(d->pitchRow[2], &QPushButton::clicked, this, &EditVideoWidget::onPitch3rdBtnPressed);
    connect(d->pitchRow[3], &QPushButton::clicked, this, &EditVideoWidget::onPitch4thBtnPressed);
    connect(d->pitchRow[4], &QPushButton::clicked, this, &EditVideoWidget::onPitch5thBtnPressed);
    connect(d->resetPitch, &QPushButton::clicked, this, &EditVideoWidget::onPitchResetClicked);
    connect(d->volumeSlider, &QSlider::valueChanged, this, &EditVideoWidget::onVolumeSliderValueChanged);
}

// The edit and loop buttons only report their clicks.
void EditVideoWidget::connectEditAndLoops()
{
    const struct
    {
        const char *name;
        void (EditVideoWidget::*signal)();
    } relays[] = {{"deleteBtn", &EditVideoWidget::deletePressed},
                  {"cutBtn", &EditVideoWidget::cutPressed},
                  {"copyBtn", &EditVideoWidget::copyPressed},
                  {"pasteBtn", &EditVideoWidget::pastePressed},
                  {"volBtn", &EditVideoWidget::volumePressed},
                  {"startLoopBtn", &EditVideoWidget::startLoopPressed},
                  {"endLoopBtn", &EditVideoWidget::endLoopPressed},
                  {"editLoopBtn", &EditVideoWidget::editLoopPressed},
                  {"deleteLoopBtn", &EditVideoWidget::deleteLoopPressed},
                  {"prevBtn", &EditVideoWidget::previousLoopPressed},
                  {"nextBtn", &EditVideoWidget::nextLoopPressed},
                  {"prevBtn2", &EditVideoWidget::previousMarkerPressed},
                  {"nextBtn2", &EditVideoWidget::nextMarkerPressed}};
    for (const auto &r : relays)
        connect(button(QLatin1String(r.name)), &QPushButton::clicked, this, r.signal);
    connect(d->insertSilenceAction, &QAction::triggered, this, &EditVideoWidget::insertSilencePressed);
    connect(d->silenceSectionAction, &QAction::triggered, this, &EditVideoWidget::silenceSectionPressed);
}

EditVideoWidget::~EditVideoWidget() = default;

QSlider *EditVideoWidget::tempoSlider() const { return d->tempoSlider; }
QSlider *EditVideoWidget::pitchSlider() const { return d->pitchSlider; }
QSlider *EditVideoWidget::volumeSlider() const { return d->volumeSlider; }
QLabel *EditVideoWidget::tempoLabel() const { return d->tempoLabel; }
QLabel *EditVideoWidget::pitchLabel() const { return d->pitchLabel; }
QLabel *EditVideoWidget::volumeLabel() const { return d->volume; }

QPushButton *EditVideoWidget::button(const QString &objectName) const
{
    return findChild<QPushButton *>(objectName);
}

void EditVideoWidget::setTempo(float tempo)
{
    if (d->tempoSlider->isSliderDown())
        return;
    tempoChanged(toHundredths(tempo), false);
}

void EditVideoWidget::setPitch(float pitch)
{
    if (d->pitchSlider->isSliderDown())
        return;
    pitchChanged(toHundredths(pitch), false);
}

void EditVideoWidget::setVolume(float volume)
{
    d->volumeSlider->blockSignals(true);
    d->volumeSlider->setValue(static_cast<int>(volume));
    d->volumeSlider->blockSignals(false);
    d->volume->setText(QStringLiteral("%1%").arg(static_cast<double>(volume), 0, 'g'));
}

void EditVideoWidget::setSilenceBtnEnabled(bool enabled)
{
    d->silenceBtn->setEnabled(enabled);
}

void EditVideoWidget::tempoChanged(int value, bool notify)
{
    value = qBound(kTempoMin, value, kTempoMax);
    const float tempo = static_cast<float>(value) / 100.0f;
    d->tempoLabel->setText(QStringLiteral("TEMPO: %1%").arg(static_cast<double>(tempo), 0, 'g', 6));
    {
        const QScopedValueRollback<bool> showing(d->showingValue, true);
        d->tempoSlider->setSliderPosition(value);
    }
    if (notify)
        emit tempoValueChanged(tempo);
}

void EditVideoWidget::pitchChanged(int value, bool notify)
{
    value = qBound(kPitchMin, value, kPitchMax);
    const float pitch = static_cast<float>(value) / 100.0f;
    d->pitchLabel->setText(QStringLiteral("PITCH: %1").arg(static_cast<double>(pitch), 0, 'g', 6));
    {
        const QScopedValueRollback<bool> showing(d->showingValue, true);
        d->pitchSlider->setSliderPosition(value);
    }
    if (notify)
        emit pitchValueChanged(pitch);
}

void EditVideoWidget::intervalPressed(int hundredths)
{
    pitchChanged(d->intervalUp ? hundredths : -hundredths, true);
}

// A click in the groove, a key or the wheel moves the slider without a
// press and release of its handle: the value is taken at once, on a whole
// percent or semitone, like a button's. A drag is taken on release.
void EditVideoWidget::sliderStepped(QSlider *slider, int action, void (EditVideoWidget::*update)(int, bool))
{
    // setSliderPosition() reports a move too: only the user's own count.
    if (d->showingValue || action == QAbstractSlider::SliderNoAction || slider->isSliderDown())
        return;
    (this->*update)(wholeUnits(slider->sliderPosition()), true);
}

int EditVideoWidget::wholeUnits(int hundredths)
{
    return static_cast<int>(std::lround(hundredths / 100.0)) * 100;
}

void EditVideoWidget::onTempoSliderValueChanged(int value)
{
    tempoChanged(d->tempoSlider->isSliderDown() ? wholeUnits(value) : value, false);
}
void EditVideoWidget::onTempoSliderReleased()
{
    tempoChanged(wholeUnits(d->tempoSlider->sliderPosition()), true);
}
void EditVideoWidget::onPlusTempoBtnPressed() { tempoChanged(d->tempoSlider->value() + 100, true); }
void EditVideoWidget::onPlusTempoBtn2Pressed() { tempoChanged(d->tempoSlider->value() + 1, true); }
void EditVideoWidget::onMinusTempoBtnPressed() { tempoChanged(d->tempoSlider->value() - 100, true); }
void EditVideoWidget::onMinusTempoBtn2Pressed() { tempoChanged(d->tempoSlider->value() - 1, true); }
void EditVideoWidget::onTempo20BtnPressed() { tempoChanged(2500, true); }
void EditVideoWidget::onTempo30BtnPressed() { tempoChanged(3000, true); }
void EditVideoWidget::onTempo40BtnPressed() { tempoChanged(4000, true); }
void EditVideoWidget::onTempo50BtnPressed() { tempoChanged(5000, true); }
void EditVideoWidget::onTempo75BtnPressed() { tempoChanged(7500, true); }
void EditVideoWidget::onTempoResetClicked() { tempoChanged(10000, true); }

void EditVideoWidget::onPitchSliderValueChanged(int value)
{
    pitchChanged(d->pitchSlider->isSliderDown() ? wholeUnits(value) : value, false);
}
void EditVideoWidget::onPitchSliderReleased()
{
    pitchChanged(wholeUnits(d->pitchSlider->sliderPosition()), true);
}
void EditVideoWidget::onPlusPitchBtnPressed() { pitchChanged(d->pitchSlider->value() + 100, true); }
void EditVideoWidget::onPlusPitchBtn2Pressed() { pitchChanged(d->pitchSlider->value() + 1, true); }
void EditVideoWidget::onMinusPitchBtnPressed() { pitchChanged(d->pitchSlider->value() - 100, true); }
void EditVideoWidget::onMinusPitchBtn2Pressed() { pitchChanged(d->pitchSlider->value() - 1, true); }
void EditVideoWidget::onPlusPitchBtn3Pressed()
{
    d->intervalUp = !d->intervalUp;
    d->updatePitchPlusBtn();
}
void EditVideoWidget::onPitch2ndBtnPressed() { intervalPressed(200); }
void EditVideoWidget::onPitch3rdBtnPressed() { intervalPressed(400); }
void EditVideoWidget::onPitch4thBtnPressed() { intervalPressed(500); }
void EditVideoWidget::onPitch5thBtnPressed() { intervalPressed(1200); }
void EditVideoWidget::onPitchResetClicked() { pitchChanged(0, true); }

void EditVideoWidget::onVolumeSliderValueChanged(int value)
{
    d->volume->setText(QStringLiteral("%1%").arg(value));
    emit volumeChanged(value);
}

} // namespace TW
