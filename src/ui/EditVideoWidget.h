#pragma once

#include <QWidget>
#include <memory>

class QPushButton;
class QSlider;
class QLabel;

namespace TW {

// The fixed-width panel beside the video: tempo, pitch, edit, loop and
// volume controls. It holds no project state; it shows the values it is
// given and reports every user choice by a signal.
class EditVideoWidget : public QWidget
{
    Q_OBJECT
public:
    explicit EditVideoWidget(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~EditVideoWidget() override;

    // Read access for the main window and tests.
    QSlider *tempoSlider() const;
    QSlider *pitchSlider() const;
    QSlider *volumeSlider() const;
    QLabel *tempoLabel() const;
    QLabel *pitchLabel() const;
    QLabel *volumeLabel() const;
    QPushButton *button(const QString &objectName) const;

public slots:
    void setTempo(float tempo);
    void setPitch(float pitch);
    void setVolume(float volume);
    void setSilenceBtnEnabled(bool enabled = true);

signals:
    void tempoValueChanged(float tempo);
    void pitchValueChanged(float pitch);
    void volumeChanged(int volume);
    void deletePressed();
    void cutPressed();
    void copyPressed();
    void pastePressed();
    void volumePressed();
    void insertSilencePressed();
    void silenceSectionPressed();
    void startLoopPressed();
    void endLoopPressed();
    void editLoopPressed();
    void deleteLoopPressed();
    void previousLoopPressed();
    void nextLoopPressed();
    void previousMarkerPressed();
    void nextMarkerPressed();

private slots:
    void onTempoSliderValueChanged(int value);
    void onTempoSliderReleased();
    void onPlusTempoBtnPressed();
    void onPlusTempoBtn2Pressed();
    void onMinusTempoBtnPressed();
    void onMinusTempoBtn2Pressed();
    void onTempo20BtnPressed();
    void onTempo30BtnPressed();
    void onTempo40BtnPressed();
    void onTempo50BtnPressed();
    void onTempo75BtnPressed();
    void onTempoResetClicked();
    void onPitchSliderValueChanged(int value);
    void onPitchSliderReleased();
    void onPlusPitchBtnPressed();
    void onPlusPitchBtn2Pressed();
    void onMinusPitchBtnPressed();
    void onMinusPitchBtn2Pressed();
    void onPlusPitchBtn3Pressed();
    void onPitch2ndBtnPressed();
    void onPitch3rdBtnPressed();
    void onPitch4thBtnPressed();
    void onPitch5thBtnPressed();
    void onPitchResetClicked();
    void onVolumeSliderValueChanged(int value);

private:
    void connectTempoAndPitch();
    void connectEditAndLoops();
    void sliderStepped(QSlider *slider, int action, void (EditVideoWidget::*update)(int, bool));
    static int wholeUnits(int hundredths);
    void tempoChanged(int value, bool notify);
    void pitchChanged(int value, bool notify);
    void intervalPressed(int hundredths);

    struct EditVideoWidgetImpl;
    std::unique_ptr<EditVideoWidgetImpl> d;
};

} // namespace TW
