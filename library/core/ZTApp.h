#pragma once
// The application object: what the library's dialogs and services need to know about the
// running product. Start-up creates one, fills it and keeps it until shutdown; everyone else
// only reads it.

#include "ZTRegUtils.h"
#include "ZTSysUtils.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>

class TZTWebAddresses {
public:
    QString WebSite;
    QString SupportEmail;
};

class TZTLoginInfo {
public:
    bool InUse = false;
    QString UserName;
    QString Password;
    bool RememberPassword = false;
};

// The holder of the product's database connection. This program keeps its data in its own
// file, so the holder has no connection; start-up only clears its in-use flag.
class TZTDatabase {
public:
    bool InUse = false;
};

// Carries the log file's name only: nothing writes to the log, so the file is never created.
class TZTAppLogger {
public:
    bool Active = false;
    QString LogFileName;
};

class TZTApplication {
public:
    // Creates LoginInfo, Database, WebAddresses and Logger, in this order; texts start empty.
    TZTApplication();
    // Frees LoginInfo, Database, WebAddresses and Logger, in this order.
    ~TZTApplication();
    TZTApplication(const TZTApplication &) = delete;
    TZTApplication &operator=(const TZTApplication &) = delete;

    // Stores the program file's name in ExeName. When the name is not empty and the log file
    // name is still empty, the log file name becomes the name with its extension replaced by
    // ".log"; a later call never changes a log file name once set.
    void SetExeName(const QString &exeName);
    // Version, LanguageId and Copyright from the version block of ExeName (defaults "0.0.0",
    // 1 and the default copyright line when it has none).
    void LoadVersionInfo();

    QString ExeName;
    QString AppPath;
    TZTRegHive RegistryRoot = TZTRegHive::LocalMachine;
    QString FamilyRegistryKey;
    QString RegistryKey;
    std::unique_ptr<TZTLoginInfo> LoginInfo;
    QString ProductName;
    QString FamilyName;
    QString AlternateName;
    QString Title;
    QString Version;
    QString SpecialVersion;
    std::uint8_t LanguageId = 1;
    // The application's icon (a QIcon in the GUI layer: qvariant_cast<QIcon>(AppIcon)); not owned.
    QVariant AppIcon;
    QString Copyright;
    std::unique_ptr<TZTDatabase> Database;
    QString FontName;
    QString HelpFile;
    std::unique_ptr<TZTWebAddresses> WebAddresses;
    TColor AccentColor = 0;
    QString TipsFile;
    std::unique_ptr<TZTAppLogger> Logger;
};
