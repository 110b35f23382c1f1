// The projectile pools: removal order, one move per record per pass, the field's edges, drawing.
#include "game/projectiles.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/platform.h"
#include "coded_sheet.h"
#include "committed_sheet.h"
#include "support/harness.h"

namespace {

using coded_sheet::SheetPixel;

constexpr std::int32_t kProjectilesTag = 3;

std::vector<std::int32_t> xsOf(const Projectile* pool, std::int32_t count) {
  std::vector<std::int32_t> xs;
  for (std::int32_t index = 0; index < count; ++index) xs.push_back(pool[index].x);
  return xs;
}

class ProjectilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gNumberOfPlayerProjectiles = 0;
    gNumberOfEnemyProjectiles1 = 0;
    gNumberOfEnemyProjectiles2 = 0;
  }
};

TEST_F(ProjectilesTest, RemovalMovesTheLastRecordIntoTheFreedSlot) {
  gEnemyProjectileList2[0] = {100, 0, 0, 0};
  gEnemyProjectileList2[1] = {200, 0, 0, 0};
  gEnemyProjectileList2[2] = {300, 0, 0, 0};
  gEnemyProjectileList2[3] = {400, 5, 6, 7};
  gNumberOfEnemyProjectiles2 = 4;
  removeEnemyProjectile2(1);
  EXPECT_EQ(xsOf(gEnemyProjectileList2, gNumberOfEnemyProjectiles2), (std::vector<std::int32_t>{100, 400, 300}));
  EXPECT_EQ(gEnemyProjectileList2[1].y, 5);
  EXPECT_EQ(gEnemyProjectileList2[1].vx, 6);
  EXPECT_EQ(gEnemyProjectileList2[1].vy, 7);

  gPlayerProjectileList[0] = {100, 0, 0, 0};
  gNumberOfPlayerProjectiles = 1;
  removePlayerProjectile(0);
  EXPECT_EQ(gNumberOfPlayerProjectiles, 0);

  gEnemyProjectileList1[0] = {1, 0, 0, 0};
  gEnemyProjectileList1[1] = {2, 0, 0, 0};
  gNumberOfEnemyProjectiles1 = 2;
  removeEnemyProjectile1(1);
  EXPECT_EQ(xsOf(gEnemyProjectileList1, gNumberOfEnemyProjectiles1), (std::vector<std::int32_t>{1}));
}

TEST_F(ProjectilesTest, APassMovesEveryRecordExactlyOnceWhileItRemoves) {
  // A leaves the field; C moves into its slot and is moved there, then B.
  gPlayerProjectileList[0] = {7990, 100, 20, 0};  // A
  gPlayerProjectileList[1] = {1000, 100, 50, 0};  // B
  gPlayerProjectileList[2] = {2000, 100, 50, 0};  // C
  gNumberOfPlayerProjectiles = 3;
  moveProjectiles();
  EXPECT_EQ(xsOf(gPlayerProjectileList, gNumberOfPlayerProjectiles), (std::vector<std::int32_t>{2050, 1050}));

  // Several removals in one pass, the last record included.
  gEnemyProjectileList2[0] = {-150, 100, -20, 0};  // leaves
  gEnemyProjectileList2[1] = {500, 100, -20, 0};
  gEnemyProjectileList2[2] = {-155, 100, -20, 0};  // leaves after moving into slot 0
  gEnemyProjectileList2[3] = {-159, 100, -20, 0};  // leaves after moving into slot 0
  gNumberOfEnemyProjectiles2 = 4;
  moveProjectiles();
  EXPECT_EQ(xsOf(gEnemyProjectileList2, gNumberOfEnemyProjectiles2), (std::vector<std::int32_t>{480}));
}

struct FieldEdgeCase {
  Projectile start;
  bool stays;
  std::int32_t x;  // after the move, when it stays
  std::int32_t y;
};

TEST_F(ProjectilesTest, FieldEdgesAreInclusive) {
  const FieldEdgeCase cases[] = {
      {{7990, 3000, 10, 0}, true, 8000, 3000},    {{7990, 3000, 11, 0}, false, 0, 0},
      {{-150, 3000, -10, 0}, true, -160, 3000},   {{-150, 3000, -11, 0}, false, 0, 0},
      {{100, -150, 0, -10}, true, 100, -160},     {{100, -160, 0, -10}, false, 0, 0},
      {{100, 5990, 0, 10}, true, 100, 6000},      {{100, 5990, 0, 11}, false, 0, 0},
      {{8000, 6000, 0, 0}, true, 8000, 6000},     {{-160, -160, 0, 0}, true, -160, -160},
  };
  for (const FieldEdgeCase& edge : cases) {
    SCOPED_TRACE(testing::Message() << "from (" << edge.start.x << ", " << edge.start.y << ") by (" << edge.start.vx
                                    << ", " << edge.start.vy << ")");
    gEnemyProjectileList2[0] = edge.start;
    gNumberOfEnemyProjectiles2 = 1;
    moveProjectiles();
    ASSERT_EQ(gNumberOfEnemyProjectiles2, edge.stays ? 1 : 0);
    if (edge.stays) {
      EXPECT_EQ(gEnemyProjectileList2[0].x, edge.x);
      EXPECT_EQ(gEnemyProjectileList2[0].y, edge.y);
    }
  }
}

TEST_F(ProjectilesTest, ARecordLeavingSidewaysIsNotMovedDownFirst) {
  // The only record is copied onto itself when removed, so its last values stay readable.
  gPlayerProjectileList[0] = {7990, 3000, 11, 40};
  gNumberOfPlayerProjectiles = 1;
  moveProjectiles();
  ASSERT_EQ(gNumberOfPlayerProjectiles, 0);
  EXPECT_EQ(gPlayerProjectileList[0].x, 8001);
  EXPECT_EQ(gPlayerProjectileList[0].y, 3000);
}

