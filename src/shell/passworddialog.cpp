#include "shell/passworddialog.h"

#include "shell/maskedfield.h"
#include "shell/uitext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

passwordDialog::passwordDialog(QWidget* parent)
    : QDialog(parent), edit(new QLineEdit(this)),
      hide(new QCheckBox(uiText(TextId::HideString), this))
{
    setWindowTitle(uiText(TextId::EnteringPassword));
    auto* label = new QLabel(uiText(TextId::EnterPassword), this);
    label->setBuddy(edit);
    edit->setAccessibleName(label->text());
    setMasked(edit, true);
    hide->setChecked(true);
    connect(hide, &QCheckBox::toggled, this, [this](bool checked) { setMasked(edit, checked); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(hide);
    layout->addWidget(buttons);
    setMinimumWidth(300);
}

QString passwordDialog::typedText() const
{
    return edit->text();
}
