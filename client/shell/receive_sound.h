// "Receive.wav", named without a directory and so read from the working
// directory, played without waiting for its end. When it cannot be played
// (no file, no audio output, a file that does not decode) the desktop's
// default sound plays instead.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSoundEffect;

namespace parlo::client {

class ReceiveSound : public QObject {
    Q_OBJECT

  public:
    explicit ReceiveSound(QString file_name = QStringLiteral("Receive.wav"),
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
    std::unique_ptr<QSoundEffect> effect_;  // made at the first play
    bool play_when_loaded_ = false;
};

}  // namespace parlo::client
