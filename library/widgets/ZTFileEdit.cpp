#include "ZTFileEdit.h"

#include "ZTExceptions.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

TZTFileEdit::TZTFileEdit(QWidget *parent) : QWidget(parent), edit_(new QLineEdit(this)), browse_(new QToolButton(this))
{
    edit_->setObjectName(QStringLiteral("Edit"));
    browse_->setObjectName(QStringLiteral("Browse"));
    browse_->setText(QStringLiteral("..."));
    browse_->setAccessibleName(QStringLiteral("Browse"));
    browse_->setToolTip(QStringLiteral("Browse"));
    browse_->setFocusPolicy(Qt::TabFocus);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(edit_, 1);
    layout->addWidget(browse_);

    setFocusProxy(edit_);
    setFocusPolicy(edit_->focusPolicy());
    connect(edit_, &QLineEdit::textChanged, this, &TZTFileEdit::FileNameChanged);
    connect(browse_, &QToolButton::clicked, this, &TZTFileEdit::BrowseClick);
}

TZTFileDialogOptions &TZTFileEdit::DialogOptions()
{
    return options_;
}

const TZTFileDialogOptions &TZTFileEdit::DialogOptions() const
{
    return options_;
}

QString TZTFileEdit::FileName() const
{
    return edit_->text();
}

void TZTFileEdit::SetFileName(const QString &name)
{
    edit_->setText(name);
}

QLineEdit *TZTFileEdit::Edit() const
{
    return edit_;
}

QAbstractButton *TZTFileEdit::BrowseButton() const
{
    return browse_;
}

bool TZTFileEdit::Browse()
{
    TZTFileDialogOptions options = options_;
    options.FileName = edit_->text();
    const QString chosen = ZTExecuteFileDialog(window(), options);
    if (chosen.isEmpty())
        return false;
    SetFileName(chosen);
    edit_->setFocus(Qt::OtherFocusReason);
    return true;
}

void TZTFileEdit::BrowseClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unable to browse for a file."), [&] { Browse(); });
}

void TZTFileEdit::SetAccessibleCaption(const QString &caption)
{
    setAccessibleName(caption);
    edit_->setAccessibleName(caption);
    browse_->setAccessibleName(caption.isEmpty() ? QStringLiteral("Browse") : QStringLiteral("Browse ") + caption);
}
