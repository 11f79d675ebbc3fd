// The player's pure logic: letterboxing, time texts, slider units, the drop
// target's name rules and the time event's text round trip.
#include <gtest/gtest.h>

#include <wx/arrstr.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "Controller.h"
#include "ControlsPanel.h"
#include "Player.h"
#include "VideoView.h"

namespace {

struct FitCase {
    const char* name;
    int32_t imageWidth, imageHeight, viewWidth, viewHeight;
    int32_t x, y, w, h;
};

TEST(PlayerFitToView, LetterboxesKeepingTheAspect)
{
    const FitCase cases[] = {
        {"same aspect fills the view", 640, 480, 800, 600, 0, 0, 800, 600},
        {"wider view: bars left and right", 640, 480, 1000, 600, 100, 0, 800, 600},
        {"wider image: bars top and bottom", 1280, 720, 800, 600, 0, 75, 800, 450},
        {"too tall at full width: truncated width, halves taken apart", 1920, 1080, 1000, 500, 56, 0, 888, 500},
        {"odd view: truncated height, halves taken apart", 640, 360, 401, 301, 0, 38, 401, 225},
        {"no image: nothing to draw", 0, 0, 800, 600, 0, 0, 0, 0},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const LetterboxRect r = Player::fitToView(c.imageWidth, c.imageHeight, c.viewWidth, c.viewHeight);
        EXPECT_EQ(r.x, c.x);
        EXPECT_EQ(r.y, c.y);
        EXPECT_EQ(r.w, c.w);
        EXPECT_EQ(r.h, c.h);
    }
}

TEST(ControlsPanelTimeText, TruncatesTowardZero)
{
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0.0, "00:00:00"},
        {59.999, "00:00:59"},
        {3725.5, "01:02:05"},
        {360000.0, "100:00:00"},
        {90.25, "00:01:30"},
        // Negative times keep the sign in every field, as truncating division
        // and its remainder give them.
        {-0.5, "00:00:00"},
        {-59.0, "00:00:-59"},
        {-3725.5, "-01:-02:-05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(ControlsPanel::timeText(c.seconds), c.text);
    }
}

TEST(ControlsPanelSliderUnits, MicrosecondsWhileTheDurationFits)
{
    const double micro = ControlsPanel::SLIDER_UNITS_PER_SECOND;
    EXPECT_EQ(ControlsPanel::sliderUnitsPerSecond(90.25), micro);
    EXPECT_EQ(ControlsPanel::sliderUnitsPerSecond(2147.483647), micro);
    const struct {
        double seconds;
        int32_t units;
    } cases[] = {
        {0.0, 0},
        {90.25, 90250000},
        {1.0000009, 1000000},
        {-1.5, -1500000},
        {2147.483647, std::numeric_limits<int32_t>::max()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(ControlsPanel::toSliderUnits(c.seconds, micro), c.units);
    }
    EXPECT_DOUBLE_EQ(ControlsPanel::fromSliderUnits(50000000, micro), 50.0);
}

TEST(ControlsPanelSliderUnits, LongVideosAreScaledIntoTheSlider)
{
    // Two hours in microseconds would leave the 32-bit slider range.
    const double duration = 7200.0;
    const double scale = ControlsPanel::sliderUnitsPerSecond(duration);
    EXPECT_LT(scale, ControlsPanel::SLIDER_UNITS_PER_SECOND);
    const int32_t end = ControlsPanel::toSliderUnits(duration, scale);
    EXPECT_GT(end, std::numeric_limits<int32_t>::max() - 2);
    const int32_t middle = ControlsPanel::toSliderUnits(3600.0, scale);
    EXPECT_GT(middle, 0);
    EXPECT_NEAR(ControlsPanel::fromSliderUnits(middle, scale), 3600.0, 0.01);
    EXPECT_NEAR(ControlsPanel::fromSliderUnits(end, scale), duration, 0.01);
    // Out-of-range values are held at the ends, never wrapped.
    EXPECT_EQ(ControlsPanel::toSliderUnits(1e12, ControlsPanel::SLIDER_UNITS_PER_SECOND),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ControlsPanel::toSliderUnits(-1e12, ControlsPanel::SLIDER_UNITS_PER_SECOND),
              std::numeric_limits<int32_t>::min());
}

TEST(MovieDropTarget, OpensOneZrnFileOnly)
{
    const struct {
        const char* name;
        std::vector<const char*> files;
        const char* opened;  // empty: refused
    } cases[] = {
        {"one .zrn", {"/videos/movie.zrn"}, "/videos/movie.zrn"},
        {"capital extension", {"/videos/MOVIE.ZRN"}, "/videos/MOVIE.ZRN"},
        {"two .zrn files", {"/videos/a.zrn", "/videos/b.zrn"}, ""},
        {"backup of a movie", {"/videos/movie.zrn.bak"}, ""},
        {"another format", {"/videos/movie.avi"}, ""},
        {"bare name zrn", {"/videos/zrn"}, ""},
        {"nothing", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wxArrayString files;
        for (const char* file : c.files) {
            files.Add(file);
        }
        EXPECT_EQ(MovieDropTarget::moviePath(files), c.opened);
    }
}

TEST(ControllerTimeEvent, CarriesSixSignificantDigits)
{
    const struct {
        double time;
        const char* text;
        double received;
    } cases[] = {
        {0.5, "0.5", 0.5},
        {1234567.0, "1.23457e+06", 1234570.0},
        {3723.4567, "3723.46", 3723.46},
        {0.0, "0", 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const wxString text = Controller::timeToEventText(c.time);
        EXPECT_EQ(text, c.text);
        EXPECT_DOUBLE_EQ(Controller::eventTextToTime(text), c.received);
    }
}

}  // namespace