class ProjectileDrawingTest : public ProjectilesTest {
 protected:
  void SetUp() override {
    ProjectilesTest::SetUp();
    testing_support::useSoftwareRenderer();
    gTexture[kTextureProjectiles] = coded_sheet::makeCodedSheet(gRenderer, 32, 8, kProjectilesTag);
    coded_sheet::fillBlank();
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }
};

// Checks that the rectangle (x, y, 2 * sourceW, 2 * sourceH) of the window shows the sheet cell
// at (sourceX, sourceY) scaled by two, and that the pixels just outside it are untouched.
void expectCellDrawn(std::int32_t x, std::int32_t y, std::int32_t sourceX, std::int32_t sourceY, std::int32_t sourceW,
                     std::int32_t sourceH) {
  for (std::int32_t row = 0; row < 2 * sourceH; ++row) {
    for (std::int32_t column = 0; column < 2 * sourceW; ++column) {
      if (x + column < 0 || y + row < 0) continue;
      ASSERT_EQ(coded_sheet::sheetPixelAt(x + column, y + row),
                (SheetPixel{sourceX + column / 2, sourceY + row / 2, kProjectilesTag}))
          << "window (" << x + column << ", " << y + row << ")";
    }
  }
  const std::int32_t right = x + 2 * sourceW;
  const std::int32_t bottom = y + 2 * sourceH;
  if (right < kWindowWidth && y >= 0) {
    EXPECT_EQ(coded_sheet::sheetPixelAt(right, y).tag, coded_sheet::kBlankTag);
  }
  if (bottom < kWindowHeight && x >= 0) {
    EXPECT_EQ(coded_sheet::sheetPixelAt(x, bottom).tag, coded_sheet::kBlankTag);
  }
}

TEST_F(ProjectileDrawingTest, EachPoolDrawsItsOwnCellScaledByTwo) {
  gPlayerProjectileList[0] = {1000, 2000, 0, 0};
  gNumberOfPlayerProjectiles = 1;
  gEnemyProjectileList1[0] = {3000, 2000, 0, 0};
  gNumberOfEnemyProjectiles1 = 1;
  gEnemyProjectileList2[0] = {5000, 2000, 0, 0};
  gNumberOfEnemyProjectiles2 = 1;
  renderProjectiles();
  expectCellDrawn(100, 200, 6, 0, 8, 8);
  expectCellDrawn(300, 200, 0, 0, 6, 6);
  expectCellDrawn(500, 200, 14, 0, 18, 4);
}

TEST_F(ProjectileDrawingTest, PositionsTruncateTowardZeroAndShotsMayHangOverTheEdge) {
  gEnemyProjectileList2[0] = {-160, 1000, 0, 0};  // drawn at -16: 20 of its 36 columns show
  gEnemyProjectileList2[1] = {-15, 2000, 0, 0};   // drawn at -1
  gEnemyProjectileList2[2] = {-5, 3000, 0, 0};    // drawn at 0
  gNumberOfEnemyProjectiles2 = 3;
  renderProjectiles();
  EXPECT_EQ(coded_sheet::sheetPixelAt(0, 100), (SheetPixel{14 + 8, 0, kProjectilesTag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(19, 100), (SheetPixel{14 + 17, 0, kProjectilesTag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(20, 100).tag, coded_sheet::kBlankTag);
  expectCellDrawn(-1, 200, 14, 0, 18, 4);
  expectCellDrawn(0, 300, 14, 0, 18, 4);
}

TEST_F(ProjectileDrawingTest, LaterPoolsAreDrawnOverEarlierOnes) {
  gPlayerProjectileList[0] = {1000, 1000, 0, 0};
  gNumberOfPlayerProjectiles = 1;
  gEnemyProjectileList2[0] = {1000, 1000, 0, 0};
  gNumberOfEnemyProjectiles2 = 1;
  renderProjectiles();
  EXPECT_EQ(coded_sheet::sheetPixelAt(100, 100), (SheetPixel{14, 0, kProjectilesTag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(100, 108), (SheetPixel{6 + 0, 4, kProjectilesTag}));
}

TEST_F(ProjectilesTest, EachPoolDrawsItsCellOfProjectilesPng) {
  ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
  const committed_sheet::Sheet sheet = committed_sheet::loadSheet("Projectiles.png");
  ASSERT_NE(sheet, nullptr);
  gPlayerProjectileList[0] = {1000, 2000, 0, 0};
  gNumberOfPlayerProjectiles = 1;
  gEnemyProjectileList1[0] = {3000, 2000, 0, 0};
  gNumberOfEnemyProjectiles1 = 1;
  gEnemyProjectileList2[0] = {5000, 2000, 0, 0};
  gNumberOfEnemyProjectiles2 = 1;
  committed_sheet::fillCanvas();
  renderProjectiles();
  EXPECT_TRUE(committed_sheet::drawnFrom(sheet.get(), {6, 0, 8, 8}, {100, 200, 16, 16}));
  EXPECT_TRUE(committed_sheet::drawnFrom(sheet.get(), {0, 0, 6, 6}, {300, 200, 12, 12}));
  EXPECT_TRUE(committed_sheet::drawnFrom(sheet.get(), {14, 0, 18, 4}, {500, 200, 36, 8}));
  testing_support::releaseSoftwareRenderer();
}

}  // namespace
