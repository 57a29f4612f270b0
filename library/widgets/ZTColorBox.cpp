#include "ZTColorBox.h"

#include "ZTExceptions.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

namespace {
TZTColorDialogAnswerer &Answerer()
{
    static TZTColorDialogAnswerer answerer;
    return answerer;
}

struct TNamedColor {
    TColor Color;
    const char *Name;
};

// In list order: the standard colours, the extended ones, then the system colours by index.
constexpr TNamedColor kListedColors[] = {
    {clBlack, "Black"},
    {clMaroon, "Maroon"},
    {clGreen, "Green"},
    {clOlive, "Olive"},
    {clNavy, "Navy"},
    {clPurple, "Purple"},
    {clTeal, "Teal"},
    {clGray, "Gray"},
    {clSilver, "Silver"},
    {clRed, "Red"},
    {clLime, "Lime"},
    {clYellow, "Yellow"},
    {clBlue, "Blue"},
    {clFuchsia, "Fuchsia"},
    {clAqua, "Aqua"},
    {clWhite, "White"},
    {0xC0DCC0, "Money Green"},
    {0xF0CAA6, "Sky Blue"},
    {0xF0FBFF, "Cream"},
    {0xA4A0A0, "Medium Gray"},
    {clScrollBar, "Scroll Bar"},
    {clBackground, "Desktop"},
    {clActiveCaption, "Active Caption"},
    {clInactiveCaption, "Inactive Caption"},
    {clMenu, "Menu"},
    {clWindow, "Window"},
    {clWindowFrame, "Window Frame"},
    {clMenuText, "Menu Text"},
    {clWindowText, "Window Text"},
    {clCaptionText, "Caption Text"},
    {clActiveBorder, "Active Border"},
    {clInactiveBorder, "Inactive Border"},
    {clAppWorkSpace, "Application Workspace"},
    {clHighlight, "Highlight"},
    {clHighlightText, "Highlight Text"},
    {clBtnFace, "Button Face"},
    {clBtnShadow, "Button Shadow"},
    {clGrayText, "Gray Text"},
    {clBtnText, "Button Text"},
    {clInactiveCaptionText, "Inactive Caption Text"},
    {clBtnHighlight, "Button Highlight"},
    {cl3DDkShadow, "3D Dark Shadow"},
    {cl3DLight, "3D Light"},
    {clInfoText, "Info Text"},
    {clInfoBk, "Info Background"},
    {clHotLight, "Hot Light"},
    {clGradientActiveCaption, "Gradient Active Caption"},
    {clGradientInactiveCaption, "Gradient Inactive Caption"},
    {clMenuHighlight, "Menu Highlight"},
    {clMenuBar, "Menu Bar"},
};

const QString kCustomEntry = QStringLiteral("Custom...");

// What an item stands for: a listed colour, the extra item of an unlisted value, or the entry
// that opens the chooser.
enum TItemKind { ikListed, ikExtra, ikCustomEntry };
constexpr int kColorRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;

const QSize kSwatchSize(22, 12);

QIcon Swatch(TColor color)
{
    QPixmap pixmap(kSwatchSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(QColor::fromRgb(ZTColorToRgb(color)));
    painter.drawRect(0, 0, kSwatchSize.width() - 1, kSwatchSize.height() - 1);
    return QIcon(pixmap);
}

// The text of an unlisted value: a system-colour reference by its index, a plain colour as
// #RRGGBB.
QString ExtraItemText(TColor color)
{
    if (color & clSystemColor)
        return QStringLiteral("System Color %1").arg(color & ~clSystemColor);
    return QColor::fromRgb(ZTColorToRgb(color)).name().toUpper();
}

std::optional<QColor> AskColor(QWidget *parent, const QColor &initial)
{
    if (const TZTColorDialogAnswerer &answerer = Answerer())
        return answerer(initial);
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}
} // namespace

void ZTSetColorDialogAnswerer(TZTColorDialogAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

QString ZTColorName(TColor color)
{
    for (const TNamedColor &named : kListedColors)
        if (named.Color == color)
            return QString::fromLatin1(named.Name);
    return QString();
}

TZTColorBox::TZTColorBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    setIconSize(kSwatchSize);
    setMaxVisibleItems(16);
    updating_ = true;
    for (const TNamedColor &named : kListedColors)
        AddColorItem(named.Color, QString::fromLatin1(named.Name));
    addItem(kCustomEntry);
    setItemData(CustomEntryIndex(), ikCustomEntry, kKindRole);
    setCurrentIndex(0);
    updating_ = false;
    connect(this, &QComboBox::currentIndexChanged, this, &TZTColorBox::CurrentIndexChanged);
}

void TZTColorBox::AddColorItem(TColor color, const QString &name)
{
    addItem(Swatch(color), name, QVariant::fromValue<uint>(color));
    setItemData(count() - 1, ikListed, kKindRole);
}

void TZTColorBox::SetSelected(TColor color)
{
    ShowValue(color);
    if (color == selected_)
        return;
    selected_ = color;
    Q_EMIT SelectedChanged(color);
}

int TZTColorBox::ExtraItemIndex() const
{
    const int before = CustomEntryIndex() - 1;
    return before >= 0 && itemData(before, kKindRole).toInt() == ikExtra ? before : -1;
}

void TZTColorBox::ShowValue(TColor color)
{
    const bool wasUpdating = updating_;
    updating_ = true;
    int index = -1;
    for (int i = 0; i < count() && index < 0; ++i)
        if (itemData(i, kKindRole).toInt() == ikListed && itemData(i, kColorRole).toUInt() == color)
            index = i;
    if (index < 0) {
        index = ExtraItemIndex();
        if (index < 0) {
            index = CustomEntryIndex();
            insertItem(index, QString());
            setItemData(index, ikExtra, kKindRole);
        }
        setItemText(index, ExtraItemText(color));
        setItemIcon(index, Swatch(color));
        setItemData(index, QVariant::fromValue<uint>(color), kColorRole);
    }
    setCurrentIndex(index);
    updating_ = wasUpdating;
}

void TZTColorBox::CurrentIndexChanged(int index)
{
    if (updating_ || index < 0)
        return;
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unexpected error."), [&] {
        if (itemData(index, kKindRole).toInt() == ikCustomEntry) {
            ChooseCustomColor();
            return;
        }
        const TColor color = itemData(index, kColorRole).toUInt();
        if (color != selected_) {
            selected_ = color;
            Q_EMIT SelectedChanged(color);
        }
    });
}

void TZTColorBox::ChooseCustomColor()
{
    // Whatever happens in the chooser, the box goes back to showing a colour, never the entry.
    const TColor previous = selected_;
    struct TRestore {
        TZTColorBox *box;
        TColor color;
        bool armed = true;
        ~TRestore()
        {
            if (armed)
                box->ShowValue(color);
        }
    } restore{this, previous};
    const std::optional<QColor> chosen = AskColor(this, QColor::fromRgb(ZTColorToRgb(previous)));
    if (!chosen || !chosen->isValid())
        return;
    restore.armed = false;
    SetSelected(ZTRgb(chosen->red(), chosen->green(), chosen->blue()));
}
