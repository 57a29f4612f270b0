#include "clsOptions.h"

#include "ZTRegUtils.h"
#include "uFunctions.h"

namespace {

constexpr TZTRegHive Hive = TZTRegHive::CurrentUser;

QString RunKey()
{
    return QString::fromUtf16(ZTRunKey);
}

QString RunValue()
{
    return QString::fromUtf16(VNTRRunValue);
}

// The colour fields with their value names, in declaration order.
struct TColorField {
    const char *name;
    TColor TVNTROptions::*field;
};
constexpr TColorField ColorFields[] = {
    {"BackColor", &TVNTROptions::BackColor},
    {"TextColor", &TVNTROptions::TextColor},
    {"TitleBackColor", &TVNTROptions::TitleBackColor},
    {"TitleTextColor", &TVNTROptions::TitleTextColor},
    {"TrailingTextColor", &TVNTROptions::TrailingTextColor},
    {"PanelWorkingColor", &TVNTROptions::PanelWorkingColor},
    {"PanelNonworkingColor", &TVNTROptions::PanelNonworkingColor},
    {"PanelSelectedColor", &TVNTROptions::PanelSelectedColor},
    {"PanelHourBackColor", &TVNTROptions::PanelHourBackColor},
    {"PanelHourTextColor", &TVNTROptions::PanelHourTextColor},
    {"ReminderBackColor", &TVNTROptions::ReminderBackColor},
    {"ReminderTextColor", &TVNTROptions::ReminderTextColor},
    {"ReminderSelectedBackColor", &TVNTROptions::ReminderSelectedBackColor},
    {"ReminderSelectedTextColor", &TVNTROptions::ReminderSelectedTextColor},
};

struct TBoolField {
    const char *name;
    bool TVNTROptions::*field;
};
constexpr TBoolField BoolFields[] = {
    {"CloseMinimizes", &TVNTROptions::CloseMinimizes},
    {"SaveWindow", &TVNTROptions::SaveWindow},
    {"ShowTips", &TVNTROptions::ShowTips},
    {"DeleteAfterDismiss", &TVNTROptions::DeleteAfterDismiss},
    {"ShowNotification", &TVNTROptions::ShowNotification},
    {"SyncEnabled", &TVNTROptions::SyncEnabled},
};

struct TIntegerField {
    const char *name;
    std::int32_t TVNTROptions::*field;
};
constexpr TIntegerField IntegerFields[] = {
    {"StartTime", &TVNTROptions::StartTime},
    {"EndTime", &TVNTROptions::EndTime},
    {"DefaultReminder", &TVNTROptions::DefaultReminder},
    {"SyncInterval", &TVNTROptions::SyncInterval},
};

struct TTextField {
    const char *name;
    QString TVNTROptions::*field;
};
const TTextField TextFields[] = {
    {"DefaultSound", &TVNTROptions::DefaultSound},
    {"WorkDays", &TVNTROptions::WorkDays},
    {"SyncUrl", &TVNTROptions::SyncUrl},
    {"SyncUser", &TVNTROptions::SyncUser},
    {"SyncPasswordCommand", &TVNTROptions::SyncPasswordCommand},
};

} // namespace

TVNTROptions::TVNTROptions(const QString &registryKey) : optionsKey_(registryKey + QStringLiteral("\\Options")) {}

void TVNTROptions::LoadFromRegistry()
{
    for (const auto &f : BoolFields)
        this->*f.field = ZTRegReadBool(Hive, optionsKey_, QLatin1String(f.name), this->*f.field);
    for (const auto &f : ColorFields)
        this->*f.field = TColor(ZTRegReadInteger(Hive, optionsKey_, QLatin1String(f.name), std::int32_t(this->*f.field)));
    for (const auto &f : IntegerFields)
        this->*f.field = ZTRegReadInteger(Hive, optionsKey_, QLatin1String(f.name), this->*f.field);
    for (const auto &f : TextFields)
        this->*f.field = ZTRegReadString(Hive, optionsKey_, QLatin1String(f.name), this->*f.field);
    AutoStartup = ZTRegValueExists(Hive, RunKey(), RunValue());
}

void TVNTROptions::SaveToRegistry() const
{
    for (const auto &f : BoolFields)
        ZTRegWriteBool(Hive, optionsKey_, QLatin1String(f.name), this->*f.field);
    for (const auto &f : ColorFields)
        ZTRegWriteInteger(Hive, optionsKey_, QLatin1String(f.name), std::int32_t(this->*f.field));
    for (const auto &f : IntegerFields)
        ZTRegWriteInteger(Hive, optionsKey_, QLatin1String(f.name), this->*f.field);
    for (const auto &f : TextFields)
        ZTRegWriteString(Hive, optionsKey_, QLatin1String(f.name), this->*f.field);
}

void TVNTROptions::ApplyAutoStartup(const QString &programPath) const
{
    if (AutoStartup)
        ZTRegWriteString(Hive, RunKey(), RunValue(), programPath);
    else
        ZTRegDeleteValue(Hive, RunKey(), RunValue());
}

bool TVNTROptions::IsWorkingDay(int dayOfWeek) const
{
    return IsWeekdaySet(dayOfWeek, WorkDays);
}

bool TVNTROptions::IsWorkingTime(TDateTime date, int slot) const
{
    return IsWorkingDay(IsoWeekday(date)) && StartTime <= slot && slot <= EndTime;
}
