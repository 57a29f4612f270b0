// The colour drop-down: values it lists, values it does not, and the custom-colour entry.
#include "TestEnv.h"

#include "ZTColorBox.h"

#include <QApplication>
#include <QSignalSpy>

namespace {
// The colour at the middle of an item's swatch.
QRgb SwatchCentre(const TZTColorBox &box, int index)
{
    const QImage image = box.itemIcon(index).pixmap(box.iconSize()).toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}
} // namespace

class TestZTColorBox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ZTSetColorDialogAnswerer({}); }

    // Every system colour index the palette knows has an item of its own, named and drawn.
    void systemColoursListed()
    {
        TZTColorBox box;
        const int listed = box.count();
        QStringList names;
        for (int index = 0; index < ZTSystemColorCount; ++index) {
            if (index == 25) // no system colour has this index
                continue;
            const TColor color = clSystemColor + TColor(index);
            box.SetSelected(color);
            QCOMPARE(box.count(), listed);
            QCOMPARE(box.Selected(), color);
            QVERIFY(!box.currentText().isEmpty());
            names << box.currentText();
            QCOMPARE(SwatchCentre(box, box.currentIndex()), QRgb(ZTColorToRgb(color)));
        }
        names.removeDuplicates();
        QCOMPARE(names.size(), ZTSystemColorCount - 1);
        QCOMPARE(box.itemText(box.CustomEntryIndex()), QStringLiteral("Custom..."));
    }

    void values_data()
    {
        QTest::addColumn<TColor>("color");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("extraItems");
        QTest::newRow("standard") << clRed << "Red" << 0;
        QTest::newRow("extended") << TColor(0xC0DCC0) << "Money Green" << 0;
        QTest::newRow("system reference") << clBtnFace << "Button Face" << 0;
        QTest::newRow("custom RGB") << TColor(0x563412) << "#123456" << 1;
        // An index without a system colour still stays a reference.
        QTest::newRow("unknown system index") << TColor(clSystemColor + 25) << "System Color 25" << 1;
    }
    void values()
    {
        QFETCH(TColor, color);
        QFETCH(QString, text);
        QFETCH(int, extraItems);
        TZTColorBox box;
        const int listed = box.count();
        QSignalSpy changed(&box, &TZTColorBox::SelectedChanged);
        box.SetSelected(color);
        QCOMPARE(box.Selected(), color);
        QCOMPARE(box.currentText(), text);
        QCOMPARE(box.count(), listed + extraItems);
        QCOMPARE(changed.count(), 1);
        // A second unlisted value takes the same extra item; setting the same value is silent.
        box.SetSelected(0x0A0B0C);
        box.SetSelected(0x0A0B0C);
        QCOMPARE(box.count(), listed + 1);
        QCOMPARE(box.currentText(), QStringLiteral("#0C0B0A"));
        QCOMPARE(changed.count(), 2);
    }

    // Picking an item by the keyboard or mouse reports the item's value.
    void userPicksItem()
    {
        TZTColorBox box;
        box.SetSelected(clWindow);
        QSignalSpy changed(&box, &TZTColorBox::SelectedChanged);
        box.setCurrentIndex(box.findText(QStringLiteral("Info Background")));
        QCOMPARE(box.Selected(), clInfoBk);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<TColor>(), clInfoBk);
    }

    void customEntry_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("colour chosen") << true;
        QTest::newRow("chooser cancelled") << false;
    }
    void customEntry()
    {
        QFETCH(bool, chosen);
        TZTColorBox box;
        box.SetSelected(clHighlight);
        QColor initial;
        ZTSetColorDialogAnswerer([&](QColor start) -> std::optional<QColor> {
            initial = start;
            return chosen ? std::optional<QColor>(QColor(0x12, 0x34, 0x56)) : std::nullopt;
        });
        QSignalSpy changed(&box, &TZTColorBox::SelectedChanged);
        box.setCurrentIndex(box.CustomEntryIndex());
        QCOMPARE(initial.rgb(), QRgb(ZTColorToRgb(clHighlight)));
        const TColor expected = chosen ? ZTRgb(0x12, 0x34, 0x56) : clHighlight;
        QCOMPARE(box.Selected(), expected);
        QCOMPARE(changed.count(), chosen ? 1 : 0);
        // The box never rests on the entry itself.
        QVERIFY(box.currentIndex() != box.CustomEntryIndex());
        QCOMPARE(SwatchCentre(box, box.currentIndex()), QRgb(ZTColorToRgb(expected)));
    }
};

VENTARO_TEST_MAIN(TestZTColorBox, QApplication)
#include "tst_ZTColorBox.moc"
