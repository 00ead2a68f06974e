#pragma once

#include "core/ToolProcess.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QResizeEvent;

namespace TW {

class ConvertProgressDialogImpl;

// Converts DVD video files with ffmpeg (video re-encoded as H.264, the
// container following the destination's suffix), one source after another,
// behind a progress bar over the whole batch and a Cancel button.
//
// Each conversion writes to a working file beside its destination and only
// a run that ffmpeg ends with exit code 0 replaces the destination, so a
// cancelled, crashed or failed run never leaves a half-written destination
// nor damages a file that was there before; the working file replaces the
// destination in one step (rename over it), so the destination is at every
// moment either the old file or the new one. A destination that is its own
// source or an earlier destination of the same batch gets a free name
// ("name (2).mp4"). Sources that could not be converted are told at the end.
class ConvertProgressDialogImpl;

class ConvertProgressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConvertProgressDialog(QWidget *parent = nullptr);
    ~ConvertProgressDialog() override;

    // What the last batch made: the files written, and the sources that
    // failed (ffmpeg's exit status, or it could not be started).
    QStringList getWrittenFiles() const;
    QStringList getFailedSources() const;

    // The parent of the cancel and failure messages; the dialog's parent
    // unless set.
    void setMessageParent(QWidget *parent);

    // The progress lines ffmpeg writes, parsed: the time reached or the
    // length of the input, in seconds; -1 when the line is neither.
    static double progressTime(const QString &line);
    static double durationTime(const QString &line);
    // The first name, from "wanted" on ("name (2).ext", "name (3).ext", ...),
    // that is not among "taken" (compared as absolute paths).
    static QString freeName(const QString &wanted, const QStringList &taken);

public slots:
    // Converts source i into destination i, in order, showing the dialog
    // modally; returns when the last is done or the user cancelled. An empty
    // source list returns at once and shows nothing.
    void process(QStringList srcFiles, QStringList dstFiles);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void cancelClicked();
    void procLine(const QString &line);
    void procFinished(TW::ToolProcess::Verdict verdict);

private:
    friend class ConvertProgressDialogImpl;
    std::unique_ptr<ConvertProgressDialogImpl> d;
};

} // namespace TW
