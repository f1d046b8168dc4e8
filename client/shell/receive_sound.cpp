#include "client/shell/receive_sound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace parlo::client {

ReceiveSound::ReceiveSound(QString file_name, QObject* parent)
    : QObject(parent), file_name_(std::move(file_name)) {}

ReceiveSound::~ReceiveSound() = default;

void ReceiveSound::Play() {
    const QFileInfo file(file_name_);
    if (!file.isFile() || QMediaDevices::audioOutputs().isEmpty()) {
        FallBack();
        return;
    }
    if (!effect_) {
        effect_ = std::make_unique<QSoundEffect>();
        connect(effect_.get(), &QSoundEffect::statusChanged, this, &ReceiveSound::OnStatusChanged);
        effect_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    }
    switch (effect_->status()) {
        case QSoundEffect::Ready:
            effect_->play();
            break;
        case QSoundEffect::Error:
            FallBack();
            break;
        default:
            play_when_loaded_ = true;  // still loading
            break;
    }
}

void ReceiveSound::OnStatusChanged() {
    if (!play_when_loaded_) {
        return;
    }
    if (effect_->status() == QSoundEffect::Ready) {
        play_when_loaded_ = false;
        effect_->play();
    } else if (effect_->status() == QSoundEffect::Error) {
        play_when_loaded_ = false;
        FallBack();
    }
}

void ReceiveSound::FallBack() {
    QApplication::beep();
    emit FellBack();
}

}  // namespace parlo::client
