#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "shared_ui/french_translation.h"

namespace parlo::ui {
namespace {

TEST(FrenchTranslation, StandardButtonsReadInFrench) {
    ASSERT_TRUE(InstallFrenchTranslation(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, "Titre", "Question ?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Oui");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Non");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Annuler");
}

}  // namespace
}  // namespace parlo::ui
