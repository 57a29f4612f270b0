#include "ZTMsgFrm.h"

#include "ui_ZTMsgFrm.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <array>
#include <stdexcept>

using namespace ZTMsg;

// ---- Shared pieces ----

std::optional<TZTMessageCaptions> ZTMessageCaptions(std::uint8_t languageId)
{
    switch (languageId) {
    case ZTMsg::langPortuguese:
        return TZTMessageCaptions{
            QStringLiteral("&Sim"),   QString::fromUtf8("&N\u00e3o"), QStringLiteral("&Cancelar"),
            QStringLiteral("&OK"),    QStringLiteral("S&im a Todos"), QString::fromUtf8("N\u00e3o &a Todos"),
            QStringLiteral("&Todos"), QStringLiteral("&Detalhes >>"), QStringLiteral("&Detalhes <<"),
        };
    case ZTMsg::langEnglish:
        return TZTMessageCaptions{
            QStringLiteral("&Yes"), QStringLiteral("&No"),         QStringLiteral("&Cancel"),
            QStringLiteral("&OK"),  QStringLiteral("Y&es to All"), QStringLiteral("No &to All"),
            QStringLiteral("&All"), QStringLiteral("&Details >>"), QStringLiteral("&Details <<"),
        };
    default:
        return std::nullopt;
    }
}

bool ZTApplyMessageFont(QWidget *form, const QString &fontName)
{
    if (fontName.isEmpty())
        return false;
    const QStringList families = QFontDatabase::families();
    const auto it = std::find_if(families.cbegin(), families.cend(),
                                 [&](const QString &family) { return family.compare(fontName, Qt::CaseInsensitive) == 0; });
    if (it == families.cend())
        return false;
    QFont font = form->font();
    font.setFamilies({*it});
    form->setFont(font);
    return true;
}

namespace {
// Sees the keys of the dialog and all its controls before they do.
class TZTEscapeReleaseFilter : public QObject {
public:
    explicit TZTEscapeReleaseFilter(QDialog *dialog) : QObject(dialog), dialog_(dialog) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return QObject::eventFilter(watched, event);
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Escape)
            return false;
        if (key->isAutoRepeat())
            return true;
        if (event->type() == QEvent::KeyPress) {
            // The press would close the dialog at once; only the release may.
            pressed_ = true;
        } else if (pressed_) {
            // Only an Esc pressed here: the release of an Esc that closed the window before
            // this one must not answer this dialog as well.
            pressed_ = false;
            dialog_->reject();
        }
        return true;
    }

private:
    QDialog *dialog_;
    bool pressed_ = false;
};
} // namespace

void ZTCloseOnEscapeRelease(QDialog *dialog)
{
    auto *filter = new TZTEscapeReleaseFilter(dialog);
    dialog->installEventFilter(filter);
    const auto children = dialog->findChildren<QWidget *>();
    for (QWidget *child : children)
        child->installEventFilter(filter);
}

QString ZTMessageWindowCaption(const QString &caption)
{
    return caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption;
}

QString ZTNormalizeLineBreaks(const QString &text)
{
    QString result;
    result.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            continue; // the line feed that follows stands for the whole pair
        if (c == QLatin1Char('\n')) {
            if (i == n - 1)
                break; // no empty last line
            result += QLatin1Char('\n');
            continue;
        }
        result += c;
    }
    return result;
}

namespace {
TZTMessageAnswerer &Answerer()
{
    static TZTMessageAnswerer answerer;
    return answerer;
}
} // namespace

