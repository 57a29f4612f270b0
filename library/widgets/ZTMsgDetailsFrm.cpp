#include "ZTMsgDetailsFrm.h"

#include "ZTMsgFrm.h"
#include "ui_ZTMsgDetailsFrm.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

#include <stdexcept>

TZTMessageDetails::TZTMessageDetails(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TZTMessageDetails>())
{
    ui->setupUi(this);
    setFixedSize(FormWidth, CollapsedHeight);

    const QStyle *st = style();
    ui->imgCritical->setPixmap(st->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    ui->imgWarning->setPixmap(st->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    ui->imgInformation->setPixmap(st->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));

    connect(ui->cmdOK, &QPushButton::clicked, this, &TZTMessageDetails::cmdOKClick);
    connect(ui->cmdDetails, &QPushButton::clicked, this, &TZTMessageDetails::cmdDetailsClick);

    ZTCloseOnEscapeRelease(this);
}

TZTMessageDetails::~TZTMessageDetails() = default;

void TZTMessageDetails::CheckArguments(std::uint8_t messageType, std::uint8_t languageId)
{
    if (!ZTMessageCaptions(languageId))
        throw std::invalid_argument("Invalid language id. in call to ZTMessageDetails.");
    if (messageType > ZTMsg::mtInformation)
        throw std::invalid_argument("Invalid message type in call to ZTMessageDetails.");
}

void TZTMessageDetails::Prepare(const QString &text, const QString &details, const QString &caption, std::uint8_t messageType,
                                std::uint8_t languageId, const QString &fontName, bool showDetails)
{
    for (QLabel *img : {ui->imgCritical, ui->imgWarning, ui->imgInformation})
        img->hide();

    ZTApplyMessageFont(this, fontName);

    const std::optional<TZTMessageCaptions> captions = ZTMessageCaptions(languageId);
    if (!captions)
        throw std::invalid_argument("Invalid language id. in call to ZTMessageDetails.");
    okCaption_ = captions->OK;
    detailsCollapsedCaption_ = captions->DetailsCollapsed;
    detailsExpandedCaption_ = captions->DetailsExpanded;

    // Opens collapsed: only the message and the buttons.
    detailsTag_ = 0;
    ui->txtErrorDetails->hide();
    setFixedSize(FormWidth, CollapsedHeight);

    setWindowTitle(ZTMessageWindowCaption(caption));
    ui->lblErrorMsg->setText(ZTNormalizeLineBreaks(text));
    ui->txtErrorDetails->setPlainText(ZTNormalizeLineBreaks(details));

    switch (messageType) {
    case ZTMsg::mtCritical:
        ui->imgCritical->show();
        break;
    case ZTMsg::mtWarning:
        ui->imgWarning->show();
        break;
    case ZTMsg::mtInformation:
        ui->imgInformation->show();
        break;
    default:
        throw std::invalid_argument("Invalid message type in call to ZTMessageDetails.");
    }

    // The details button only when there is something to show. (The widget's own
    // visibility is not asked: it is false for every child until the form is shown.)
    ui->cmdOK->setText(okCaption_);
    ui->cmdDetails->setText(detailsCollapsedCaption_);
    const bool hasDetails = !details.isEmpty();
    ui->cmdDetails->setVisible(hasDetails);

    if (showDetails && hasDetails)
        cmdDetailsClick();

    ui->cmdOK->setDefault(true);
    ui->cmdOK->setFocus(Qt::OtherFocusReason);
}

void TZTMessageDetails::cmdOKClick()
{
    accept();
}

void TZTMessageDetails::cmdDetailsClick()
{
    if (detailsTag_ == 0) {
        ui->cmdDetails->setText(detailsExpandedCaption_);
        detailsTag_ = 1;
        ui->txtErrorDetails->show();
        setFixedSize(FormWidth, ExpandedHeight);
    } else {
        ui->cmdDetails->setText(detailsCollapsedCaption_);
        detailsTag_ = 0;
        // The memo lies outside the collapsed window; hidden, it cannot take the focus either.
        ui->txtErrorDetails->hide();
        setFixedSize(FormWidth, CollapsedHeight);
    }
}

void ZTMessageDetails(const QString &text, const QString &details, const QString &caption, std::uint8_t messageType,
                      std::uint8_t languageId, const QString &fontName, bool showDetails)
{
    const TZTMessageAnswerer answerer = ZTMessageAnswerer();
    if (answerer) {
        TZTMessageDetails::CheckArguments(messageType, languageId);
        TZTMessageRequest request;
        request.Kind = TZTMessageKind::Details;
        request.Caption = ZTMessageWindowCaption(caption);
        request.Text = text;
        request.Details = details;
        request.MessageType = messageType;
        request.LanguageId = languageId;
        request.FontName = fontName;
        request.ShowDetails = showDetails;
        answerer(request);
        return;
    }

    TZTMessageDetails form;
    form.Prepare(text, details, caption, messageType, languageId, fontName, showDetails);
    QApplication::beep();
    form.exec();
}
