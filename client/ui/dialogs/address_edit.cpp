#include "client/ui/dialogs/address_edit.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>

#include "protocol/field_string.h"

namespace parlo::client {

namespace {

// 0 to 255 without leading zeros, or nothing.
const QRegularExpression kNumber(QStringLiteral("25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9]|"));

int NumberOf(const QLineEdit& field) {
    return field.text().toInt();  // the validator keeps it 0-255; empty reads 0
}

}  // namespace

AddressEdit::AddressEdit(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
    auto* row = new QHBoxLayout(this);
    QStyleOptionFrame option;
    option.initFrom(this);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    row->setContentsMargins(frame + 1, frame, frame + 1, frame);
    row->setSpacing(0);
    auto* validator = new QRegularExpressionValidator(kNumber, this);
    // Three digits with a digit's room to spare.
    const int digits_width = fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 4;
    for (int i = 0; i < kFields; ++i) {
        if (i != 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            row->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(validator);
        field->setFixedWidth(digits_width);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i, field] {
            if (field->text().size() == 3 && field->cursorPosition() == 3 && i + 1 < kFields) {
                MoveTo(i + 1, false);
            }
            emit Edited();
        });
        row->addWidget(field);
        fields_[static_cast<size_t>(i)] = field;
    }
    setFocusProxy(fields_[0]);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void AddressEdit::ShowAddress(std::string_view address) {
    const std::string text(address);
    for (int i = 0; i < kFields; ++i) {
        const FieldString part(std::string(FieldView(text, i + 1, '.')).c_str());
        Field(i).setText(QString::number(part.ToInt() & 0xff));
    }
}

std::string AddressEdit::Address() const {
    std::string out;
    for (int i = 0; i < kFields; ++i) {
        if (i != 0) {
            out.push_back('.');
        }
        out += std::to_string(NumberOf(*fields_[static_cast<size_t>(i)]));
    }
    return out;
}

void AddressEdit::paintEvent(QPaintEvent* /*event*/) {
    // The frame and background of one line edit around the four numbers.
    QPainter painter(this);
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (isAncestorOf(QApplication::focusWidget())) {
        option.state |= QStyle::State_HasFocus;
    }
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
}

int AddressEdit::IndexOf(const QObject* field) const {
    for (int i = 0; i < kFields; ++i) {
        if (fields_[static_cast<size_t>(i)] == field) {
            return i;
        }
    }
    return -1;
}

void AddressEdit::MoveTo(int index, bool at_end) {
    QLineEdit& field = Field(index);
    field.setFocus(Qt::OtherFocusReason);
    if (at_end) {
        field.deselect();
        field.end(false);
    } else {
        field.selectAll();
    }
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index < 0) {
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        update();  // the frame shows the focus of any of the numbers
        return false;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const QLineEdit& field = Field(index);
    const bool at_start = field.cursorPosition() == 0 && !field.hasSelectedText();
    const bool at_end = field.cursorPosition() == field.text().size() && !field.hasSelectedText();
    switch (key->key()) {
        case Qt::Key_Period:
        case Qt::Key_Comma:
            if (!field.text().isEmpty() && !field.hasSelectedText() && index + 1 < kFields) {
                MoveTo(index + 1, false);
            }
            return true;  // never typed into a number
        case Qt::Key_Backspace:
        case Qt::Key_Left:
            if (at_start && index > 0) {
                MoveTo(index - 1, true);
                return true;
            }
            return false;
        case Qt::Key_Right:
            if (at_end && index + 1 < kFields) {
                MoveTo(index + 1, false);
                return true;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace parlo::client
