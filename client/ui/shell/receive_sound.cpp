#include "client/ui/shell/receive_sound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace parlo::client {

QString InstalledDataDirectory() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" PARLO_DATA_FROM_BINDIR));
}

QString FindSoundFile(const QString& name, const QString& installed_dir) {
    if (name.isEmpty()) {
        return {};
    }
    const QFileInfo here(name);
    if (here.isFile()) {
        return here.absoluteFilePath();
    }
    if (here.isRelative() && !installed_dir.isEmpty()) {
        const QFileInfo installed(QDir(installed_dir).filePath(name));
        if (installed.isFile()) {
            return installed.absoluteFilePath();
        }
    }
    return {};
}

ReceiveSound::ReceiveSound(QString file_name, QString installed_dir, QObject* parent)
    : QObject(parent), file_name_(std::move(file_name)), installed_dir_(std::move(installed_dir)) {}

ReceiveSound::~ReceiveSound() = default;

void ReceiveSound::Play() {
    const QString source = FindSoundFile(file_name_, installed_dir_);
    if (source.isEmpty() || QMediaDevices::audioOutputs().isEmpty()) {
        FallBack();
        return;
    }
    if (!effect_ || source != source_) {
        // A Receive.wav that appeared in (or left) the working directory
        // since the last play takes effect now.
        effect_ = std::make_unique<QSoundEffect>();
        connect(effect_.get(), &QSoundEffect::statusChanged, this, &ReceiveSound::OnStatusChanged);
        effect_->setSource(QUrl::fromLocalFile(source));
        source_ = source;
        play_when_loaded_ = false;
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
