// What the dialog tests share: the core's session over fakes, with a real
// settings file, and ways to drive widgets as a user does.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

#include "client/ui/common/dialog_parts.h"
#include "tests/support/client_fakes.h"

namespace parlo::client::testing {

// Enter with the focus on `widget`, delivered as the keyboard does.
inline void PressEnter(QWidget& widget) {
    widget.setFocus();
    QTest::keyClick(&widget, Qt::Key_Return);
}

// Replaces a field's text as typing would (textEdited, then textChanged).
inline void Type(QLineEdit& field, const QString& text) {
    field.selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(&field, Qt::Key_Delete);
    }
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(&field, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Click, &field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

// The widgets Tab visits from `first`, `count` steps, in their order.
inline std::vector<QWidget*> TabChain(QWidget& window, QWidget& first, int count) {
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    first.setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> chain{QApplication::focusWidget()};
    for (int i = 1; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        chain.push_back(QApplication::focusWidget());
    }
    return chain;
}

}  // namespace parlo::client::testing
