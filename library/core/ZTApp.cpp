#include "ZTApp.h"

#include "ZTFileUtils.h"
#include "ZTVerInf.h"

TZTApplication::TZTApplication()
{
    LoginInfo = std::make_unique<TZTLoginInfo>();
    Database = std::make_unique<TZTDatabase>();
    WebAddresses = std::make_unique<TZTWebAddresses>();
    Logger = std::make_unique<TZTAppLogger>();
}

TZTApplication::~TZTApplication()
{
    LoginInfo.reset();
    Database.reset();
    WebAddresses.reset();
    Logger.reset();
}

void TZTApplication::SetExeName(const QString &exeName)
{
    ExeName = exeName;
    if (!exeName.isEmpty() && Logger->LogFileName.isEmpty())
        Logger->LogFileName = ZTChangeFileExt(exeName, QStringLiteral(".log"));
}

void TZTApplication::LoadVersionInfo()
{
    Version = FileVersionText(ExeName);
    LanguageId = FileLanguageId(ExeName);
    Copyright = FileCopyrightText(ExeName);
}
