#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace TW {

// The status bar's progress service: a bar and a label that show while a
// long operation runs. Any thread may report: the range and value are kept
// under a lock and reach the widgets only through signals (queued to the
// bar, automatic to the label). Every operation but setWidgets ends by
// processing the calling thread's pending events (user input excluded), so
// long work on the graphical thread still repaints the bar; a new value
// alone (++ and updateProgress(int)) does so at most ten times a second.
// One per process through Singleton<ProgressMonitor>. The widgets are met
// through their slots by name (a progress bar's reset/setRange/setValue, a
// label's setText, show and hide), so the service itself needs no widgets
// library and reporters in any layer may use it.
class ProgressMonitor : public QObject
{
    Q_OBJECT

public:
    ProgressMonitor();
    ~ProgressMonitor() override;

    // Adds one to the value (from any thread).
    void operator++();

    // The stored numbers, read under the lock.
    int minimum() const;
    int maximum() const;
    int value() const;

public slots:
    // progressBar: a QProgressBar; statusLabel: a QLabel; container: the
    // status bar holding them. Any of them may be null; the previous ones
    // are let go.
    void setWidgets(QObject *progressBar, QObject *statusLabel, QObject *container);
    void startProgress(int minValue, int maxValue, int curValue, const QString &message);
    void updateProgress(int curValue);
    void updateProgress(int deltaMinValue, int deltaMaxValue, int deltaCurValue);
    void updateProgress(const QString &message);
    void stopProgress();

signals:
    void newRange(int min, int max);
    void newValue(int val);
    void reset();
    void setStatusText(const QString &txt);
    void requestShow();
    void requestHide();

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
