#pragma once
// The WAV player the alerts share: one per main window, asynchronous, looping on request and
// stopped at once. A file that cannot be played falls back to the fallback file (the user's
// default reminder sound) without a message.

#include <QObject>
#include <QString>

#include <memory>

class QSoundEffect;

// What the alerting code needs from a player; tests put a fake in its place.
class IVNTRPlayer {
public:
    virtual ~IVNTRPlayer() = default;

    virtual void SetLoop(bool loop) = 0;
    virtual bool Loop() const = 0;
    virtual void SetFileName(const QString &fileName) = 0;
    virtual QString FileName() const = 0;
    // The file played instead when FileName cannot be played.
    virtual void SetFallbackFileName(const QString &fileName) = 0;
    virtual QString FallbackFileName() const = 0;
    // Starts playing FileName and returns at once; with Loop set it repeats until stopped.
    virtual void Play() = 0;
    // Ends the sound at once; harmless when nothing plays.
    virtual void Stop() = 0;
};

// Whether the file can be handed to the player: it exists, is readable and starts with a
// RIFF/WAVE header. Reads twelve bytes; never raises.
bool VNTRIsPlayableWave(const QString &fileName);

// Which file to play: fileName when it is playable, else fallback when that is, else "".
QString VNTRChoosePlayableFile(const QString &fileName, const QString &fallback);

class TVNTRPlayer : public QObject, public IVNTRPlayer {
    Q_OBJECT

public:
    explicit TVNTRPlayer(QObject *parent = nullptr);
    ~TVNTRPlayer() override;

    void SetLoop(bool loop) override { loop_ = loop; }
    bool Loop() const override { return loop_; }
    void SetFileName(const QString &fileName) override { fileName_ = fileName; }
    QString FileName() const override { return fileName_; }
    void SetFallbackFileName(const QString &fileName) override { fallback_ = fileName; }
    QString FallbackFileName() const override { return fallback_; }
    void Play() override;
    void Stop() override;

    // The file actually handed to the sound effect by the last Play ("" when none was playable).
    QString PlayingFileName() const { return playing_; }

private:
    void StatusChanged();
    void Start(const QString &file);

    std::unique_ptr<QSoundEffect> effect_;
    QString fileName_;
    QString fallback_;
    QString playing_;
    bool loop_ = false;
    bool wanted_ = false; // Play was asked for and no Stop came since
};
