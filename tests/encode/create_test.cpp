// `zrn create` as a user runs it: its exit status and error line for wrong
// command lines and broken input, and a movie made from Y4M and WAV files
// whose pictures, tracks and channel order come out as given.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/zarn_crypt.h"
#include "common/zarn_format.h"
#include "formats/wav.h"
#include "formats/y4m.h"
#include "tone_analysis.h"
#include "zarn_encode.h"
#include "zarn_test_pattern.h"

namespace {

std::string read_all(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& file)
{
    struct stat info;
    return stat(file.c_str(), &info) == 0;
}

class CreateTest : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zarn-create-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs zrn create with `args`; keeps standard output and error.
    int run(const std::vector<std::string>& args)
    {
        std::string command = std::string("'") + ZRN_PATH + "' create";
        for (const std::string& arg : args) {
            command += " '" + arg + "'";
        }
        command += " >'" + path("stdout") + "' 2>'" + path("stderr") + "'";
        const int status = system(command.c_str());
        out_ = read_all(path("stdout"));
        err_ = read_all(path("stderr"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string write_y4m(const std::string& name, int32_t width, int32_t height, int frames, int32_t num = 25,
                          int32_t den = 1)
    {
        const std::string file = path(name);
        y4m_writer writer;
        EXPECT_TRUE(y4m_writer_open(&writer, file.c_str(), width, height, num, den, nullptr));
        zarn_test_picture picture;
        for (int i = 0; i < frames; ++i) {
            zarn_test_card(&picture, width, height, i);
            EXPECT_TRUE(y4m_writer_write_frame(&writer, picture.y(), width, picture.u(), picture.chroma_width(),
                                               picture.v(), picture.chroma_width(), nullptr));
        }
        EXPECT_TRUE(y4m_writer_close(&writer, nullptr));
        return file;
    }

    // Interleaved in WAV order, channel c carrying tones[c].
    std::string write_wav(const std::string& name, const std::vector<double>& tones, int32_t rate, int64_t frames)
    {
        const std::string file = path(name);
        const std::vector<int16_t> samples = zarn_test_tones(tones, rate, frames, 0.5);
        wav_writer writer;
        const auto channels = static_cast<int32_t>(tones.size());
        EXPECT_TRUE(wav_writer_open(&writer, file.c_str(), channels, rate, frames, nullptr));
        EXPECT_TRUE(wav_writer_write(&writer, samples.data(), frames, nullptr));
        EXPECT_TRUE(wav_writer_close(&writer, nullptr));
        return file;
    }

    std::string dir_;
    std::string out_;
    std::string err_;
};

TEST_F(CreateTest, WrongCommandLinesExitWithUsageStatus)
{
    const std::string y4m = write_y4m("in.y4m", 16, 16, 2);
    const std::string out = path("out.zrn");
    const struct {
        const char* name;
        std::vector<std::string> args;
    } cases[] = {
        {"nothing", {}},
        {"no pictures", {"-o", out}},
        {"no output", {"--video", y4m}},
        {"key frame interval 0", {"-o", out, "--video", y4m, "--keyint", "0"}},
        {"bit rate not a number", {"-o", out, "--video", y4m, "--video-kbps", "fast"}},
        {"quality above 1", {"-o", out, "--video", y4m, "--audio-quality", "1.5"}},
        {"unknown option", {"-o", out, "--video", y4m, "--subtitles", "x.srt"}},
        {"stray argument", {"-o", out, "--video", y4m, "extra"}},
        {"two standard inputs", {"-o", out, "--video", "-", "--audio", "-"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 2) << c.name << ": " << err_;
        EXPECT_FALSE(err_.empty()) << c.name;
        EXPECT_FALSE(exists(out)) << c.name;
    }
}

TEST_F(CreateTest, HelpDescribesEveryOption)
{
    ASSERT_EQ(run({"--help"}), 0);
    for (const char* option : {"-o", "--output", "--video", "--audio", "--keyint", "--video-kbps", "--audio-quality",
                               "--help"}) {
        EXPECT_NE(out_.find(option), std::string::npos) << option;
    }
}

TEST_F(CreateTest, BrokenInputFailsWithOneLineAndLeavesNoMovie)
{
    const std::string good_y4m = write_y4m("good.y4m", 16, 16, 2);
    const std::string good_wav = write_wav("good.wav", {440.0}, 8000, 800);
    const std::string out = path("out.zrn");

    const std::string c444 = path("c444.y4m");
    std::ofstream(c444) << "YUV4MPEG2 W16 H16 F25:1 C444\nFRAME\n" << std::string(768, 'x');
    const std::string cut = path("cut.y4m");
    const std::string whole = read_all(good_y4m);
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() - 10);
    const std::string empty_stream = path("empty.y4m");
    std::ofstream(empty_stream) << "YUV4MPEG2 W16 H16 F25:1\n";
    const std::string eight_bit = path("8bit.wav");
    {
        std::string bytes = read_all(good_wav);
        bytes[34] = 8;  // bits per sample
        std::ofstream(eight_bit, std::ios::binary) << bytes;
    }
    const std::string missing = path("missing.y4m");

    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string blamed;
    } cases[] = {
        {"missing pictures", {"-o", out, "--video", missing}, missing},
        {"4:4:4 pictures", {"-o", out, "--video", c444}, c444},
        {"cut frame", {"-o", out, "--video", cut}, cut},
        {"no frames", {"-o", out, "--video", empty_stream}, empty_stream},
        {"8-bit sound", {"-o", out, "--video", good_y4m, "--audio", good_wav, "--audio", eight_bit}, eight_bit},
        {"missing sound", {"-o", out, "--video", good_y4m, "--audio", missing}, missing},
        {"unwritable movie", {"-o", path("no/such/dir.zrn"), "--video", good_y4m}, path("no/such/dir.zrn")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 1) << c.name << ": " << err_;
        EXPECT_EQ(err_.rfind("zrn: " + c.blamed + ": ", 0), 0u) << c.name << ": " << err_;
        EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << c.name << ": " << err_;
        EXPECT_FALSE(exists(out)) << c.name;
    }
}

TEST_F(CreateTest, MovieCarriesThePicturesAndEachTrackInVorbisOrder)
{
    const std::string y4m = write_y4m("in.y4m", 33, 17, 9, 30000, 1001);
    // Six WAV channels FL FR C LFE BL BR with a tone each, and a mono track.
    const std::vector<double> tones = {400, 600, 800, 80, 1200, 1400};
    const std::string surround = write_wav("surround.wav", tones, 48000, 24000);
    const std::string mono = write_wav("mono.wav", {500}, 22050, 11025);
    const std::string out = path("out.zrn");
    ASSERT_EQ(run({"-o", out, "--video", y4m, "--audio", surround, "--audio", mono, "--keyint", "4"}), 0) << err_;
    EXPECT_TRUE(err_.empty()) << err_;

    const std::string bytes = read_all(out);
    ASSERT_GE(bytes.size(), sizeof(zarn_header));
    zarn_header header;
    memcpy(&header, bytes.data(), sizeof(header));
    EXPECT_EQ(header.magic[0], ZARN_MAGIC_KTW);
    EXPECT_EQ(header.magic[1], ZARN_MAGIC_ZARN);
    EXPECT_EQ(header.width, 33);
    EXPECT_EQ(header.height, 17);
    EXPECT_EQ(header.frame_rate_numerator, 30000);
    EXPECT_EQ(header.frame_rate_denominator, 1001);
    EXPECT_EQ(header.duration, 9 * ZARN_TIME_UNITS_PER_SECOND * 1001 / 30000);
    EXPECT_EQ(header.video_track_count, 1);
    ASSERT_EQ(header.audio_track_count, 2);

    // Vorbis order of the six channels: FL C FR BL BR LFE.
    const std::vector<std::vector<double>> expected_tones = {{400, 800, 600, 1200, 1400, 80}, {500}};
    const int32_t rates[] = {48000, 22050};
    const char* names[] = {"Audio 1", "Audio 2"};
    size_t at = sizeof(zarn_header);
    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE(names[n]);
        zarn_track_header track;
        ASSERT_LE(at + sizeof(track), bytes.size());
        memcpy(&track, bytes.data() + at, sizeof(track));
        at += sizeof(track);
        EXPECT_STREQ(track.name, names[n]);
        const auto channels = static_cast<int32_t>(expected_tones[static_cast<size_t>(n)].size());
        EXPECT_EQ(track.audio.channels, channels);
        EXPECT_EQ(track.audio.sample_rate, rates[n]);
        ASSERT_LE(at + track.audio.data_size, bytes.size());
        std::vector<uint8_t> ogg(bytes.begin() + static_cast<ptrdiff_t>(at),
                                 bytes.begin() + static_cast<ptrdiff_t>(at + track.audio.data_size));
        at += track.audio.data_size;
        zarn_crypt_decrypt(ogg.data(), static_cast<int64_t>(ogg.size()));
        const decoded_audio decoded = decode_with_tremor(ogg);
        ASSERT_TRUE(decoded.ok);
        ASSERT_EQ(decoded.channels, channels);
        EXPECT_EQ(decoded.frames(), rates[n] / 2);
        for (int32_t c = 0; c < channels; ++c) {
            const double tone = expected_tones[static_cast<size_t>(n)][static_cast<size_t>(c)];
            // The low-frequency channel (the last of six) is coded coarsely.
            const double tolerance = channels == 6 && c == 5 ? 0.2 : 0.05;
            EXPECT_NEAR(tone_amplitude(decoded.samples, channels, c, rates[n], tone), 0.5, tolerance)
                << "Vorbis channel " << c << " should carry " << tone << " Hz";
        }
    }

    zarn_track_header video;
    ASSERT_LE(at + sizeof(video), bytes.size());
    memcpy(&video, bytes.data() + at, sizeof(video));
    at += sizeof(video);
    EXPECT_STREQ(video.name, "Video");
    EXPECT_EQ(video.video.width, 33);
    EXPECT_EQ(video.video.height, 17);
    uint32_t largest = 0;
    for (int64_t i = 0;; ++i) {
        zarn_packet_header packet;
        ASSERT_LE(at + sizeof(packet), bytes.size());
        memcpy(&packet, bytes.data() + at, sizeof(packet));
        at += sizeof(packet);
        if (packet.flags & PACKET_FLAG_END_OF_STREAM) {
            EXPECT_EQ(i, 9);
            break;
        }
        ASSERT_LT(i, 9);
        EXPECT_EQ(packet.timestamp, i * ZARN_TIME_UNITS_PER_SECOND * 1001 / 30000);
        EXPECT_EQ((packet.flags & PACKET_FLAG_KEY_FRAME) != 0, i % 4 == 0) << "packet " << i;
        largest = std::max(largest, packet.size);
        at += packet.size;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(header.frame_blob_size, largest);

    // The same input makes the same movie.
    const std::string again = path("again.zrn");
    ASSERT_EQ(run({"-o", again, "--video", y4m, "--audio", surround, "--audio", mono, "--keyint", "4"}), 0) << err_;
    EXPECT_EQ(read_all(again), bytes);
}

}  // namespace
