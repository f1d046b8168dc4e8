// "Gestion utilisateurs": the operator adds, edits and deletes accounts.
#pragma once

#include <QDialog>

#include <optional>
#include <vector>

#include "server/core/administration.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace parlo::server {

class OperatorPrompts;
class ServerCore;

class AdministrationDialog : public QDialog {
    Q_OBJECT

  public:
    AdministrationDialog(ServerCore& core, OperatorPrompts& prompts, QWidget* parent = nullptr);

    // The buttons' actions.
    void Add();
    void Modify();
    void Delete();
    // Sorts by the text of `column`, byte by byte, greatest first; the
    // selected account stays selected and the fields keep their text.
    void SortByColumn(int column);

    QTreeWidget& List() { return *list_; }
    QLineEdit& LoginField() { return *login_; }
    QLineEdit& PasswordField() { return *password_; }
    QLineEdit& FirstNameField() { return *first_name_; }
    QLineEdit& LastNameField() { return *last_name_; }
    QLineEdit& EmailField() { return *email_; }

  private:
    void Fill();
    void ShowRows();  // rows_ into the list, nothing selected, fields untouched
    void FillFieldsFromSelection();
    std::optional<size_t> SelectedIndex() const;  // in rows_
    const AccountFields* SelectedRow() const;
    AccountFields Fields() const;
    // True when the fields make an acceptable record text; warns when they
    // are too long, says nothing when they fail the input check.
    bool FieldsAcceptable(const AccountFields& fields);
    // Tells the operator that a change was undone because it could not be saved.
    void WarnIfNotSaved(AdminResult result);

    ServerCore& core_;
    OperatorPrompts& prompts_;
    std::vector<AccountFields> rows_;  // in the order shown
    QTreeWidget* list_;
    QLineEdit* login_;
    QLineEdit* password_;
    QLineEdit* first_name_;
    QLineEdit* last_name_;
    QLineEdit* email_;
};

}  // namespace parlo::server
