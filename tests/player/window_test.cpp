// The real program in a real window: one application started once on an
// Xvfb display of the test's own, then a sequence of checks in order.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <wx/app.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/hyperlink.h>
#include <wx/init.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/slider.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <vpx/vpx_codec.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "AboutDlg.h"
#include "Controller.h"
#include "ControlsPanel.h"
#include "MainView.h"
#include "VideoView.h"
#include "frame.h"
#include "xvfb_display.h"

namespace {

// The movie the window is tested with, and what it must show.
const char* const movieFile = ZARN_PLAYER_TEST_MOVIE;
const int movieWidth = ZARN_PLAYER_TEST_MOVIE_WIDTH;
const int movieHeight = ZARN_PLAYER_TEST_MOVIE_HEIGHT;
const char* const movieDurationText = ZARN_PLAYER_TEST_MOVIE_DURATION;

std::string scratchDir;
std::string startupOutput;
bool appStarted = false;
bool initSucceeded = false;

class PlayerEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/zarn-player-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratchDir = pattern;
        ASSERT_TRUE(xvfb.start()) << "Xvfb did not start";
        usePlayerTestEnvironment(xvfb, scratchDir);

        // The application prints its OpenGL lines on standard output.
        const std::string outputFile = scratchDir + "/stdout.txt";
        std::fflush(stdout);
        const int saved = dup(1);
        const int captured = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(captured, 1);
        close(captured);
        static char name[] = "player_window_tests";
        static char* argv[] = {name, nullptr};
        int argc = 1;
        appStarted = wxEntryStart(argc, argv);
        if (appStarted) {
            initSucceeded = wxTheApp->CallOnInit();
        }
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
        std::ifstream in(outputFile);
        std::stringstream text;
        text << in.rdbuf();
        startupOutput = text.str();
    }

    void TearDown() override
    {
        if (appStarted) {
            wxEntryCleanup();
        }
        xvfb.stop();
        if (!scratchDir.empty()) {
            std::system(("rm -rf '" + scratchDir + "'").c_str());
        }
    }

private:
    XvfbDisplay xvfb;
};

// Runs the toolkit's event processing (native events, pending events, idle
// handlers) until `done` holds or the time is up.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        wxTheApp->Yield(true);
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        usleep(2000);
    }
}

void pump(int ms)
{
    pumpUntil([] { return false; }, ms);
}

frame* mainFrame()
{
    return dynamic_cast<frame*>(wxTheApp->GetTopWindow());
}

ControlsPanel* panel()
{
    return Controller::get().mainView->controlsPanel;
}

VideoView* videoView()
{
    return Controller::get().mainView->videoView;
}

wxSize clientSize()
{
    return mainFrame()->GetClientSize();
}

wxString label(int id)
{
    return dynamic_cast<wxStaticText*>(panel()->FindWindow(id))->GetLabel();
}

wxSlider* slider()
{
    return dynamic_cast<wxSlider*>(panel()->FindWindow(ControlsPanel::ID_SLIDER));
}

void sendMenu(int id)
{
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(mainFrame());
    mainFrame()->GetEventHandler()->ProcessEvent(event);
}

void clickButton(int id)
{
    wxWindow* button = panel()->FindWindow(id);
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
}

// The enabled state of the transport, menus and buttons together, after the
// toolkit's update-UI pass: "play pause stop close slider".
struct Enabled {
    bool play, pause, stop, close, slider;
};

Enabled menuState()
{
    mainFrame()->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    wxMenuBar* bar = mainFrame()->GetMenuBar();
    return {bar->IsEnabled(frame::ID_PLAY), bar->IsEnabled(frame::ID_PAUSE), bar->IsEnabled(frame::ID_STOP),
            bar->IsEnabled(frame::ID_CLOSE_VIDEO), false};
}

Enabled controlState()
{
    mainFrame()->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    return {panel()->FindWindow(ControlsPanel::ID_PLAY_BUTTON)->IsEnabled(),
            panel()->FindWindow(ControlsPanel::ID_PAUSE_BUTTON)->IsEnabled(),
            panel()->FindWindow(ControlsPanel::ID_STOP_BUTTON)->IsEnabled(), false, slider()->IsEnabled()};
}

