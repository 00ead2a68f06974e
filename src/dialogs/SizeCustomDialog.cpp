#include "dialogs/SizeCustomDialog.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <climits>

namespace TW {

SizeCustomDialog::SizeCustomDialog(QWidget *parent)
    : QDialog(parent), m_size(-1, -1)
{
    createUI();
    setFixedSize(sizeHint());
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    setWindowTitle(tr("Custom size"));
}

SizeCustomDialog::~SizeCustomDialog() = default;

void SizeCustomDialog::createUI()
{
    auto *layout = new QVBoxLayout(this);

    auto *widthRow = new QHBoxLayout;
    widthRow->addWidget(new QLabel(tr("Width:"), this));
    m_width = new QLineEdit(this);
    m_width->setObjectName(QStringLiteral("width"));
    widthRow->addWidget(m_width);
    layout->addLayout(widthRow);

    auto *heightRow = new QHBoxLayout;
    heightRow->addWidget(new QLabel(tr("Height:"), this));
    m_height = new QLineEdit(this);
    m_height->setObjectName(QStringLiteral("height"));
    heightRow->addWidget(m_height);
    layout->addLayout(heightRow);

    auto *buttons = new QHBoxLayout;
    auto *ok = new QPushButton(tr("OK"), this);
    auto *cancel = new QPushButton(tr("Cancel"), this);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &SizeCustomDialog::okClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_width->setValidator(new QIntValidator(0, INT_MAX, m_width));
    m_height->setValidator(new QIntValidator(0, INT_MAX, m_height));
}

QString SizeCustomDialog::sideProblem(int value)
{
    if (value < MinSide || value > MaxSide || value % 2 != 0)
        return tr("Please enter an even number from %1 to %2.").arg(MinSide).arg(MaxSide);
    return QString();
}

void SizeCustomDialog::okClicked()
{
    if (!isInputCorrect())
        return;
    createOutput();
    accept();
}

bool SizeCustomDialog::isInputCorrect()
{
    const auto complain = [this](QLineEdit *field, const QString &text) {
        QToolTip::showText(mapToGlobal(field->pos()), text, this);
        return false;
    };
    if (m_width->text().isEmpty())
        return complain(m_width, tr("Please enter width."));
    if (m_height->text().isEmpty())
        return complain(m_height, tr("Please enter height."));
    // Frames are encoded in 4:2:0, which needs even sides; the encoders
    // and the player handle nothing smaller or larger than these.
    const QString widthProblem = sideProblem(m_width->text().toInt(nullptr, 10));
    if (!widthProblem.isEmpty())
        return complain(m_width, tr("Width: %1").arg(widthProblem));
    const QString heightProblem = sideProblem(m_height->text().toInt(nullptr, 10));
    if (!heightProblem.isEmpty())
        return complain(m_height, tr("Height: %1").arg(heightProblem));
    return true;
}

void SizeCustomDialog::createOutput()
{
    m_size = QSize(m_width->text().toInt(nullptr, 10), m_height->text().toInt(nullptr, 10));
}

QSize SizeCustomDialog::getSize() const
{
    return m_size;
}

} // namespace TW
