// The About box: layout, texts, pictures, and closing on a click anywhere.
#include "update/config/settings_store.h"
#include "update/documents/about_box.h"
#include "update/documents/about_pictures.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace ckupdate {
namespace {

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override { Store().clear(); }
    static QSettings Store() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "TOLA", "CK-Update"); }
    const QString program = QStringLiteral("/opt/tola/bin/Tola_CK_Update");
};

// Clicks the box at a point of the panel as the window system would: on the
// control found there.
void ClickAt(TfrmAbout& box, QPoint onPanel) {
    QWidget* target = box.Panel1()->childAt(onPanel);
    if (target == nullptr) target = box.Panel1();
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(box.Panel1(), onPanel));
}

TEST_F(AboutBox, LayoutAndTexts) {
    TfrmAbout box(program);
    EXPECT_EQ(QStringLiteral("frmAbout"), box.objectName());
    EXPECT_EQ(QSize(446, 528), box.size());
    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(QStringLiteral("TOLA Chromatik Updater - Info"), box.windowTitle());
    EXPECT_EQ(QRect(0, 0, 446, 528), box.Panel1()->geometry());

    EXPECT_EQ(QStringLiteral("TOLA Chromatik Updater"), box.lblTitle()->text());
    EXPECT_EQ(QPoint(12, 8), box.lblTitle()->pos());
    EXPECT_EQ(QColor(244, 15, 96), box.lblTitle()->palette().color(QPalette::WindowText));
    EXPECT_TRUE(box.lblTitle()->font().bold());
    EXPECT_EQ(21, box.lblTitle()->font().pixelSize());
    EXPECT_EQ(QStringLiteral("Quality control in dentistry"), box.lblQuality()->text());
    EXPECT_EQ(QPoint(12, 32), box.lblQuality()->pos());
    EXPECT_EQ(QRect(328, 8, 88, 37), box.imgLogo()->geometry());
    EXPECT_EQ(QRect(6, 58, 430, 376), box.shpImageFrame()->geometry());
    EXPECT_EQ(2, box.shpImageFrame()->lineWidth());
    EXPECT_EQ(QRect(8, 60, 425, 374), box.imgChromatik()->geometry());
    EXPECT_EQ(QPoint(8, 440), box.lblCompanyName()->pos());
    EXPECT_EQ(QLatin1String(kMakerCompanyName), box.lblCompanyName()->text());

    EXPECT_EQ("Version: " + GetProgramVersionText(program), box.lblVNumber()->text());
    EXPECT_EQ(416, box.lblVNumber()->geometry().right() + 1);
    EXPECT_EQ(440, box.lblVNumber()->y());
    EXPECT_TRUE(box.lblCopyright()->text().contains(QLatin1String(kMakerCompanyName)));
    EXPECT_EQ(416, box.lblCopyright()->geometry().right() + 1);
    EXPECT_EQ(456, box.lblCopyright()->y());
    EXPECT_EQ(QStringLiteral("Ok"), box.btnOk()->text());
    EXPECT_EQ(QRect(183, 479, 72, 26), box.btnOk()->geometry());

    EXPECT_EQ(Qt::PointingHandCursor, box.Panel1()->cursor().shape());
    EXPECT_EQ(Qt::PointingHandCursor, box.imgChromatik()->cursor().shape());
    EXPECT_EQ(Qt::ArrowCursor, box.btnOk()->cursor().shape());
}

TEST_F(AboutBox, PicturesAreDrawn) {
    const QImage logo = MakerLogo().toImage();
    const QImage product = ProductPicture().toImage();
    EXPECT_EQ(QSize(88, 37), logo.size());
    EXPECT_EQ(QSize(425, 374), product.size());
    // Not blank: the logo carries the brand colour, the picture more than its backdrop.
    EXPECT_NE(logo.pixelColor(0, 0), logo.pixelColor(8, 10));
    EXPECT_NE(product.pixelColor(5, 5), product.pixelColor(230, 160));
}

TEST_F(AboutBox, ClosesOnAClickAnywhere) {
    TfrmAbout box(program);
    const std::vector<QPoint> points = {
        {200, 20},   // title
        {40, 40},    // slogan
        {360, 20},   // logo
        {6, 200},    // the frame's line: the outline takes no clicks
        {200, 200},  // picture
        {20, 447},   // company name
        {410, 445},  // version
        {410, 460},  // copyright
        {219, 492},  // button
        {300, 510},  // bare panel
    };
    for (const QPoint& p : points) {
        box.show();
        ASSERT_TRUE(box.isVisible());
        ClickAt(box, p);
        EXPECT_FALSE(box.isVisible()) << p.x() << "," << p.y();
    }
}

TEST_F(AboutBox, ModalShowingEndsWithAClickAndKeepsThePlace) {
    TfrmAbout box(program);
    QTimer::singleShot(0, &box, [&] { ClickAt(box, {200, 200}); });
    box.ShowModal();
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(QString::number(box.x()), Store().value("Position/FRMABOUT_L").toString());
    EXPECT_EQ(QString::number(box.y()), Store().value("Position/FRMABOUT_T").toString());
    EXPECT_EQ(QStringLiteral("446"), Store().value("Position/FRMABOUT_W").toString());
    EXPECT_EQ(QStringLiteral("528"), Store().value("Position/FRMABOUT_H").toString());
}

}  // namespace
}  // namespace ckupdate
