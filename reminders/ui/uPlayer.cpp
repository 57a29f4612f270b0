#include "uPlayer.h"

#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

bool VNTRIsPlayableWave(const QString &fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

QString VNTRChoosePlayableFile(const QString &fileName, const QString &fallback)
{
    if (VNTRIsPlayableWave(fileName))
        return fileName;
    if (VNTRIsPlayableWave(fallback))
        return fallback;
    return QString();
}

TVNTRPlayer::TVNTRPlayer(QObject *parent) : QObject(parent) {}

TVNTRPlayer::~TVNTRPlayer()
{
    if (effect_)
        effect_->stop();
}

void TVNTRPlayer::Play()
{
    wanted_ = true;
    Start(VNTRChoosePlayableFile(fileName_, fallback_));
}

void TVNTRPlayer::Start(const QString &file)
{
    if (effect_)
        effect_->stop();
    playing_ = file;
    if (file.isEmpty())
        return;
    if (!effect_) {
        // Made on first use, so a program that never alerts never opens the audio device.
        effect_ = std::make_unique<QSoundEffect>();
        connect(effect_.get(), &QSoundEffect::statusChanged, this, &TVNTRPlayer::StatusChanged);
    }
    effect_->setLoopCount(loop_ ? int(QSoundEffect::Infinite) : 1);
    effect_->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    // Plays at once when loaded, or as soon as loading ends.
    effect_->play();
}

void TVNTRPlayer::StatusChanged()
{
    // A file with a WAVE header whose data the decoder still refuses: play the fallback instead.
    if (!effect_ || effect_->status() != QSoundEffect::Error || !wanted_)
        return;
    if (playing_ == fallback_ || !VNTRIsPlayableWave(fallback_)) {
        playing_.clear();
        return;
    }
    // Not from inside the effect's own signal: the switch runs once the signal has returned,
    // unless a Stop came first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (wanted_)
                Start(fallback_);
        },
        Qt::QueuedConnection);
}

void TVNTRPlayer::Stop()
{
    wanted_ = false;
    if (effect_)
        effect_->stop();
}
