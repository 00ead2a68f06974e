#include "core/ProgressMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>

#include <atomic>
#include <mutex>

namespace TW {

class ProgressMonitor::Impl
{
public:
    explicit Impl(ProgressMonitor *owner) : owner(owner) {}

    ProgressMonitor *owner;
    // A standard mutex, whose order the thread checker sees.
    mutable std::mutex lock;
    QPointer<QObject> progressBar;
    QPointer<QObject> statusLabel;
    QPointer<QObject> container;
    int minimum = 0;
    int maximum = 1;
    int value = 0;

    // A new value processes pending events only this long after the last
    // processing ended: a loop of thousands of steps on the graphical thread
    // (a project's bookmarks) would otherwise repaint the window at each.
    static constexpr qint64 ValueRepaintMs = 100;
    QElapsedTimer clock;
    std::atomic<qint64> lastProcessedMs{-ValueRepaintMs};

    void processEventsForValue();
};

namespace {

void processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

void ProgressMonitor::Impl::processEventsForValue()
{
    if (clock.elapsed() - lastProcessedMs.load() < ValueRepaintMs)
        return;
    processEvents();
    lastProcessedMs = clock.elapsed();
}

ProgressMonitor::ProgressMonitor() : QObject(nullptr), d(std::make_unique<Impl>(this))
{
    d->clock.start();
    // Made on first use, which may be on any thread; it belongs to the
    // graphical thread so that connections to its slots are delivered there.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());
}

ProgressMonitor::~ProgressMonitor() = default;

void ProgressMonitor::setWidgets(QObject *progressBar, QObject *statusLabel, QObject *container)
{
    std::lock_guard<std::mutex> lock(d->lock);
    if (d->progressBar)
        disconnect(this, nullptr, d->progressBar.data(), nullptr);
    d->progressBar = progressBar;
    if (progressBar) {
        // The numbers may come from any thread: they reach the bar queued.
        connect(this, SIGNAL(reset()), progressBar, SLOT(reset()), Qt::QueuedConnection);
        connect(this, SIGNAL(newRange(int,int)), progressBar, SLOT(setRange(int,int)),
                Qt::QueuedConnection);
        connect(this, SIGNAL(newValue(int)), progressBar, SLOT(setValue(int)),
                Qt::QueuedConnection);
        connect(this, SIGNAL(requestShow()), progressBar, SLOT(show()));
        connect(this, SIGNAL(requestHide()), progressBar, SLOT(hide()));
    }
    if (d->statusLabel)
        disconnect(this, nullptr, d->statusLabel.data(), nullptr);
    d->statusLabel = statusLabel;
    if (statusLabel) {
        connect(this, SIGNAL(setStatusText(QString)), statusLabel, SLOT(setText(QString)));
        connect(this, SIGNAL(requestShow()), statusLabel, SLOT(show()));
        connect(this, SIGNAL(requestHide()), statusLabel, SLOT(hide()));
    }
    if (d->container) {
        disconnect(this, SIGNAL(requestShow()), d->container.data(), SLOT(show()));
        disconnect(this, SIGNAL(requestHide()), d->container.data(), SLOT(hide()));
    }
    d->container = container;
}

void ProgressMonitor::startProgress(int minValue, int maxValue, int curValue,
                                    const QString &message)
{
    {
        std::lock_guard<std::mutex> lock(d->lock);
        d->minimum = minValue;
        d->maximum = maxValue;
        d->value = curValue;
    }
    emit requestShow();
    int mn, mx, v;
    {
        std::lock_guard<std::mutex> lock(d->lock);
        mn = d->minimum;
        mx = d->maximum;
        v = d->value;
    }
    emit newRange(mn, mx);
    emit newValue(v);
    processEvents();
    updateProgress(message);
}

void ProgressMonitor::updateProgress(int curValue)
{
    {
        std::lock_guard<std::mutex> lock(d->lock);
        d->value = curValue;
    }
    emit newValue(curValue);
    d->processEventsForValue();
}

void ProgressMonitor::updateProgress(int deltaMinValue, int deltaMaxValue, int deltaCurValue)
{
    int mn, mx, v;
    {
        std::lock_guard<std::mutex> lock(d->lock);
        mn = d->minimum += deltaMinValue;
        mx = d->maximum += deltaMaxValue;
        v = d->value += deltaCurValue;
    }
    emit newRange(mn, mx);
    emit newValue(v);
    processEvents();
}

void ProgressMonitor::updateProgress(const QString &message)
{
    emit setStatusText(message);
    processEvents();
}

void ProgressMonitor::operator++()
{
    int v;
    {
        std::lock_guard<std::mutex> lock(d->lock);
        v = ++d->value;
    }
    emit newValue(v);
    d->processEventsForValue();
}

void ProgressMonitor::stopProgress()
{
    {
        std::lock_guard<std::mutex> lock(d->lock);
        d->minimum = 0;
        d->maximum = 0;
        d->value = 0;
    }
    emit newRange(0, 1);
    emit reset();
    emit setStatusText(QString());
    emit requestHide();
    processEvents();
}

int ProgressMonitor::minimum() const
{
    std::lock_guard<std::mutex> lock(d->lock);
    return d->minimum;
}

int ProgressMonitor::maximum() const
{
    std::lock_guard<std::mutex> lock(d->lock);
    return d->maximum;
}

int ProgressMonitor::value() const
{
    std::lock_guard<std::mutex> lock(d->lock);
    return d->value;
}

} // namespace TW