void expectTransport(bool play, bool pause, bool stop, bool hasVideo)
{
    const Enabled menu = menuState();
    EXPECT_EQ(menu.play, play) << "Playback > Play";
    EXPECT_EQ(menu.pause, pause) << "Playback > Pause";
    EXPECT_EQ(menu.stop, stop) << "Playback > Stop";
    EXPECT_EQ(menu.close, hasVideo) << "File > Close Video";
    const Enabled controls = controlState();
    EXPECT_EQ(controls.play, play) << "Play button";
    EXPECT_EQ(controls.pause, pause) << "Pause button";
    EXPECT_EQ(controls.stop, stop) << "Stop button";
    EXPECT_EQ(controls.slider, hasVideo) << "slider";
    wxMenuBar* bar = mainFrame()->GetMenuBar();
    EXPECT_TRUE(bar->IsEnabled(frame::ID_OPEN_VIDEO));
    EXPECT_TRUE(bar->IsEnabled(frame::ID_EXIT));
    EXPECT_TRUE(bar->IsEnabled(frame::ID_ABOUT));
}

// Answers every modal dialog without showing it.
class DialogAnswers : public wxModalDialogHook {
public:
    DialogAnswers() { Register(); }
    ~DialogAnswers() override { Unregister(); }

    int Enter(wxDialog* dialog) override
    {
        ++shown;
        if (wxMessageDialog* box = dynamic_cast<wxMessageDialog*>(dialog)) {
            messages.push_back(box->GetMessage());
            captions.push_back(box->GetTitle());
        }
        if (inspect) {
            inspect(dialog);
        }
        return wxID_OK;
    }
    void Exit(wxDialog*) override {}

    int shown = 0;
    std::vector<wxString> messages;
    std::vector<wxString> captions;
    std::function<void(wxDialog*)> inspect;
};

void openTestMovie()
{
    DialogAnswers answers;
    Controller::get().openVideo(movieFile);
    ASSERT_EQ(answers.shown, 0) << "the test movie was refused";
    ASSERT_TRUE(Controller::get().hasVideo());
}

class PlayerWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(appStarted && initSucceeded) << "the application did not start:\n" << startupOutput;
        ASSERT_NE(mainFrame(), nullptr);
    }
};

TEST(PlayerBinary, DisplayWithoutOpenGl21EndsWithStatus255AndNoDialog)
{
    ASSERT_FALSE(scratchDir.empty());
    const std::string output = scratchDir + "/gl20.txt";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        setenv("MESA_GL_VERSION_OVERRIDE", "2.0", 1);
        // In sanitizer builds, GTK's font libraries keep memory to the end
        // of the process; a leak report there would replace the exit status.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(ZARN_PLAYER_BINARY, ZARN_PLAYER_BINARY, "ignored-argument.zrn", static_cast<char*>(nullptr));
        _exit(127);
    }
    // A message box would wait for an answer for ever.
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 600 && done == 0; ++i) {
        done = waitpid(child, &status, WNOHANG);
        usleep(50000);
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "zarn-player did not end: it waits for something";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\nversion: 2.0"), std::string::npos) << text.str();
}

TEST_F(PlayerWindow, StartsTitledWith512x384ClientAndPrintsTheOpenGlLines)
{
    EXPECT_EQ(mainFrame()->GetTitle(), "Zarn Player");
    EXPECT_TRUE(pumpUntil([] { return clientSize() == wxSize(512, 384); }, 3000))
        << clientSize().x << "x" << clientSize().y;
    const char* const lines[] = {"vendor: ", "renderer: ", "version: ", "shadingLanguageVersion: "};
    size_t at = 0;
    for (const char* line : lines) {
        const size_t found = startupOutput.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " missing in:\n" << startupOutput;
        EXPECT_TRUE(found == 0 || startupOutput[found - 1] == '\n');
        at = found + 1;
    }
    EXPECT_TRUE(Controller::get().player->isInitialised());
}

TEST_F(PlayerWindow, WithoutVideoOnlyOpenExitAndAboutAreEnabled)
{
    expectTransport(false, false, false, false);
    EXPECT_EQ(label(ControlsPanel::ID_CURRENT_TIME), "--:--:--");
    EXPECT_EQ(label(ControlsPanel::ID_DURATION), "--:--:--");
    EXPECT_EQ(slider()->GetValue(), 0);
    EXPECT_EQ(slider()->GetMax(), 100);
}

TEST_F(PlayerWindow, OpeningAVideoSizesTheWindowToItAndShowsItsTimes)
{
    openTestMovie();
    const int panelHeight = panel()->GetSize().GetHeight();
    EXPECT_GT(panelHeight, 0);
    EXPECT_TRUE(pumpUntil([&] { return clientSize() == wxSize(movieWidth, movieHeight + panelHeight); }, 3000))
        << clientSize().x << "x" << clientSize().y;
    EXPECT_EQ(label(ControlsPanel::ID_CURRENT_TIME), "00:00:00");
    EXPECT_EQ(label(ControlsPanel::ID_DURATION), movieDurationText);
    expectTransport(true, false, false, true);
}

