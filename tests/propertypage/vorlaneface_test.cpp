// The control's design-time face and its size negotiation with a host.
#include "control/ui/vorlaneface.h"
#include "control/vorlaneobject.h"
#include "platform/automation/embeddedcontrol.h"

#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(DesignTimeFace, IsAFixed32PixelSquareWithTheTwoLabels)
{
    VorlaneFace face;
    EXPECT_EQ(face.size(), QSize(32, 32));
    EXPECT_EQ(face.minimumSize(), face.maximumSize());

    // Twips divided by 15.
    EXPECT_EQ(face.label1()->objectName(), "Label1");
    EXPECT_EQ(face.label1()->geometry(), QRect(0, 8, 81, 17));
    EXPECT_FALSE(face.label1()->text().isEmpty());
    EXPECT_EQ(face.label2()->objectName(), "Label2");
    EXPECT_EQ(face.label2()->text(), "Vorlane");
    EXPECT_EQ(face.label2()->geometry(), QRect(8, 24, 57, 17));

    bool hasIcon = false;
    for (const QLabel* label : face.findChildren<QLabel*>())
        hasIcon = hasIcon || label->pixmap().size() == QSize(32, 32);
    EXPECT_TRUE(hasIcon);
}

TEST(DesignTimeFace, ToolboxBitmapIs16By15)
{
    const QPixmap bitmap = VorlaneFace::toolboxBitmap();
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.size(), QSize(16, 15));
}

TEST(DesignTimeFace, ControlKeeps32PixelsWhateverTheHostAsks)
{
    VorlaneObject control;
    for (const QSize requested :
         {QSize(0, 0), QSize(32, 32), QSize(33, 31), QSize(640, 480), QSize(-1, -1)}) {
        EXPECT_EQ(control.resize(requested), QSize(32, 32)) << requested.width();
    }
    EXPECT_EQ(automation::himetricFromPixels(32), 847);

    const std::unique_ptr<QWidget> face(control.createFace(nullptr));
    ASSERT_TRUE(face);
    EXPECT_EQ(face->size(), QSize(32, 32));
    EXPECT_TRUE(face->findChild<QLabel*>("Label2"));
}

} // namespace
