#include "shell/ipv4addressedit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

namespace {

// One part of the address: up to three digits, at most 255. Anything else cannot be typed, so
// the field never holds a number the address cannot carry.
class AddressPartValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Acceptable;
        if (input.size() > 3)
            return Invalid;
        for (const QChar character : input) {
            if (character < u'0' || character > u'9')
                return Invalid;
        }
        return input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

} // namespace

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (std::size_t index = 0; index < parts.size(); ++index) {
        auto* field = new QLineEdit(this);
        field->setValidator(new AddressPartValidator(field));
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8);
        field->setAccessibleName(QStringLiteral("%1/4").arg(index + 1));
        parts[index] = field;
        if (index > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        layout->addWidget(field);
    }
    layout->addStretch();
    // Typing a dot, or a third digit, moves on to the next part.
    for (std::size_t index = 0; index + 1 < parts.size(); ++index) {
        QLineEdit* next = parts[index + 1];
        connect(parts[index], &QLineEdit::textEdited, this, [field = parts[index], next] {
            if (field->text().size() == 3)
                next->setFocus();
        });
        parts[index]->installEventFilter(this);
    }
}

bool Ipv4AddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->text() == u".") {
        for (std::size_t index = 0; index + 1 < parts.size(); ++index) {
            if (watched == parts[index] && !parts[index]->text().isEmpty()) {
                parts[index + 1]->setFocus();
                parts[index + 1]->selectAll();
            }
        }
        return true; // a dot is never part of a number
    }
    return QWidget::eventFilter(watched, event);
}

int Ipv4AddressEdit::filledParts() const
{
    int filled = 0;
    for (const QLineEdit* field : parts)
        filled += field->text().isEmpty() ? 0 : 1;
    return filled;
}

QString Ipv4AddressEdit::address() const
{
    QStringList numbers;
    for (const QLineEdit* field : parts)
        numbers.append(QString::number(field->text().toInt()));
    return numbers.join(u'.');
}

void Ipv4AddressEdit::setAddress(const QString& address)
{
    const QStringList numbers = address.split(u'.');
    bool valid = numbers.size() == 4;
    for (const QString& number : numbers) {
        bool ok = false;
        const int value = number.toInt(&ok);
        valid = valid && ok && value >= 0 && value <= 255;
    }
    for (std::size_t index = 0; index < parts.size(); ++index)
        parts[index]->setText(
            valid ? QString::number(numbers[static_cast<qsizetype>(index)].toInt()) : QString());
}

void Ipv4AddressEdit::clear()
{
    for (QLineEdit* field : parts)
        field->clear();
}
