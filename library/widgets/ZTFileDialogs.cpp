#include "ZTFileDialogs.h"

#include "ZTFormUtils.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>

namespace {
TZTFileDialogAnswerer &Answerer()
{
    static TZTFileDialogAnswerer answerer;
    return answerer;
}

// A file dialog that refuses a name in a folder that does not exist, when asked to.
class TZTFileDialog : public QFileDialog {
public:
    TZTFileDialog(QWidget *parent, const TZTFileDialogOptions &options) : QFileDialog(parent), options_(options) {}

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (options_.PathMustExist && !files.isEmpty()) {
            const QFileInfo info(files.first());
            if (!info.isDir() && !info.absoluteDir().exists()) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("The folder of '%1' does not exist.").arg(info.fileName()));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    TZTFileDialogOptions options_;
};
} // namespace

void ZTSetFileDialogAnswerer(TZTFileDialogAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

QStringList ZTFileDialogNameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    static const QRegularExpression trailingPattern(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        description.remove(trailingPattern);
        description = description.trimmed();
        QStringList patterns;
        const QStringList wildcards = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString wildcard : wildcards) {
            wildcard = wildcard.trimmed();
            if (wildcard == QLatin1String("*.*"))
                wildcard = QStringLiteral("*");
            if (!wildcard.isEmpty() && !patterns.contains(wildcard))
                patterns << wildcard;
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        result << (description.isEmpty() ? QString() : description + QLatin1Char(' ')) + QLatin1Char('(')
                      + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

QString ZTAddDefaultExt(const QString &path, const QString &defaultExt)
{
    QString ext = defaultExt.trimmed();
    while (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (path.isEmpty() || ext.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.lastIndexOf(QLatin1Char('.')) > 0)
        return path;
    return path + QLatin1Char('.') + ext;
}

QString ZTExecuteFileDialog(QWidget *owner, const TZTFileDialogOptions &options)
{
    if (const TZTFileDialogAnswerer &answerer = Answerer())
        return ZTAddDefaultExt(answerer(options), options.DefaultExt);

    QPointer<TZTFileDialog> dialog = new TZTFileDialog(owner ? owner : ZTDialogOwner(), options);
    struct TRelease {
        QPointer<TZTFileDialog> &dialog;
        ~TRelease() { delete dialog.data(); }
    } release{dialog};

    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setWindowTitle(options.Title);
    dialog->setAcceptMode(options.Kind == TZTFileDialogOptions::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(options.Kind == TZTFileDialogOptions::Open && options.FileMustExist ? QFileDialog::ExistingFile
                                                                                            : QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !options.OverwritePrompt);
    QString ext = options.DefaultExt;
    while (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    dialog->setDefaultSuffix(ext);
    const QStringList filters = ZTFileDialogNameFilters(options.Filter);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    // A name typed without extension takes the extension of the filter chosen in the dialog
    // ("name" under "iCalendar files (*.ics)" is name.ics), or the default one under a filter
    // without a single extension.
    QString chosenExt = ext;
    QObject::connect(dialog.data(), &QFileDialog::filterSelected, dialog.data(),
                     [&chosenExt, &dialog, ext](const QString &filter) {
                         const QString filterExt = ZTFilterExtension(filter);
                         chosenExt = filterExt.isEmpty() ? ext : filterExt;
                         dialog->setDefaultSuffix(chosenExt);
                     });
    if (!options.FileName.isEmpty()) {
        const QFileInfo initial(options.FileName);
        if (options.FileName.contains(QLatin1Char('/')) && initial.absoluteDir().exists())
            dialog->setDirectory(initial.absolutePath());
        dialog->selectFile(initial.fileName());
    }

    if (dialog->exec() != QDialog::Accepted || !dialog)
        return QString();
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? QString() : ZTAddDefaultExt(files.first(), chosenExt);
}

QString ZTFilterExtension(const QString &nameFilter)
{
    // The patterns between the last parentheses; the first of the form "*.ext".
    const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = nameFilter.lastIndexOf(QLatin1Char(')'));
    const QString patterns = open >= 0 && close > open ? nameFilter.mid(open + 1, close - open - 1) : nameFilter;
    for (const QString &pattern : patterns.split(QRegularExpression(QStringLiteral("[ ;]")), Qt::SkipEmptyParts)) {
        if (!pattern.startsWith(QLatin1String("*.")))
            continue;
        const QString ext = pattern.mid(2);
        if (!ext.isEmpty() && !ext.contains(QLatin1Char('*')) && !ext.contains(QLatin1Char('?')))
            return ext;
    }
    return QString();
}
