// "Receive.wav", named without a directory and so read from the working
// directory, played without waiting for its end. When the working directory
// has none, the copy installed with the program plays. When it cannot be
// played (no file, no audio output, a file that does not decode) the
// desktop's default sound plays instead.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSoundEffect;

namespace parlo::client {

// The installed data directory: share/parlomatic beside the program's own
// bin directory (/usr/share/parlomatic for /usr/bin/parlomatic).
QString InstalledDataDirectory();
// The file to play: `name` when it is a file (a relative name is looked up
// in the working directory), otherwise the file of that name in
// `installed_dir`; empty when neither exists.
QString FindSoundFile(const QString& name, const QString& installed_dir);

class ReceiveSound : public QObject {
    Q_OBJECT

  public:
    explicit ReceiveSound(QString file_name = QStringLiteral("Receive.wav"),
                          QString installed_dir = InstalledDataDirectory(),
                          QObject* parent = nullptr);
    ~ReceiveSound() override;

    void Play();

  signals:
    // The default sound played in place of the file (for the tests).
    void FellBack();

  private:
    void FallBack();
    void OnStatusChanged();

    QString file_name_;
    QString installed_dir_;
    QString source_;                        // the file effect_ plays
    std::unique_ptr<QSoundEffect> effect_;  // made at the first play
    bool play_when_loaded_ = false;
};

}  // namespace parlo::client
