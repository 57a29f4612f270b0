#pragma once
// The details dialog: an error or notice with one OK button and a collapsible memo holding
// the technical details (usually the message of the exception behind the failure).

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

namespace Ui {
class TZTMessageDetails;
}

class TZTMessageDetails : public QDialog {
    Q_OBJECT

public:
    // Client size: collapsed, only the message and the buttons show; expanded adds the memo.
    static constexpr int FormWidth = 409;
    static constexpr int CollapsedHeight = 75;
    static constexpr int ExpandedHeight = 185;

    explicit TZTMessageDetails(QWidget *parent = nullptr);
    ~TZTMessageDetails() override;

    // Fills the form for one showing. Raises std::invalid_argument for a language id or a
    // message type (0 critical, 1 warning, 2 information) out of range.
    void Prepare(const QString &text, const QString &details, const QString &caption, std::uint8_t messageType,
                 std::uint8_t languageId, const QString &fontName, bool showDetails);

    bool DetailsExpanded() const { return detailsTag_ == 1; }

    // Checks the arguments in the order the form is prepared; raises std::invalid_argument.
    static void CheckArguments(std::uint8_t messageType, std::uint8_t languageId);

private Q_SLOTS:
    void cmdOKClick();
    void cmdDetailsClick();

private:
    std::unique_ptr<Ui::TZTMessageDetails> ui;
    QString okCaption_;
    QString detailsCollapsedCaption_;
    QString detailsExpandedCaption_;
    int detailsTag_ = 0; // 0 collapsed, 1 expanded
};

// Shows the message with its details modally; returns when the user closes it. Message type
// 0 critical, 1 warning, 2 information. The details button shows only when there are details;
// ShowDetails opens the dialog expanded. An empty caption shows the application's title.
void ZTMessageDetails(const QString &text, const QString &details, const QString &caption, std::uint8_t messageType,
                      std::uint8_t languageId, const QString &fontName, bool showDetails);
