#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace TW::test {

namespace {

struct Answer
{
    bool forBox = true;
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QString file;
};

} // namespace

struct ModalAnswerer::Impl
{
    QTimer timer;
    QList<Answer> answers;
    QList<Seen> seen;

    bool takeAnswer(bool forBox, Answer *answer)
    {
        if (answers.isEmpty() || answers.first().forBox != forBox)
            return false;
        *answer = answers.takeFirst();
        return true;
    }

    void handleBox(QMessageBox *box)
    {
        Seen s;
        s.kind = Seen::Box;
        s.title = box->windowTitle();
        s.text = box->text();
        s.defaultButton = box->standardButton(box->defaultButton());
        Answer answer;
        QAbstractButton *button = nullptr;
        if (takeAnswer(true, &answer))
            button = box->button(answer.button);
        if (!button) {
            s.expected = false;
            button = box->escapeButton();
            if (!button)
                button = box->defaultButton();
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
        }
        seen << s;
        if (button)
            button->click();
        else
            box->reject();
    }

    void handleFileDialog(QFileDialog *dialog)
    {
        Seen s;
        s.kind = Seen::FileDialog;
        s.title = dialog->windowTitle();
        s.directory = dialog->directory().absolutePath();
        s.nameFilters = dialog->nameFilters();
        s.saving = dialog->acceptMode() == QFileDialog::AcceptSave;
        Answer answer;
        const bool answered = takeAnswer(false, &answer);
        s.expected = answered;
        seen << s;
        if (!answered || answer.file.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(answer.file);
        // selectFile leaves the name field alone while it has the focus;
        // typing the full name there is what a user does anyway.
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(answer.file);
        // What the Save or Open button does.
        QMetaObject::invokeMethod(dialog, "accept");
    }

    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            handleBox(box);
        else if (auto *dialog = qobject_cast<QFileDialog *>(modal))
            handleFileDialog(dialog);
    }
};

ModalAnswerer::ModalAnswerer() : d(std::make_unique<Impl>())
{
    d->timer.setInterval(10);
    QObject::connect(&d->timer, &QTimer::timeout, [this] { d->check(); });
    d->timer.start();
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::answerBox(QMessageBox::StandardButton button)
{
    Answer a;
    a.forBox = true;
    a.button = button;
    d->answers << a;
}

void ModalAnswerer::answerFile(const QString &name)
{
    Answer a;
    a.forBox = false;
    a.file = name;
    d->answers << a;
}

QList<ModalAnswerer::Seen> ModalAnswerer::seen() const
{
    return d->seen;
}

QStringList ModalAnswerer::boxes() const
{
    QStringList out;
    for (const Seen &s : d->seen) {
        if (s.kind == Seen::Box)
            out << s.title + QStringLiteral(": ") + s.text;
    }
    return out;
}

QStringList ModalAnswerer::unexpected() const
{
    QStringList out;
    for (const Seen &s : d->seen) {
        if (!s.expected)
            out << s.title + QStringLiteral(": ") + s.text;
    }
    return out;
}

int ModalAnswerer::answersLeft() const
{
    return int(d->answers.size());
}

void ModalAnswerer::clear()
{
    d->answers.clear();
    d->seen.clear();
}

} // namespace TW::test
