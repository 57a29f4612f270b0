#pragma once
// The splash window shown while the program loads: a borderless, stay-on-top 500 x 400 window
// centred on the desktop, holding the splash picture with the product's version, copyright
// line, a notice and the special-version text drawn over it.

#include <QColor>
#include <QWidget>

#include <memory>

class QPixmap;
class TZTApplication;

namespace Ui {
class TSplashForm;
}

class TSplashForm : public QWidget {
    Q_OBJECT

public:
    static constexpr int FormWidth = 500;
    static constexpr int FormHeight = 400;

    explicit TSplashForm(QWidget *parent = nullptr);
    ~TSplashForm() override;

    // Fills the labels from the application object (copyright line and notice in textColor)
    // and puts the picture into ImgSplash; no picture leaves the window without one.
    void Prepare(const TZTApplication &application, const QPixmap *bitmap, const QColor &textColor);

    // Centres the window on the desktop it appears on.
    void CenterOnScreen();

private:
    std::unique_ptr<Ui::TSplashForm> ui;
};

// The word in front of the version on the splash and About windows, and the splash notice
// (both kept enciphered in the program).
QString ZTVersionWord();
QString ZTSplashNotice();