void ZTSetMessageAnswerer(TZTMessageAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

const TZTMessageAnswerer &ZTMessageAnswerer()
{
    return Answerer();
}

TZTMessageAnswerScope::TZTMessageAnswerScope(TZTMessageAnswerer answerer) : previous_(ZTMessageAnswerer())
{
    ZTSetMessageAnswerer(std::move(answerer));
}

TZTMessageAnswerScope::~TZTMessageAnswerScope()
{
    ZTSetMessageAnswerer(std::move(previous_));
}

// ---- The tables of the button sets ----

namespace {
constexpr int SetCount = 5;
constexpr int SlotCount = 5;

enum TCaptionKey { ckYes, ckNo, ckCancel, ckOK, ckYesToAll, ckNoToAll, ckAll };

struct TButtonDef {
    TCaptionKey Caption;
    int Left;
};

struct TSetDef {
    int Count;
    std::array<TButtonDef, SlotCount> Buttons;
    // Index 0: closed without a button; 1 to 5: the pressed slot.
    std::array<std::uint8_t, SlotCount + 1> Results;
};

constexpr std::array<TSetDef, SetCount> Sets{{
    {1, {{{ckOK, 168}}}, {mrOK, mrOK}},
    {2, {{{ckYes, 120}, {ckNo, 208}}}, {mrNo, mrYes, mrNo}},
    {3, {{{ckYes, 88}, {ckNo, 168}, {ckCancel, 248}}}, {mrCancel, mrYes, mrNo, mrCancel}},
    {4, {{{ckYes, 48}, {ckNo, 128}, {ckCancel, 208}, {ckAll, 288}}}, {mrCancel, mrYes, mrNo, mrCancel, mrAll}},
    {5,
     {{{ckYes, 8}, {ckYesToAll, 88}, {ckNo, 168}, {ckNoToAll, 248}, {ckCancel, 328}}},
     {mrCancel, mrYes, mrYesToAll, mrNo, mrNoToAll, mrCancel}},
}};

QString CaptionOf(const TZTMessageCaptions &captions, TCaptionKey key)
{
    switch (key) {
    case ckYes:
        return captions.Yes;
    case ckNo:
        return captions.No;
    case ckCancel:
        return captions.Cancel;
    case ckOK:
        return captions.OK;
    case ckYesToAll:
        return captions.YesToAll;
    case ckNoToAll:
        return captions.NoToAll;
    case ckAll:
        return captions.All;
    }
    return QString();
}

std::int16_t ClampDefaultButton(std::uint8_t buttonSet, std::int16_t defaultButton)
{
    return (defaultButton < 1 || defaultButton > TZTMessage::ButtonCount(buttonSet)) ? 1 : defaultButton;
}

// Client size of the form and the height of the message label when the text fits.
constexpr int FormWidth = 410;
constexpr int FormHeight = 83;
constexpr int BottomHeight = 40;
constexpr int LabelTop = 7;
} // namespace

std::uint8_t TZTMessage::SlotResult(std::uint8_t buttonSet, int slot)
{
    if (buttonSet >= SetCount)
        return mrOK;
    const TSetDef &set = Sets[buttonSet];
    if (slot < 1 || slot > set.Count)
        return set.Results[0];
    return set.Results[slot];
}

int TZTMessage::ButtonCount(std::uint8_t buttonSet)
{
    return buttonSet < SetCount ? Sets[buttonSet].Count : 0;
}

std::uint8_t TZTMessage::SetCloseResult(std::uint8_t buttonSet)
{
    return buttonSet < SetCount ? Sets[buttonSet].Results[0] : mrOK;
}

void TZTMessage::CheckArguments(std::uint8_t messageType, std::uint8_t buttonSet, std::uint8_t languageId)
{
    if (!ZTMessageCaptions(languageId))
        throw std::invalid_argument("Invalid language id. in call to ZTMessage.");
    if (messageType > mtQuestion)
        throw std::invalid_argument("Invalid message type in call to ZTMessage.");
    if (buttonSet >= SetCount)
        throw std::invalid_argument("Invalid button definition in call to ZTMessage.");
}

// ---- The form ----

TZTMessage::TZTMessage(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TZTMessage>())
{
    ui->setupUi(this);
    setFixedSize(FormWidth, FormHeight);

    const QStyle *st = style();
    ui->imgQuestion->setPixmap(st->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    ui->imgWarning->setPixmap(st->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    ui->imgError->setPixmap(st->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    ui->imgInformation->setPixmap(st->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));

    connect(ui->cmdBtn01, &QPushButton::clicked, this, &TZTMessage::cmdBtn01Click);
    connect(ui->cmdBtn02, &QPushButton::clicked, this, &TZTMessage::cmdBtn02Click);
    connect(ui->cmdBtn03, &QPushButton::clicked, this, &TZTMessage::cmdBtn03Click);
    connect(ui->cmdBtn04, &QPushButton::clicked, this, &TZTMessage::cmdBtn04Click);
    connect(ui->cmdBtn05, &QPushButton::clicked, this, &TZTMessage::cmdBtn05Click);

    ZTCloseOnEscapeRelease(this);
}

TZTMessage::~TZTMessage() = default;

QPushButton *TZTMessage::Button(int slot) const
{
    switch (slot) {
    case 1:
        return ui->cmdBtn01;
    case 2:
        return ui->cmdBtn02;
    case 3:
        return ui->cmdBtn03;
    case 4:
        return ui->cmdBtn04;
    case 5:
        return ui->cmdBtn05;
    default:
        return nullptr;
    }
}

void TZTMessage::Prepare(const QString &text, const QString &caption, std::uint8_t messageType, std::uint8_t buttonSet,
                         std::int16_t defaultButton, std::uint8_t languageId, const QString &fontName)
{
    // Nothing shows until chosen.
    for (QLabel *img : {ui->imgQuestion, ui->imgWarning, ui->imgError, ui->imgInformation})
        img->hide();
    for (int slot = 1; slot <= SlotCount; ++slot) {
        Button(slot)->hide();
        Button(slot)->setDefault(false);
    }

    // The caller's font when it is installed.
    ZTApplyMessageFont(this, fontName);

    // Captions of the language.
    const std::optional<TZTMessageCaptions> captions = ZTMessageCaptions(languageId);
    if (!captions)
        throw std::invalid_argument("Invalid language id. in call to ZTMessage.");

    // Caption and text. Windows-style CR LF pairs are one line break here.
    setWindowTitle(ZTMessageWindowCaption(caption));
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    ui->lblMessage->setText(shown);

    // The icon of the message type.
    switch (messageType) {
    case mtError:
        ui->imgError->show();
        break;
    case mtWarning:
        ui->imgWarning->show();
        break;
    case mtInformation:
        ui->imgInformation->show();
        break;
    case mtQuestion:
        ui->imgQuestion->show();
        break;
    default:
        throw std::invalid_argument("Invalid message type in call to ZTMessage.");
    }

    // The buttons of the set.
    if (buttonSet >= SetCount)
        throw std::invalid_argument("Invalid button definition in call to ZTMessage.");
    const TSetDef &set = Sets[buttonSet];
    for (int slot = 1; slot <= set.Count; ++slot) {
        QPushButton *button = Button(slot);
        const TButtonDef &def = set.Buttons[slot - 1];
        button->setText(CaptionOf(*captions, def.Caption));
        button->move(def.Left, button->y());
        button->show();
    }
    buttonSet_ = buttonSet;
    CloseResult = set.Results[0];

    // The default button comes first in the tab order and has the focus, so Enter
    // presses it; the other slots follow in turn, hidden ones keeping their places.
    defaultButton_ = ClampDefaultButton(buttonSet, defaultButton);
    for (int i = 0; i + 1 < SlotCount; ++i) {
        const int from = (defaultButton_ - 1 + i) % SlotCount + 1;
        const int to = (defaultButton_ + i) % SlotCount + 1;
        setTabOrder(Button(from), Button(to));
    }
    Button(defaultButton_)->setDefault(true);
    Button(defaultButton_)->setFocus(Qt::OtherFocusReason);

    ClickedButton = 0;

    FitMessage();
}

// The form keeps its width; when the text needs more lines than the label holds in the
// font at hand, the form grows downward (up to three quarters of the screen) rather than
// hiding the end of the message.
void TZTMessage::FitMessage()
{
    const int baseClient = FormHeight - BottomHeight;
    const int baseLabel = baseClient - LabelTop;
    int extra = std::max(0, ui->lblMessage->heightForWidth(ui->lblMessage->width()) - baseLabel);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        extra = std::min(extra, std::max(0, screen->availableGeometry().height() * 3 / 4 - FormHeight));
    const int client = baseClient + extra;
    ui->pClient->setGeometry(0, 0, FormWidth, client);
    ui->pLeft->setGeometry(0, 0, ui->pLeft->width(), client);
    ui->pMessage->setGeometry(ui->pMessage->x(), 0, ui->pMessage->width(), client);
    ui->lblMessage->setGeometry(0, LabelTop, ui->pMessage->width(), client - LabelTop);
    ui->pBottom->setGeometry(0, client, FormWidth, BottomHeight);
    setFixedSize(FormWidth, FormHeight + extra);
}

std::uint8_t TZTMessage::MessageResult() const
{
    return ClickedButton == 0 ? CloseResult : SlotResult(buttonSet_, ClickedButton);
}

void TZTMessage::ButtonClick(std::int16_t slot)
{
    ClickedButton = slot;
    accept();
}

void TZTMessage::cmdBtn01Click()
{
    ButtonClick(1);
}
void TZTMessage::cmdBtn02Click()
{
    ButtonClick(2);
}
void TZTMessage::cmdBtn03Click()
{
    ButtonClick(3);
}
void TZTMessage::cmdBtn04Click()
{
    ButtonClick(4);
}
void TZTMessage::cmdBtn05Click()
{
    ButtonClick(5);
}

// ---- The routine ----

std::uint8_t ZTMessage(const QString &text, const QString &caption, std::uint8_t messageType, std::uint8_t buttonSet,
                       std::int16_t defaultButton, std::uint8_t languageId, const QString &fontName)
{
    const TZTMessageAnswerer answerer = ZTMessageAnswerer();
    if (answerer) {
        TZTMessage::CheckArguments(messageType, buttonSet, languageId);
        TZTMessageRequest request;
        request.Kind = TZTMessageKind::Message;
        request.Caption = ZTMessageWindowCaption(caption);
        request.Text = text;
        request.MessageType = messageType;
        request.ButtonSet = buttonSet;
        request.DefaultButton = ClampDefaultButton(buttonSet, defaultButton);
        request.LanguageId = languageId;
        request.FontName = fontName;
        const int answer = answerer(request);
        for (int slot = 1; slot <= TZTMessage::ButtonCount(buttonSet); ++slot)
            if (TZTMessage::SlotResult(buttonSet, slot) == answer)
                return std::uint8_t(answer);
        return TZTMessage::SetCloseResult(buttonSet);
    }

    TZTMessage form;
    form.Prepare(text, caption, messageType, buttonSet, defaultButton, languageId, fontName);
    form.exec();
    return form.MessageResult();
}
