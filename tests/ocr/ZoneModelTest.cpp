#include "document/pAnnotations.h"
#include "document/pZones.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

// The zone bookkeeping needs no recognition: a blank page is enough.
class ZoneModelTest : public ::testing::Test {
protected:
    TBitmap FPage = TBitmap::Create(400, 300, 8);
    TAnnContainer FAnnotations;
    TZones FZones{FPage, FAnnotations, "eng"};
};

TEST_F(ZoneModelTest, ZoneRectGivesRightAndBottomOfTheCreatedZone) {
    FZones.ZoneCreate(10, 20, 110, 220, 0);
    EXPECT_EQ(FZones.ZoneCount(), 1);
    EXPECT_EQ(FZones.ZoneRect(0), (TZoneRect{10, 20, 110, 220}));
}

TEST_F(ZoneModelTest, ZoneHasTheAttributesOfAZone) {
    const std::intptr_t defaultFill = FZones.ZoneCreate(1, 2, 3, 4, 0);
    const std::intptr_t blueFill = FZones.ZoneCreate(1, 2, 3, 4, 0xFF0000);
    const TAnnObject* zone = FAnnotations.Find(defaultFill);
    ASSERT_NE(zone, nullptr);
    EXPECT_EQ(zone->Type, kAnnObjectRectangle);
    EXPECT_EQ(zone->Name, "ZONE");
    EXPECT_FALSE(zone->NameVisible);
    EXPECT_TRUE(zone->Visible);
    EXPECT_FALSE(zone->AutoDefaults);
    EXPECT_EQ(zone->BorderColor, (TColor{255, 0, 0}));
    EXPECT_EQ(zone->FillColor, (TColor{255, 255, 100}));
    EXPECT_EQ(zone->FillMode, kAnnFillTranslucent);
    ASSERT_NE(FAnnotations.Find(blueFill), nullptr);
    EXPECT_EQ(FAnnotations.Find(blueFill)->FillColor, (TColor{0, 0, 255}));
    EXPECT_NE(defaultFill, blueFill);
}

TEST_F(ZoneModelTest, IndexesThatNameNoZoneGiveZerosAndEmptyText) {
    FZones.ZoneCreate(10, 20, 110, 220, 0);
    for (const int index : {-1, 1, 2, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(FZones.ZoneRect(index), TZoneRect{});
        EXPECT_EQ(FZones.ZoneOCR(index), "");
    }
}

TEST_F(ZoneModelTest, OnlyObjectsNamedZoneCountAndIndexInContainerOrder) {
    TAnnObject note;
    note.Name = "NOTE";
    note.Rect = {1, 1, 5, 5};
    FAnnotations.Insert(note);
    FZones.ZoneCreate(10, 10, 20, 20, 0);
    FAnnotations.Insert(note);
    FZones.ZoneCreate(30, 30, 40, 40, 0);
    EXPECT_EQ(FZones.ZoneCount(), 2);
    EXPECT_EQ(FZones.ZoneRect(0), (TZoneRect{10, 10, 20, 20}));
    EXPECT_EQ(FZones.ZoneRect(1), (TZoneRect{30, 30, 40, 40}));
}

TEST_F(ZoneModelTest, ZoneRectRoundsTheLayersFloatingPointRectangle) {
    TAnnObject zone;
    zone.Name = "ZONE";
    zone.Rect = {10.4, 20.6, 110.5, 219.49};
    FAnnotations.Insert(zone);
    EXPECT_EQ(FZones.ZoneRect(0), (TZoneRect{10, 21, 111, 219}));
}

TEST_F(ZoneModelTest, ZoneDestroyRemovesAnyObjectByHandle) {
    TAnnObject note;
    note.Name = "NOTE";
    const std::intptr_t noteHandle = FAnnotations.Insert(note);
    const std::intptr_t first = FZones.ZoneCreate(10, 10, 20, 20, 0);
    FZones.ZoneCreate(30, 30, 40, 40, 0);
    FZones.ZoneDestroy(first);
    FZones.ZoneDestroy(noteHandle);
    FZones.ZoneDestroy(123456);  // no such object: nothing happens
    EXPECT_EQ(FAnnotations.Objects().size(), 1U);
    EXPECT_EQ(FZones.ZoneRect(0), (TZoneRect{30, 30, 40, 40}));
}

TEST_F(ZoneModelTest, ZonesClearRemovesOtherAnnotationsToo) {
    TAnnObject fromFile;
    fromFile.Name = "Stamp";
    FAnnotations.Insert(fromFile);
    FZones.ZoneCreate(10, 10, 20, 20, 0);
    FZones.ZonesClear();
    EXPECT_TRUE(FAnnotations.Objects().empty());
    EXPECT_EQ(FZones.ZoneCount(), 0);
}

TEST_F(ZoneModelTest, ClipboardTextListsEveryZoneWithItsCorners) {
    FZones.ZoneCreate(10, 20, 110, 220, 0);
    FZones.ZoneCreate(150, 30, 50, 5, 0);  // dragged up and to the left
    // A blank page: every zone's text is empty.
    EXPECT_EQ(FZones.OCRToClipboardText(), "Zone 1: 10x20 110x220\r\n\r\nZone 2: 50x5 150x30\r\n\r\n");
}

TEST(ZoneColorTest, ZoneColorsAreRedGreenBlueFromTheLowByte) {
    EXPECT_EQ(ColorFromZoneColor(0x00332211), (TColor{0x11, 0x22, 0x33}));
    EXPECT_EQ(ColorFromZoneColor(0xFF000000), (TColor{0, 0, 0}));
}

}  // namespace
}  // namespace paxid
