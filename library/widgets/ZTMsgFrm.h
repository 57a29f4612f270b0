#pragma once
// The program's own message dialog: a message with an icon and one of five button sets,
// answering which button was pressed. Also the pieces both message dialogs share: the
// captions of the two languages, the font rule, closing on the release of Esc, and the
// answerer that lets tests reply to a dialog without showing it.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QPushButton;

namespace Ui {
class TZTMessage;
}

namespace ZTMsg {
// Message types: the icon shown. ZTMessageDetails knows the first three only.
constexpr std::uint8_t mtError = 0;
constexpr std::uint8_t mtCritical = 0;
constexpr std::uint8_t mtWarning = 1;
constexpr std::uint8_t mtInformation = 2;
constexpr std::uint8_t mtQuestion = 3;

// Button sets of ZTMessage.
constexpr std::uint8_t bsOK = 0;
constexpr std::uint8_t bsYesNo = 1;
constexpr std::uint8_t bsYesNoCancel = 2;
constexpr std::uint8_t bsYesNoCancelAll = 3;
constexpr std::uint8_t bsYesYesToAllNoNoToAllCancel = 4;

// Results of ZTMessage.
constexpr std::uint8_t mrOK = 0;
constexpr std::uint8_t mrYes = 1;
constexpr std::uint8_t mrYesToAll = 2;
constexpr std::uint8_t mrNo = 3;
constexpr std::uint8_t mrNoToAll = 4;
constexpr std::uint8_t mrCancel = 5;
constexpr std::uint8_t mrAll = 6;

// Languages of the captions.
constexpr std::uint8_t langPortuguese = 0;
constexpr std::uint8_t langEnglish = 1;
} // namespace ZTMsg

// The button and details captions of one language ("&" marks the accelerator).
struct TZTMessageCaptions {
    QString Yes;
    QString No;
    QString Cancel;
    QString OK;
    QString YesToAll;
    QString NoToAll;
    QString All;
    QString DetailsCollapsed;
    QString DetailsExpanded;
};

// The captions of language 0 (Portuguese) or 1 (English); nothing for any other id.
std::optional<TZTMessageCaptions> ZTMessageCaptions(std::uint8_t languageId);

// Gives the form the font face when it is installed; otherwise the form keeps its own.
// Returns whether the face was applied.
bool ZTApplyMessageFont(QWidget *form, const QString &fontName);

// Makes the dialog see Esc before any of its controls: the press is swallowed and the
// release rejects the dialog, provided the key was pressed while the dialog had it.
void ZTCloseOnEscapeRelease(QDialog *dialog);

// The caption of a message window: the given one, or the application's title when empty.
QString ZTMessageWindowCaption(const QString &caption);

// Turns the line feeds of a text into the platform's line breaks the way the details dialog
// shows them: CR LF and a lone LF each become one line break, and a line break that ends the
// text is dropped, so "first\nsecond" shows on two lines and no empty last line appears.
QString ZTNormalizeLineBreaks(const QString &text);

// ---- Answering message dialogs without a person (tests) ----

enum class TZTMessageKind { Message, Details };

// What a message dialog would show. Caption is the window caption (the application title when
// the caller passed none); Text and Details are as the caller passed them.
struct TZTMessageRequest {
    TZTMessageKind Kind = TZTMessageKind::Message;
    QString Caption;
    QString Text;
    QString Details;
    std::uint8_t MessageType = 0;
    std::uint8_t ButtonSet = 0;     // ZTMessage only
    std::int16_t DefaultButton = 1; // ZTMessage only, after falling back to 1 when out of range
    std::uint8_t LanguageId = 1;
    QString FontName;
    bool ShowDetails = false; // ZTMessageDetails only
};

// While an answerer is set, ZTMessage and ZTMessageDetails check their arguments as usual
// and then ask it instead of showing the dialog. For ZTMessage it returns the result (ZTMsg::mr*);
// a result the button set cannot give counts as closing the dialog. For ZTMessageDetails the
// value is ignored.
using TZTMessageAnswerer = std::function<int(const TZTMessageRequest &)>;
void ZTSetMessageAnswerer(TZTMessageAnswerer answerer);
const TZTMessageAnswerer &ZTMessageAnswerer();

// Sets an answerer for the life of the object and puts the previous one back afterwards.
class TZTMessageAnswerScope {
public:
    explicit TZTMessageAnswerScope(TZTMessageAnswerer answerer);
    ~TZTMessageAnswerScope();
    TZTMessageAnswerScope(const TZTMessageAnswerScope &) = delete;
    TZTMessageAnswerScope &operator=(const TZTMessageAnswerScope &) = delete;

private:
    TZTMessageAnswerer previous_;
};

// ---- The dialog ----

class TZTMessage : public QDialog {
    Q_OBJECT

public:
    explicit TZTMessage(QWidget *parent = nullptr);
    ~TZTMessage() override;

    // Fills the form for one showing. Raises std::invalid_argument for a language id, message
    // type or button set out of range.
    void Prepare(const QString &text, const QString &caption, std::uint8_t messageType, std::uint8_t buttonSet,
                 std::int16_t defaultButton, std::uint8_t languageId, const QString &fontName);

    // The default button (slot 1 to 5) after Prepare, out-of-range values fallen back to 1.
    std::int16_t DefaultButton() const { return defaultButton_; }
    // The answer of the dialog after it ended: the pressed button's result, or the set's close
    // result when no button was pressed.
    std::uint8_t MessageResult() const;

    // The fixed tables: the result of pressing slot 1 to 5 (0 = closed without a button),
    // the number of buttons and the close result of a button set (0 to 4).
    static std::uint8_t SlotResult(std::uint8_t buttonSet, int slot);
    static int ButtonCount(std::uint8_t buttonSet);
    static std::uint8_t SetCloseResult(std::uint8_t buttonSet);

    // Checks the arguments in the order the form is prepared; raises std::invalid_argument.
    static void CheckArguments(std::uint8_t messageType, std::uint8_t buttonSet, std::uint8_t languageId);

private Q_SLOTS:
    void cmdBtn01Click();
    void cmdBtn02Click();
    void cmdBtn03Click();
    void cmdBtn04Click();
    void cmdBtn05Click();

private:
    void ButtonClick(std::int16_t slot);
    QPushButton *Button(int slot) const;
    void FitMessage();

    std::unique_ptr<Ui::TZTMessage> ui;
    std::int16_t ClickedButton = 0;
    std::uint8_t CloseResult = 0;
    std::uint8_t buttonSet_ = 0;
    std::int16_t defaultButton_ = 1;
};

// Shows the message modally and returns the pressed button's result (ZTMsg::mr*).
// DefaultButton counts from 1 within the set. An empty caption shows the application's title.
std::uint8_t ZTMessage(const QString &text, const QString &caption, std::uint8_t messageType, std::uint8_t buttonSet,
                       std::int16_t defaultButton, std::uint8_t languageId, const QString &fontName);
