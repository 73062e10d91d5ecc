// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/WaitIndicator.h"

#include <gtest/gtest.h>
#include <vector>

using namespace klangdorn;

namespace
{

// A box whose font measures every blank as `blank` and the n as `square` units.
class FakeSurface : public WaitBarSurface
{
public:
    FakeSurface(int width, int blank, int square) : m_width(width), m_blank(blank), m_square(square)
    {
    }
    struct Drawn {
        int x;
        int y;
        std::string text;
    };
    std::vector<Drawn> drawn;
    int clears = 0;
    bool clearedBeforeDrawing = true;

    int outerWidth() const override { return m_width; }
    int outerHeight() const override { return 17; }
    int textWidth(const std::string& text) const override
    {
        int width = 0;
        for (char c : text)
            width += c == 'n' ? m_square : m_blank;
        return width;
    }
    int textHeight(const std::string&) const override { return 12; }
    void clear() override { ++clears; }
    void drawText(int x, int y, const std::string& text) override
    {
        clearedBeforeDrawing = clearedBeforeDrawing && clears == static_cast<int>(drawn.size()) + 1;
        drawn.push_back({x, y, text});
    }

    // The positions drawn so far: the blanks in front of the n.
    std::vector<int> positions() const
    {
        std::vector<int> result;
        for (const auto& d : drawn)
            result.push_back(static_cast<int>(d.text.find('n')));
        return result;
    }

private:
    int m_width;
    int m_blank;
    int m_square;
};

std::vector<int> ticks(WaitIndicator& indicator, FakeSurface& surface, int count)
{
    for (int i = 0; i < count; ++i)
        indicator.tick(surface);
    return surface.positions();
}

TEST(WaitIndicatorTest, FirstTickDrawsOneBlankInVerticallyCentred)
{
    WaitIndicator indicator;
    indicator.setStep(1);
    FakeSurface surface(65, 10, 10);
    indicator.tick(surface);

    ASSERT_EQ(surface.drawn.size(), 1u);
    EXPECT_EQ(surface.drawn[0].x, 0);
    EXPECT_EQ(surface.drawn[0].y, 17 / 2 - 12 / 2);
    EXPECT_EQ(surface.drawn[0].text, " n ");
    EXPECT_EQ(surface.clears, 1);
}

struct SequenceCase {
    int width;
    int blank;
    int square;
    std::vector<int> positions;
};

void PrintTo(const SequenceCase& c, std::ostream* os)
{
    *os << "box " << c.width << ", blank " << c.blank << ", square " << c.square;
}

class WaitIndicatorSequenceTest : public testing::TestWithParam<SequenceCase>
{
};

// The turn at the right comes at the first position whose whole text, trailing blank
// included, is at least as wide as the box; it is drawn once. At the left: 1, 0, 1.
TEST_P(WaitIndicatorSequenceTest, SlidesToAndFro)
{
    WaitIndicator indicator;
    indicator.setStep(1);
    FakeSurface surface(GetParam().width, GetParam().blank, GetParam().square);
    const auto& expected = GetParam().positions;
    EXPECT_EQ(ticks(indicator, surface, static_cast<int>(expected.size())), expected);
    EXPECT_TRUE(surface.clearedBeforeDrawing);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, WaitIndicatorSequenceTest,
    testing::Values(
        // "    n " is 60 wide: equal to the box turns.
        SequenceCase{60, 10, 10, {1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3}},
        SequenceCase{55, 10, 10, {1, 2, 3, 4, 3, 2, 1, 0, 1, 2}},
        SequenceCase{61, 10, 10, {1, 2, 3, 4, 5, 4, 3, 2, 1, 0, 1}},
        // A wide n: 4 blanks + n + blank = 16 + 10 + 4 = 30 turns at 4, not at 5.
        SequenceCase{30, 4, 10, {1, 2, 3, 4, 3, 2, 1, 0, 1}},
        // A box narrower than the square alone: to and fro between 1 and 0.
        SequenceCase{5, 10, 10, {1, 0, 1, 0, 1}}));

TEST(WaitIndicatorTest, PositionAndStepCarryOverBetweenRuns)
{
    WaitIndicator indicator;
    indicator.setStep(1);
    FakeSurface first(60, 10, 10);
    ticks(indicator, first, 5); // 1 2 3 4 3: moving left
    EXPECT_EQ(indicator.position(), 3);
    EXPECT_EQ(indicator.step(), -1);

    FakeSurface second(60, 10, 10);
    EXPECT_EQ(ticks(indicator, second, 3), (std::vector<int>{2, 1, 0}));
}

} // namespace
