// A four-field IPv4 address input: four numbers from 0 to 255 between dots,
// drawn as one line edit. Typing "." or a third digit moves on to the next
// number; Backspace in an empty number and the arrow keys at either end move
// between numbers.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include <QWidget>

class QLineEdit;

namespace parlo::client {

class AddressEdit final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kFields = 4;

    explicit AddressEdit(QWidget* parent = nullptr);

    // Shows the address the way the settings dialog opens it: split at ".",
    // a missing part reading as empty, each part read as a number and kept
    // to its low 8 bits ("10.0.0" shows 10.0.0.0). Emits nothing.
    void ShowAddress(std::string_view address);
    // "%d.%d.%d.%d" of the four numbers, an empty one reading as 0.
    std::string Address() const;
    QLineEdit& Field(int index) { return *fields_[static_cast<size_t>(index)]; }

  signals:
    // The user changed one of the numbers.
    void Edited();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int IndexOf(const QObject* field) const;
    void MoveTo(int index, bool at_end);

    std::array<QLineEdit*, kFields> fields_{};
};

}  // namespace parlo::client
