#pragma once
// A player that only records what it was asked to do, for the alerting tests.

#include "uPlayer.h"

#include <QStringList>

#include <functional>

class TFakePlayer : public IVNTRPlayer {
public:
    void SetLoop(bool loop) override { loop_ = loop; }
    bool Loop() const override { return loop_; }
    void SetFileName(const QString &fileName) override { fileName_ = fileName; }
    QString FileName() const override { return fileName_; }
    void SetFallbackFileName(const QString &fileName) override { fallback_ = fileName; }
    QString FallbackFileName() const override { return fallback_; }
    void Play() override
    {
        Playing = true;
        Played.append(fileName_ + (loop_ ? QStringLiteral(" (loop)") : QString()));
    }
    void Stop() override
    {
        Playing = false;
        ++Stops;
        if (OnStop)
            OnStop();
    }

    bool Playing = false;
    int Stops = 0;
    // One entry per Play: the file, with " (loop)" when looping.
    QStringList Played;
    std::function<void()> OnStop;

private:
    bool loop_ = false;
    QString fileName_;
    QString fallback_;
};
