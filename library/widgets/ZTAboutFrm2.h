#pragma once
// The About dialog: the product's name, version, special version and copyright beside its icon,
// the System Info button, and a contact list (mail addresses and the web site) that a button
// shows and hides.

#include <QDialog>

#include <memory>

class QLabel;
class TZTApplication;

namespace Ui {
class TAboutForm;
}

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(QWidget *parent = nullptr);
    ~TAboutForm() override;

    // Fills every component from the application object; the font face first.
    void Prepare(const TZTApplication &application, const QString &fontName);

    // The contact addresses: lblAddress01 .. 04 are mail addresses, 05 the web site.
    static constexpr int AddressCount = 5;
    QString Address(int number) const;

    // Whether the contact list is shown.
    bool ContactsShown() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void cmdOKClick();
    void cmdSysInfoClick();
    void cmdContactsClick();

private:
    void lblAddressClick(int number);
    void UpdateContactsCaption();
    QLabel *AddressLabel(int number) const;

    std::unique_ptr<Ui::TAboutForm> ui;
    const TZTApplication *application_ = nullptr;
};

// Shows the About dialog modally for the application object, in the given font face.
void ShowAboutBox(const TZTApplication &application, const QString &fontName);

// The contact-toggle captions (kept enciphered in the program): list hidden, list shown.
QString ZTContactsShowCaption();
QString ZTContactsHideCaption();

// The contact addresses the About dialog lists. The support address and the web site are the
// application object's when it has them.
QString ZTSuggestionsAddress();
QString ZTOrdersAddress();
QString ZTInformationAddress();