TEST_F(PlayerWindow, NextPaintShowsTheFirstPictureLetterboxedOnBlack)
{
    ASSERT_TRUE(Controller::get().hasVideo());
    // Widen the view so that black bars appear left and right.
    const int panelHeight = panel()->GetSize().GetHeight();
    const wxSize view(movieWidth + 200, movieHeight);
    mainFrame()->SetClientSize(view.x, view.y + panelHeight);
    ASSERT_TRUE(pumpUntil([&] { return videoView()->GetClientSize() == view; }, 3000))
        << videoView()->GetClientSize().x << "x" << videoView()->GetClientSize().y;
    videoView()->Refresh();
    videoView()->Update();
    pump(300);

    // The codec's own conversion of the first picture, from a second opening.
    zarn_decoder* movie = nullptr;
    ASSERT_EQ(zarn_open(movieFile, &movie, nullptr, nullptr), ZARN_OK);
    std::vector<uint8_t> expected(static_cast<size_t>(movieWidth) * movieHeight * 4);
    ASSERT_EQ(zarn_blit_current_frame_rgba(movie, expected.data(), movieWidth * 4), ZARN_OK);
    zarn_close(movie);

    // What the paint drew, drawn again the same way into the back buffer
    // (the front buffer of a software context cannot be read back): no new
    // frame is waiting, so this shows the texture the paint uploaded.
    ASSERT_FALSE(Controller::get().player->isFrameReady());
    videoView()->SetCurrent(Controller::get().player->getContext());
    glClear(GL_COLOR_BUFFER_BIT);
    Controller::get().player->render(view.x, view.y);
    glFinish();
    std::vector<uint8_t> pixels(static_cast<size_t>(view.x) * view.y * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, view.x, view.y, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const LetterboxRect rect = Player::fitToView(movieWidth, movieHeight, view.x, view.y);
    ASSERT_EQ(rect.w, movieWidth);  // shown at its own size: texels map to pixels
    int black = 0;
    int outside = 0;
    long mismatches = 0;
    int worst = 0;
    for (int y = 0; y < view.y; ++y) {
        for (int x = 0; x < view.x; ++x) {
            const uint8_t* got = &pixels[(static_cast<size_t>(y) * view.x + x) * 4];
            if (x < rect.x || x >= rect.x + rect.w || y < rect.y || y >= rect.y + rect.h) {
                ++outside;
                black += got[0] == 0 && got[1] == 0 && got[2] == 0;
                continue;
            }
            // GL rows count from the bottom; the picture's first row is on top.
            const int row = rect.y + rect.h - 1 - y;
            const int col = x - rect.x;
            const uint8_t* want = &expected[(static_cast<size_t>(row) * movieWidth + col) * 4];
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(int(got[c]) - int(want[c]));
                worst = std::max(worst, diff);
                mismatches += diff > 2;
            }
        }
    }
    EXPECT_GT(outside, 0);
    EXPECT_EQ(black, outside) << "the bars around the picture are not black";
    EXPECT_EQ(mismatches, 0) << "worst channel difference " << worst;

    // Back to the video's own size for the next checks.
    mainFrame()->SetClientSize(movieWidth, movieHeight + panelHeight);
    pump(100);
}

