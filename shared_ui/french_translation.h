// Qt's own texts (standard buttons such as "Oui"/"Non"/"Annuler", the
// standard dialogs) in French, from the system's Qt translations.
#pragma once

class QCoreApplication;

namespace parlo::ui {

// Loads Qt's French translation into `app`. False, with nothing changed, when
// the system has none installed: the program then runs with Qt's English.
bool InstallFrenchTranslation(QCoreApplication& app);

}  // namespace parlo::ui
