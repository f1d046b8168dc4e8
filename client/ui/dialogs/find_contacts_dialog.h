// "Ajouter des contacts": searches the server's accounts, lists the matches
// and asks for the chosen login to be added to the address book.
#pragma once

#include <vector>

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace parlo {
struct AccountFields;
}

namespace parlo::client {

class Session;

class FindContactsDialog final : public QDialog {
    Q_OBJECT

  public:
    // The results list's columns: headings and widths in pixels.
    static constexpr int kColumns = 4;
    static constexpr int kColumnWidths[kColumns] = {70, 70, 100, 200};

    FindContactsDialog(Session& session, QWidget* parent);

    QLineEdit& LoginCriterion() { return *login_; }
    QLineEdit& FirstNameCriterion() { return *first_name_; }
    QLineEdit& LastNameCriterion() { return *last_name_; }
    QLineEdit& EmailCriterion() { return *email_; }
    QPushButton& SearchButton() { return *search_; }
    QTreeWidget& Results() { return *results_; }
    QLineEdit& LoginToAdd() { return *login_to_add_; }
    QPushButton& AddButton() { return *add_; }
    QPushButton& CloseButton() { return *close_; }

  private:
    void Search();
    void ShowResults(const std::vector<AccountFields>& rows);
    void TakeSelectedLogin();
    void Add();

    Session& session_;
    QLineEdit* login_ = nullptr;
    QLineEdit* first_name_ = nullptr;
    QLineEdit* last_name_ = nullptr;
    QLineEdit* email_ = nullptr;
    QPushButton* search_ = nullptr;
    QTreeWidget* results_ = nullptr;
    QLineEdit* login_to_add_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace parlo::client
