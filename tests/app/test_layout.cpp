// The layout arithmetic in twips, without any window.
#include "app/Layout.h"

#include <QtTest>

using namespace korvane;

class TestLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void designSize() {
        const auto l = ComputeLayout(8625, 8040, false, true);
        QVERIFY(l);
        QCOMPARE(l->tabTop, 1600);
        QCOMPARE(l->tabWidth, 8385);
        QCOMPARE(l->tabHeight, 5780);
        QCOMPARE(l->listWidth, 7905);
        QCOMPARE(l->listHeight, 5050);
        QCOMPARE(l->frameWidth, 7905);
        QCOMPARE(l->pushButton1Width, 7905);
        QCOMPARE(l->text2Width, 6605);
        QCOMPARE(l->pushButton2Left, 6945);
        QCOMPARE(l->progressTop, 7530);
        QCOMPARE(l->progressWidth, std::optional<int>(8385));
    }

    void clientExactly2260High() {
        const auto l = ComputeLayout(8625, 2260, false, true);
        QCOMPARE(l->tabHeight, 0);
        QCOMPARE(l->listHeight, 730);
        QCOMPARE(l->progressTop, 1750);
    }

    void shorterThan2260GrowsAsItShrinks() {
        QCOMPARE(ComputeLayout(8625, 2000, false, true)->tabHeight, 260);
        QCOMPARE(ComputeLayout(8625, 1000, false, true)->tabHeight, 1260);
    }

    void wideningBy1000() {
        const auto a = *ComputeLayout(8625, 8040, false, true);
        const auto b = *ComputeLayout(9625, 8040, false, true);
        QCOMPARE(b.tabWidth - a.tabWidth, 1000);
        QCOMPARE(b.listWidth - a.listWidth, 1000);
        QCOMPARE(b.frameWidth - a.frameWidth, 1000);
        QCOMPARE(b.pushButton1Width - a.pushButton1Width, 1000);
        QCOMPARE(b.text2Width - a.text2Width, 1000);
        QCOMPARE(*b.progressWidth - *a.progressWidth, 1000);
        QCOMPARE(b.pushButton2Left - a.pushButton2Left, 1000);
        QCOMPARE(b.tabHeight, a.tabHeight);
    }

    void browseButtonStays100RightOfFolderBox_data() {
        QTest::addColumn<int>("width");
        for (int w : {2020, 2500, 4000, 8625, 20000})
            QTest::addRow("%d", w) << w;
    }
    void browseButtonStays100RightOfFolderBox() {
        QFETCH(int, width);
        const auto l = ComputeLayout(width, 8040, false, true);
        QCOMPARE(l->pushButton2Left, kText2DesignLeft + l->text2Width + 100);
    }

    void minimisedIsLeftAlone() { QVERIFY(!ComputeLayout(8625, 8040, true, true)); }

    void withoutColumnTheBarWidthStays() {
        const auto l = ComputeLayout(8625, 8040, false, false);
        QVERIFY(!l->progressWidth);
        QCOMPARE(l->tabWidth, 8385);
    }

    void narrowWindowNeverGivesNegativeWidths() {
        // Below 2020 twips the folder box would go negative.
        for (int w : {0, 100, 239, 700, 1219, 1220, 2019}) {
            const auto l = *ComputeLayout(w, 8040, false, true);
            QVERIFY(l.tabWidth >= 0 && l.listWidth >= 0 && l.frameWidth >= 0);
            QVERIFY2(l.text2Width >= 0, qPrintable(QString::number(w)));
        }
        QCOMPARE(ComputeLayout(2019, 8040, false, true)->text2Width, 0);
        QCOMPARE(ComputeLayout(2021, 8040, false, true)->text2Width, 1);
    }

    void twipsConversion() {
        QCOMPARE(TwipsToPixels(8625, 96), 575);
        QCOMPARE(TwipsToPixels(15, 96), 1);
        QCOMPARE(TwipsToPixels(1440, 144), 144);
        QCOMPARE(PixelsToTwips(575, 96), 8625);
    }
};

QTEST_GUILESS_MAIN(TestLayout)
#include "test_layout.moc"
