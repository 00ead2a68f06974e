#include "DownloaderStandIn.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QAbstractButton>
#include <QTextStream>

namespace TW::test {

namespace {

const char RunScript[] = R"(#!/bin/sh
printf '%s\n' "$@" >> "$STANDIN_LOG"
echo ---- >> "$STANDIN_LOG"
case "$1" in
  --list-formats) what=list ;;
  --get-title) what=title ;;
  *) what=download ;;
esac
if [ "$STANDIN_SLEEP" = "$what" ]; then exec sleep 30; fi
if [ "$STANDIN_CRASH" = "$what" ]; then ulimit -c 0; kill -SEGV $$; fi
case $what in
  list) cat "$STANDIN_FORMATS" ;;
  title) printf 'youtube-dl says hello\n%s\n' "$STANDIN_TITLE" ;;
  download)
    out=""; prev=""
    for a in "$@"; do
      if [ "$prev" = "-o" ]; then out=$a; fi
      prev=$a
    done
    printf '[download] Destination: somewhere\n[download]  12.5%% of 1.00MiB\r[download]  45.3%% of 1.00MiB\r'
    file=$(printf '%s' "$out" | sed 's/%%/%/g')
    if [ "$STANDIN_FAIL" != download ]; then
      if [ -n "$STANDIN_SOURCE" ]; then cp "$STANDIN_SOURCE" "$file"; else printf 'data' > "$file"; fi
    fi
    printf '[download]  99.9%% of 1.00MiB'
    ;;
esac
if [ "$STANDIN_FAIL" = "$what" ]; then
  if [ -n "$STANDIN_SAY" ]; then printf '%s\n' "$STANDIN_SAY" >&2; fi
  exit "${STANDIN_CODE:-1}"
fi
exit 0
)";

const char UpdateScript[] = R"(#!/bin/sh
printf 'update %s\n' "$#" >> "$STANDIN_LOG"
echo ---- >> "$STANDIN_LOG"
echo "Checking for updates"
echo "Updating to version ${STANDIN_VERSION:-2023.01.02}"
if [ "$STANDIN_FAIL" = update ]; then exit "${STANDIN_CODE:-1}"; fi
exit 0
)";

void writeScript(const QString &path, const char *text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(text);
        f.close();
    }
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

DownloaderStandIn::DownloaderStandIn()
{
    writeScript(dir.filePath(QStringLiteral("run")), RunScript);
    writeScript(dir.filePath(QStringLiteral("update.sh")), UpdateScript);
    qputenv("STANDIN_LOG", dir.filePath(QStringLiteral("log")).toLocal8Bit());
    qputenv("STANDIN_FORMATS", dir.filePath(QStringLiteral("formats")).toLocal8Bit());
    reset();
}

void DownloaderStandIn::reset()
{
    for (const char *name : {"STANDIN_TITLE", "STANDIN_FAIL", "STANDIN_CODE", "STANDIN_CRASH", "STANDIN_SLEEP",
                             "STANDIN_VERSION", "STANDIN_SOURCE", "STANDIN_SAY"})
        qunsetenv(name);
    QFile::remove(dir.filePath(QStringLiteral("log")));
}

void DownloaderStandIn::setFormats(const QString &text)
{
    QFile f(dir.filePath(QStringLiteral("formats")));
    if (f.open(QIODevice::WriteOnly))
        f.write(text.toUtf8());
}

QList<QStringList> DownloaderStandIn::runs() const
{
    QList<QStringList> out;
    QFile f(dir.filePath(QStringLiteral("log")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QStringList current;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line == QLatin1String("----")) {
            out << current;
            current.clear();
        } else if (!line.isEmpty()) {
            current << line;
        }
    }
    return out;
}

WindowAnswerer::WindowAnswerer()
{
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] { check(); });
    timer.start();
}

void WindowAnswerer::check()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    Seen s;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        s.title = box->windowTitle();
        s.text = box->text();
        seen << s;
        box->button(QMessageBox::Ok)->click();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        s.fileDialog = true;
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        s.proposedName = edit ? edit->text() : QString();
        s.directory = dialog->directory().absolutePath();
        s.filters = dialog->nameFilters();
        seen << s;
        if (useNextName) {
            useNextName = false;
            if (nextName.isEmpty()) {
                dialog->reject();
                return;
            }
            if (edit)
                edit->setText(nextName);
            dialog->selectFile(nextName);
        }
        QMetaObject::invokeMethod(dialog, "accept");
    }
}

} // namespace TW::test