TEST_F(PlayerWindow, YuvModeFollowsEachPlanesStrideAndTakesEachFrameOnce)
{
    // 65 pixels wide: the chroma planes' stride (34) is not their width (32)
    // padded to 4, so rows read at the width would drift across the picture.
    const std::string path = std::string(ZARN_TEST_MOVIE_DIR) + "/video_65x49.zrn";
    const int width = 65;
    const int height = 49;
    zarn_decoder* movie = nullptr;
    ASSERT_EQ(zarn_open(path.c_str(), &movie, nullptr, nullptr), ZARN_OK);
    std::vector<uint8_t> expected(static_cast<size_t>(width) * height * 4);
    ASSERT_EQ(zarn_blit_current_frame_rgba(movie, expected.data(), width * 4), ZARN_OK);
    zarn_close(movie);

    Player yuv(videoView(), nullptr);
    videoView()->SetCurrent(yuv.getContext());
    ASSERT_EQ(yuv.initGL(false), 0);
    ASSERT_EQ(yuv.open(path), 0);
    ASSERT_TRUE(yuv.isFrameReady());

    const wxSize view = videoView()->GetClientSize();
    glClear(GL_COLOR_BUFFER_BIT);
    yuv.render(view.x, view.y);
    // A second paint before the next poll must not ask the codec for the
    // frame again (it has none waiting: that request would stop the program).
    yuv.render(view.x, view.y);
    glFinish();

    std::vector<uint8_t> pixels(static_cast<size_t>(view.x) * view.y * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, view.x, view.y, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());

    // Compare at the centre of each picture pixel; the shader's conversion
    // and filtering differ from the codec's a little, a skew a lot.
    const LetterboxRect rect = Player::fitToView(width, height, view.x, view.y);
    double total = 0;
    long count = 0;
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const int x = rect.x + static_cast<int>((col + 0.5) * rect.w / width);
            const int y = rect.y + rect.h - 1 - static_cast<int>((row + 0.5) * rect.h / height);
            const uint8_t* got = &pixels[(static_cast<size_t>(y) * view.x + x) * 4];
            const uint8_t* want = &expected[(static_cast<size_t>(row) * width + col) * 4];
            for (int c = 0; c < 3; ++c) {
                total += std::abs(int(got[c]) - int(want[c]));
                ++count;
            }
        }
    }
    // Measured: about 7 when each plane is read at its stride, about 80 when
    // chroma rows are read at their padded width.
    EXPECT_LT(total / count, 20.0) << "mean channel difference";

    yuv.release();
    videoView()->SetCurrent(Controller::get().player->getContext());
}

TEST_F(PlayerWindow, TransportChangesTheEnableStatesAndTheTimeAdvancesWhilePlaying)
{
    ASSERT_TRUE(Controller::get().hasVideo());
    sendMenu(frame::ID_PLAY);
    EXPECT_EQ(Controller::get().player->getState(), ZARN_STATE_PLAYING);
    expectTransport(false, true, true, true);

    EXPECT_TRUE(pumpUntil([] { return label(ControlsPanel::ID_CURRENT_TIME) == "00:00:01"; }, 5000))
        << label(ControlsPanel::ID_CURRENT_TIME);
    EXPECT_GE(slider()->GetValue(), 1000000);

    clickButton(ControlsPanel::ID_PAUSE_BUTTON);
    EXPECT_EQ(Controller::get().player->getState(), ZARN_STATE_PAUSED);
    expectTransport(true, false, false, true);
    const wxString pausedAt = label(ControlsPanel::ID_CURRENT_TIME);
    pump(1200);
    EXPECT_EQ(label(ControlsPanel::ID_CURRENT_TIME), pausedAt) << "time moved while paused";

    clickButton(ControlsPanel::ID_PLAY_BUTTON);
    expectTransport(false, true, true, true);
    sendMenu(frame::ID_STOP);
    EXPECT_EQ(Controller::get().player->getState(), ZARN_STATE_STOPPED);
    expectTransport(true, false, false, true);
}

TEST_F(PlayerWindow, DraggingTheSliderThumbSeeks)
{
    ASSERT_TRUE(Controller::get().hasVideo());
    const double target = Controller::get().player->getDuration() / 2;
    wxScrollEvent drag(wxEVT_SCROLL_THUMBTRACK, ControlsPanel::ID_SLIDER,
                       ControlsPanel::toSliderUnits(target, ControlsPanel::SLIDER_UNITS_PER_SECOND));
    drag.SetEventObject(slider());
    slider()->GetEventHandler()->ProcessEvent(drag);
    EXPECT_NEAR(Controller::get().player->getTime(), target, 0.05);
    const wxString shown = ControlsPanel::timeText(Controller::get().player->getTime());
    EXPECT_TRUE(pumpUntil([&] { return label(ControlsPanel::ID_CURRENT_TIME) == shown; }, 3000))
        << label(ControlsPanel::ID_CURRENT_TIME) << " instead of " << shown;
}

TEST_F(PlayerWindow, RefusedFileShowsTheMessageBoxAndLeavesNoVideoOpen)
{
    ASSERT_TRUE(Controller::get().hasVideo());
    const std::string bad = scratchDir + "/not-a-movie.zrn";
    {
        std::ofstream out(bad, std::ios::binary);
        for (int i = 0; i < 4096; ++i) {
            out.put(static_cast<char>((i * 37) & 0xFF));
        }
    }
    DialogAnswers answers;
    Controller::get().openVideo(bad);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0], "Couldn't open Zarn video");
    EXPECT_EQ(answers.captions[0], "Zarn Player");
    EXPECT_FALSE(Controller::get().hasVideo());
    expectTransport(false, false, false, false);
}

