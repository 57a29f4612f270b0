// CSV exchange and the Backup command's copy of the database file.
//
// A CSV file is the header line below and one line per row (main table first, then
// exclusions): the database line without its Id field. Fields are separated by ";" and
// never quoted. Export and import always end by raising an EZTException that carries either
// the outcome notice (severity 2) or the failure.

#include "clsReminders.h"

#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "uFunctions.h"

#include <QFile>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace {

// The Active field, the last of every row, has no column in the header.
const QString CsvHeader =
    QStringLiteral("Date;Time;Reminder Message;Play Sound;Repeat Sound;Sound File;Run Program;Program Location;Recurring;"
                   "Recurrence Unit;Recurrence Daily Type;Recurrence Daily Every;Recurrence Weekly Every;Recurrence Weekly Days;"
                   "Recurrence Monthly Day;Recurrence Monthly Every;Recurrence Yearly Month;Recurrence Yearly Day;"
                   "Recurrence Start;Recurrence No End;Recurrence End By;Exclusion;");

std::filesystem::path FsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Whether both paths name the same existing file (also through links).
bool SameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(FsPath(a), FsPath(b), error) && !error;
}

} // namespace

void TReminders::ExportCsv(const QString &path)
{
    ZTRaising(TZTRaise::PassThrough,
              QStringLiteral("There was and error while exporting reminders to '%1'.").arg(ZTExtractFileName(path)), [&] {
                  QString text = CsvHeader + QLatin1String("\r\n");
                  int count = 0;
                  {
                      std::lock_guard<std::recursive_mutex> guard(lock_);
                      const int mainRows = MainRowCount();
                      if (mainRows == 0)
                          throw EZTException(QStringLiteral("There are no reminders to export."), QString(), 2);
                      const int exclusionRows = ExclusionRowCount();
                      TReminder row;
                      for (int i = 0; i < mainRows; ++i) {
                          ReadMainRow(i, row);
                          text += FormatLine(row, false);
                          text += QLatin1String("\r\n");
                          ++count;
                      }
                      for (int i = 0; i < exclusionRows; ++i) {
                          ReadExclusionRow(i, row);
                          text += FormatLine(row, false);
                          text += QLatin1String("\r\n");
                      }
                  }
                  const QByteArray bytes = text.toUtf8();

                  // An existing file is replaced, also when it is read-only.
                  ZTDeleteFile(path);
                  QString reason;
                  if (!ZTWriteFileAtomic(path, bytes, reason))
                      throw std::runtime_error(reason.toStdString());

                  throw EZTException(QStringLiteral("%1 reminders exported.").arg(count), QString(), 2);
              });
}

void TReminders::ImportCsv(const QString &path)
{
    ZTRaising(TZTRaise::PassThrough,
              QStringLiteral("There was an error while importing reminders from '%1'.").arg(ZTExtractFileName(path)), [&] {
                  if (!ZTFileExistsSafe(path))
                      throw EZTException(QStringLiteral("File not found."), QStringLiteral("File '%1' not found.").arg(path), 1);
                  const QString text = ReadTextFile(path);
                  const QList<QStringView> lines = SplitTextLines(text);
                  if (lines.isEmpty())
                      throw EZTException(QStringLiteral("There are no reminders to import."), QString(), 1);
                  if (lines.first() != CsvHeader)
                      throw EZTException(QStringLiteral("Invalid CSV header."),
                                         QStringLiteral("This file was not created using Ventaro! or a compatible CSV editor."),
                                         1);

                  // Every imported row gets a fresh identity. The whole file is read and checked before
                  // anything is added: a bad row adds nothing, so no half import waits unseen in the store
                  // for the next save to write it to the database file.
                  std::vector<TReminder::Ptr> rows;
                  rows.reserve(std::size_t(lines.size() - 1));
                  for (qsizetype i = 1; i < lines.size(); ++i) {
                      const TReminder::Ptr reminder = TReminder::Create();
                      ParseLine(*reminder, lines.at(i).toString(), true);
                      rows.push_back(reminder);
                  }
                  int count = 0;
                  {
                      std::lock_guard<std::recursive_mutex> guard(lock_);
                      for (const TReminder::Ptr &reminder : rows) {
                          if (reminder->Exclusion) {
                              AddExclusion(*reminder);
                          } else {
                              Add(*reminder);
                              ++count;
                          }
                      }
                  }
                  throw EZTException(QStringLiteral("%1 reminders imported.").arg(count), QString(), 2);
              });
}

void TReminders::CopyDatabaseTo(const QString &path)
{
    // Nothing is shown when the copy succeeds, so a copy that cannot be made must say so:
    // otherwise the user would believe a backup exists. Copying the file onto itself would
    // delete it first, so that is left alone (the file already is where it was asked to be).
    ZTRaising(TZTRaise::WrapAll, QStringLiteral("Error copying database file to '%1'.").arg(path), [&] {
        if (SameFile(path, fileName_))
            return;
        if (!ZTFileExistsSafe(fileName_))
            throw std::runtime_error(QStringLiteral("File '%1' not found.").arg(fileName_).toStdString());
        // An existing file is replaced, also when it is read-only.
        ZTDeleteFile(path);
        std::error_code error;
        std::filesystem::copy_file(FsPath(fileName_), FsPath(path), std::filesystem::copy_options::overwrite_existing, error);
        if (error)
            throw std::runtime_error(error.message());
    });
}
