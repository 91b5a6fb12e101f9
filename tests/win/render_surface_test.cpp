// The paint cycle's lifetimes, seen through real WM_PAINT messages: what is
// kept and what is replaced when the size or the DPI changes, the smallest
// surface, and a full rebuild after the surface is released.
#include "render/render_surface.h"
#include "tests/win/render_fixture.h"

#include <gtest/gtest.h>

namespace {

class RenderSurfaceTest : public testing::Test {
protected:
    void SetUp() override { ApplyScene(SceneNamed("welcome")); }
    void TearDown() override { ResetWindowState(); }
    // Paints at the window's current size.
    void Repaint() { RedrawWindow(window.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }
    void Resize(int width, int height) {
        SetWindowPos(window.handle(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    RenderWindow window;
};

TEST_F(RenderSurfaceTest, SizeChangeReplacesOnlyThePixelBuffer) {
    ASSERT_TRUE(window.Paint(96));
    RenderSurface before;
    before.d2dFactory = renderSurface.d2dFactory;
    before.renderTarget = renderSurface.renderTarget;
    before.solidBrush = renderSurface.solidBrush;
    before.memoryDC = renderSurface.memoryDC;
    before.dibSection = renderSurface.dibSection;
    Resize(460, 317);
    Repaint();
    EXPECT_EQ(renderSurface.surfaceWidth, 460u);
    EXPECT_EQ(renderSurface.surfaceHeight, 317u);
    EXPECT_NE(renderSurface.dibSection, before.dibSection);
    EXPECT_EQ(renderSurface.memoryDC, before.memoryDC);
    EXPECT_EQ(renderSurface.renderTarget, before.renderTarget);
    EXPECT_EQ(renderSurface.solidBrush, before.solidBrush);
    EXPECT_EQ(renderSurface.d2dFactory, before.d2dFactory);
}

// The frame is laid out in DIPs: 690 x 474 pixels at 144 DPI is 460 x 316,
// drawn with the target's DPI set to the window's.
TEST_F(RenderSurfaceTest, FrameFollowsTheWindowDpi) {
    for (const uint32_t windowDpi : {96u, 120u, 144u, 96u}) {
        SCOPED_TRACE(windowDpi);
        ASSERT_TRUE(window.Paint(windowDpi));
        float x = 0, y = 0;
        renderSurface.renderTarget->GetDpi(&x, &y);
        EXPECT_EQ(x, float(windowDpi));
        EXPECT_EQ(y, float(windowDpi));
        EXPECT_EQ(renderSurface.surfaceWidth, windowDpi * 460 / 96);
        ASSERT_FALSE(hitTargets.empty());
        EXPECT_EQ(hitTargets[1].right, 448.0f) << "close button at w - 12 DIPs";
        // Half a close button to the left of its right edge is its disc.
        hoveredAction = ActionClose;
        ASSERT_TRUE(window.Paint(windowDpi));
        EXPECT_GT(window.At(443, 24).r, 150);
        hoveredAction = ActionNone;
    }
}

TEST_F(RenderSurfaceTest, EmptyClientAreaIsPaintedAsOnePixel) {
    ASSERT_TRUE(window.Paint(96));
    Resize(0, 0);
    // An empty window has nothing to invalidate, so the message is sent.
    SendMessageW(window.handle(), WM_PAINT, 0, 0);
    EXPECT_EQ(renderSurface.surfaceWidth, 1u);
    EXPECT_EQ(renderSurface.surfaceHeight, 1u);
}

TEST_F(RenderSurfaceTest, ReleasedSurfaceIsBuiltAgainWithTheSameFactory) {
    ASSERT_TRUE(window.Paint(96));
    const ComPtr<ID2D1Factory> factory = renderSurface.d2dFactory;
    ReleaseRenderSurface();
    EXPECT_FALSE(renderSurface.renderTarget || renderSurface.solidBrush || renderSurface.licenseBitmap ||
                 renderSurface.memoryDC || renderSurface.dibSection || renderSurface.surfaceWidth ||
                 renderSurface.surfaceHeight);
    EXPECT_EQ(renderSurface.d2dFactory, factory);
    ASSERT_TRUE(window.Paint(96));
    EXPECT_TRUE(renderSurface.renderTarget && renderSurface.solidBrush && renderSurface.memoryDC &&
                renderSurface.dibSection);
    EXPECT_EQ(renderSurface.d2dFactory, factory);
    EXPECT_GT(window.At(40, 216).r, 230) << "the next frame is drawn";
}

}  // namespace