TEST_F(PlayerWindow, ClosingTheVideoReturnsTo512x384AndEmptyTimes)
{
    openTestMovie();
    pump(200);
    sendMenu(frame::ID_CLOSE_VIDEO);
    EXPECT_FALSE(Controller::get().hasVideo());
    EXPECT_TRUE(pumpUntil([] { return clientSize() == wxSize(512, 384); }, 3000))
        << clientSize().x << "x" << clientSize().y;
    EXPECT_EQ(label(ControlsPanel::ID_CURRENT_TIME), "--:--:--");
    EXPECT_EQ(label(ControlsPanel::ID_DURATION), "--:--:--");
    EXPECT_EQ(slider()->GetValue(), 0);
    expectTransport(false, false, false, false);
}

TEST_F(PlayerWindow, AboutBoxNamesTheLibrariesAsLinked)
{
    DialogAnswers answers;
    wxString product;
    wxString credits;
    wxSize picture;
    bool okIsDefault = false;
    wxString url;
    answers.inspect = [&](wxDialog* dialog) {
        AboutDlg* about = dynamic_cast<AboutDlg*>(dialog);
        ASSERT_NE(about, nullptr);
        product = dynamic_cast<wxStaticText*>(about->FindWindow(AboutDlg::ID_PRODUCT_TEXT))->GetLabel();
        for (wxWindow* child : about->GetChildren()) {
            if (wxStaticText* text = dynamic_cast<wxStaticText*>(child)) {
                if (child->GetId() == wxID_STATIC) {
                    credits << text->GetLabel() << "\n";
                }
            } else if (wxStaticBitmap* bitmap = dynamic_cast<wxStaticBitmap*>(child)) {
                if (bitmap->GetBitmap().IsOk()) {
                    picture = bitmap->GetBitmap().GetSize();
                }
            }
        }
        wxButton* ok = dynamic_cast<wxButton*>(about->FindWindow(AboutDlg::ID_OK_BUTTON));
        okIsDefault = ok != nullptr && about->GetDefaultItem() == ok;
        wxHyperlinkCtrl* link = dynamic_cast<wxHyperlinkCtrl*>(about->FindWindow(AboutDlg::ID_HYPERLINK));
        ASSERT_NE(link, nullptr);
        url = link->GetURL();
    };
    sendMenu(frame::ID_ABOUT);
    ASSERT_EQ(answers.shown, 1);
    EXPECT_TRUE(product.StartsWith("Zarn Player 1.0.4\n")) << product;
    const wxVersionInfo wx = wxGetLibraryVersionInfo();
    EXPECT_NE(credits.Find(wxString::Format("wxWidgets %d.%d.%d", wx.GetMajor(), wx.GetMinor(), wx.GetMicro())),
              wxNOT_FOUND)
        << credits;
    EXPECT_NE(credits.Find(wxString("GLEW ") + reinterpret_cast<const char*>(glewGetString(GLEW_VERSION))),
              wxNOT_FOUND)
        << credits;
    EXPECT_NE(credits.Find(wxString("libvpx ") + vpx_codec_version_str()), wxNOT_FOUND) << credits;
    EXPECT_EQ(picture, wxSize(164, 314));
    EXPECT_TRUE(okIsDefault);
    // No invented web site: the link opens the project's README file.
    EXPECT_TRUE(url.StartsWith("file://") && url.EndsWith("/README.md")) << url;
}

TEST_F(PlayerWindow, ExitEndsTheEventLoopWithOneShutdown)
{
    openTestMovie();
    EXPECT_EQ(Controller::get().getShutdownCount(), 0);
    wxTheApp->CallAfter([] { sendMenu(frame::ID_EXIT); });
    // Guard: a loop that does not end on its own is a failure, not a hang.
    bool timedOut = false;
    wxTimer guard;
    guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        timedOut = true;
        wxTheApp->ExitMainLoop();
    });
    guard.StartOnce(15000);
    wxTheApp->OnRun();
    guard.Stop();
    ASSERT_FALSE(timedOut) << "the event loop did not end after Exit";
    EXPECT_EQ(wxTopLevelWindows.GetCount(), 0u);
    EXPECT_EQ(Controller::get().mainView, nullptr);
    // The toolkit's own exit path, as wxEntry takes it after the loop.
    wxTheApp->OnExit();
    EXPECT_EQ(Controller::get().getShutdownCount(), 1);
    EXPECT_FALSE(Controller::get().hasVideo());
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new PlayerEnvironment);
    return RUN_ALL_TESTS();
}
