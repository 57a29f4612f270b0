#pragma once
// The user's preferences and their storage: one value per field under the current user's
// RegistryKey + "\Options"; the start-with-the-desktop choice is the Run value "VNTR".

#include "ZTDateUtils.h"
#include "ZTSysUtils.h"

#include <QString>

#include <cstdint>

// The product's registry key (the application object's RegistryKey).
inline constexpr char16_t VNTRRegistryKey[] = u"Software\\Merrowick\\Merrowick Deskware\\Ventaro!";
// The per-user Run key value that starts the program at log-on.
inline constexpr char16_t VNTRRunValue[] = u"VNTR";

class TVNTROptions {
public:
    // Every field at its default; the values live under registryKey + "\Options".
    explicit TVNTROptions(const QString &registryKey = QString::fromUtf16(VNTRRegistryKey));

    // Reads every field but AutoStartup from its value, each on its own: a missing value, one
    // of another type, or an unreadable key keeps the field as it is. Values out of range are
    // taken as stored. Then AutoStartup = whether the Run value "VNTR" exists. Writes nothing.
    void LoadFromRegistry();
    // Writes every field but AutoStartup to its value, creating the key; failures are lost.
    void SaveToRegistry() const;
    void Load() { LoadFromRegistry(); }
    void Save() const { SaveToRegistry(); }

    // Writes the Run value "VNTR" = programPath when AutoStartup is on, deletes it when off.
    void ApplyAutoStartup(const QString &programPath) const;

    // Whether day dayOfWeek (Monday 1 .. Sunday 7) is a working day of WorkDays.
    bool IsWorkingDay(int dayOfWeek) const;
    // Whether half-hour slot `slot` of `date` is working time: a working day, and StartTime <=
    // slot <= EndTime.
    bool IsWorkingTime(TDateTime date, int slot) const;

    // The key that holds the values.
    QString OptionsKey() const { return optionsKey_; }

    bool CloseMinimizes = true;
    bool SaveWindow = true;
    bool AutoStartup = true;
    bool ShowTips = true;
    bool DeleteAfterDismiss = true;
    // A desktop notification goes with each alert.
    bool ShowNotification = true;
    TColor BackColor = clWindow;
    TColor TextColor = clWindowText;
    TColor TitleBackColor = clActiveCaption;
    TColor TitleTextColor = clWhite;
    TColor TrailingTextColor = clInactiveCaptionText;
    std::int32_t StartTime = 18;
    std::int32_t EndTime = 38;
    std::int32_t DefaultReminder = 0;
    TColor PanelWorkingColor = clBtnHighlight;
    TColor PanelNonworkingColor = clBtnFace;
    TColor PanelSelectedColor = clHighlight;
    TColor PanelHourBackColor = clInactiveCaption;
    TColor PanelHourTextColor = clCaptionText;
    TColor ReminderBackColor = clInfoBk;
    TColor ReminderTextColor = clWindowText;
    TColor ReminderSelectedBackColor = clHighlight;
    TColor ReminderSelectedTextColor = clHighlightText;
    QString DefaultSound;
    QString WorkDays = QStringLiteral("1111100");

    // Calendar sync (off by default). SyncUrl is the calendar collection or the server's
    // address; SyncInterval is in minutes. The password lives in the desktop's keyring, never
    // here; SyncPasswordCommand (empty by default) is a command whose first line of output is
    // the password, for desktops without a keyring.
    bool SyncEnabled = false;
    QString SyncUrl;
    QString SyncUser;
    std::int32_t SyncInterval = 15;
    QString SyncPasswordCommand;

private:
    QString optionsKey_;
};
