#pragma once

#include <QWidget>
#include <array>

class QLineEdit;

// An IPv4 address field: four parts of 0 to 255.
class Ipv4AddressEdit : public QWidget
{
    Q_OBJECT

public:
    explicit Ipv4AddressEdit(QWidget* parent = nullptr);

    // How many of the four parts hold a number.
    int filledParts() const;
    // Dotted decimal; parts left empty read as 0.
    QString address() const;
    // Fills the parts from a dotted address; anything else empties them.
    void setAddress(const QString& address);
    void clear();
    QLineEdit* part(int index) const { return parts[static_cast<std::size_t>(index)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> parts;
};
