// The Y4M and WAV modules of zrn: round trips through writer and reader,
// the inputs the readers refuse, and the channel reordering between Vorbis
// and WAV order.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "formats/wav.h"
#include "formats/y4m.h"

namespace {

class TempDir : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zarn-formats-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override
    {
        for (const std::string& file : files_) {
            remove(file.c_str());
        }
        rmdir(dir_.c_str());
    }
    std::string path(const std::string& name)
    {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }
    static std::string read_all(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void write_all(const std::string& file, const std::string& bytes)
    {
        std::ofstream(file, std::ios::binary) << bytes;
    }

    std::string dir_;
    std::vector<std::string> files_;
};

// ---- Y4M ----

using Y4m = TempDir;

TEST_F(Y4m, WrittenFramesReadBackExactly)
{
    const struct {
        const char* name;
        int32_t width;
        int32_t height;
        int32_t num;
        int32_t den;
        const char* header;
    } cases[] = {
        {"one pixel", 1, 1, 25, 1, "YUV4MPEG2 W1 H1 F25:1 Ip A1:1 C420jpeg\n"},
        {"even", 64, 48, 30000, 1001, "YUV4MPEG2 W64 H48 F30000:1001 Ip A1:1 C420jpeg\n"},
        {"odd", 65, 49, 1, 1, "YUV4MPEG2 W65 H49 F1:1 Ip A1:1 C420jpeg\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(std::string(c.name) + ".y4m");
        const int32_t cw = (c.width + 1) / 2;
        const int32_t ch = (c.height + 1) / 2;
        // Planes with strides wider than the picture: only the picture goes out.
        const int32_t y_stride = c.width + 7;
        const int32_t c_stride = cw + 3;
        std::vector<std::vector<uint8_t>> expected;
        y4m_writer writer;
        std::string error;
        ASSERT_TRUE(y4m_writer_open(&writer, file.c_str(), c.width, c.height, c.num, c.den, &error)) << error;
        for (int frame = 0; frame < 3; ++frame) {
            std::vector<uint8_t> y(static_cast<size_t>(y_stride) * c.height);
            std::vector<uint8_t> u(static_cast<size_t>(c_stride) * ch);
            std::vector<uint8_t> v(u.size());
            std::vector<uint8_t> packed;
            for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(i * 7 + frame);
            for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<uint8_t>(i * 3 + frame + 100);
            for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 5 + frame + 200);
            for (int32_t r = 0; r < c.height; ++r) packed.insert(packed.end(), &y[r * y_stride], &y[r * y_stride] + c.width);
            for (int32_t r = 0; r < ch; ++r) packed.insert(packed.end(), &u[r * c_stride], &u[r * c_stride] + cw);
            for (int32_t r = 0; r < ch; ++r) packed.insert(packed.end(), &v[r * c_stride], &v[r * c_stride] + cw);
            expected.push_back(packed);
            ASSERT_TRUE(y4m_writer_write_frame(&writer, y.data(), y_stride, u.data(), c_stride, v.data(), c_stride,
                                               &error));
        }
        ASSERT_TRUE(y4m_writer_close(&writer, &error)) << error;

        const std::string bytes = read_all(file);
        EXPECT_EQ(bytes.substr(0, strlen(c.header)), c.header);
        EXPECT_EQ(bytes.size(), strlen(c.header) + 3 * (6 + y4m_frame_size(c.width, c.height)));

        y4m_reader reader;
        ASSERT_TRUE(y4m_reader_open(&reader, file.c_str(), &error)) << error;
        EXPECT_EQ(reader.width, c.width);
        EXPECT_EQ(reader.height, c.height);
        EXPECT_EQ(reader.frame_rate_numerator, c.num);
        EXPECT_EQ(reader.frame_rate_denominator, c.den);
        std::vector<uint8_t> planes;
        bool got = false;
        for (const auto& frame : expected) {
            ASSERT_TRUE(y4m_reader_read_frame(&reader, &planes, &got, &error)) << error;
            ASSERT_TRUE(got);
            EXPECT_EQ(planes, frame);
        }
        ASSERT_TRUE(y4m_reader_read_frame(&reader, &planes, &got, &error)) << error;
        EXPECT_FALSE(got);
        y4m_reader_close(&reader);
    }
}

TEST_F(Y4m, StreamHeadersAcceptedAndRefused)
{
    const struct {
        const char* header;
        bool accepted;
    } cases[] = {
        {"YUV4MPEG2 W4 H2 F25:1\n", true},  // no C: 4:2:0 with JPEG siting
        {"YUV4MPEG2 W4 H2 F25:1 C420\n", true},
        {"YUV4MPEG2 W4 H2 F25:1 C420mpeg2 XYSCSS=420MPEG2\n", true},
        {"YUV4MPEG2 C420paldv It A10:11 W4 H2 F25:1\n", true},
        {"YUV4MPEG2 W4 H2 F25:1 C422\n", false},
        {"YUV4MPEG2 W4 H2 F25:1 C444\n", false},
        {"YUV4MPEG2 W4 H2 F25:1 Cmono\n", false},
        {"YUV4MPEG2 W4 H2 F25:1 C420p10\n", false},
        {"YUV4MPEG2 H2 F25:1\n", false},           // no width
        {"YUV4MPEG2 W0 H2 F25:1\n", false},
        {"YUV4MPEG2 W16384 H2 F25:1\n", false},
        {"YUV4MPEG2 W4x H2 F25:1\n", false},
        {"YUV4MPEG2 W4 H2\n", false},              // no frame rate
        {"YUV4MPEG2 W4 H2 F0:1\n", false},
        {"YUV4MPEG2 W4 H2 F25\n", false},
        {"YUV4MPEG W4 H2 F25:1\n", false},
        {"", false},
    };
    for (const auto& c : cases) {
        const std::string file = path("header.y4m");
        write_all(file, c.header);
        y4m_reader reader;
        std::string error;
        EXPECT_EQ(y4m_reader_open(&reader, file.c_str(), &error), c.accepted) << c.header << error;
        EXPECT_EQ(error.empty(), c.accepted) << c.header;
        y4m_reader_close(&reader);
    }

    const std::string file = path("long.y4m");
    write_all(file, "YUV4MPEG2 W4 H2 F25:1 X" + std::string(100000, 'a') + "\n");
    y4m_reader reader;
    std::string error;
    EXPECT_FALSE(y4m_reader_open(&reader, file.c_str(), &error));
}

TEST_F(Y4m, BrokenFramesAreErrors)
{
    const std::string header = "YUV4MPEG2 W4 H2 F25:1\n";  // 8 + 2 + 2 bytes a frame
    const struct {
        const char* name;
        std::string body;
        int good_frames;
    } cases[] = {
        {"cut frame", "FRAME\n" + std::string(12, 'x') + "FRAME\n" + std::string(5, 'x'), 1},
        {"wrong marker", "FRAMX\n" + std::string(12, 'x'), 0},
        {"frame with parameters", "FRAME Ip\n" + std::string(12, 'x') + "FRAMEX\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path("frames.y4m");
        write_all(file, header + c.body);
        y4m_reader reader;
        std::string error;
        ASSERT_TRUE(y4m_reader_open(&reader, file.c_str(), &error)) << error;
        std::vector<uint8_t> planes;
        bool got = false;
        for (int i = 0; i < c.good_frames; ++i) {
            ASSERT_TRUE(y4m_reader_read_frame(&reader, &planes, &got, &error)) << error;
            EXPECT_TRUE(got);
        }
        EXPECT_FALSE(y4m_reader_read_frame(&reader, &planes, &got, &error));
        EXPECT_FALSE(got);
        EXPECT_FALSE(error.empty());
        y4m_reader_close(&reader);
    }
}

// ---- WAV ----

using Wav = TempDir;

uint32_t le32(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}
uint16_t le16(const std::string& bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

TEST_F(Wav, WrittenSamplesReadBackWithExactSizes)
{
    const struct {
        int32_t channels;
        int32_t rate;
        bool length_known;  // given to open, or only found at close
    } cases[] = {
        {1, 22050, true}, {2, 44100, false}, {3, 48000, true}, {6, 48000, false}, {8, 96000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, length known: " << c.length_known);
        const std::string file = path("out.wav");
        const int64_t frames = 1000;
        std::vector<int16_t> samples(static_cast<size_t>(frames * c.channels));
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<int16_t>(i * 37 - 30000);
        }
        wav_writer writer;
        std::string error;
        ASSERT_TRUE(wav_writer_open(&writer, file.c_str(), c.channels, c.rate, c.length_known ? frames : -1, &error));
        ASSERT_TRUE(wav_writer_write(&writer, samples.data(), 600, &error));
        ASSERT_TRUE(wav_writer_write(&writer, samples.data() + 600 * c.channels, 400, &error));
        ASSERT_TRUE(wav_writer_close(&writer, &error)) << error;

        const std::string bytes = read_all(file);
        const bool extensible = c.channels > 2;
        const size_t data_at = extensible ? 68 : 44;
        ASSERT_EQ(bytes.size(), data_at + static_cast<size_t>(frames * c.channels * 2));
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(le16(bytes, 20), extensible ? 0xFFFE : 1);
        EXPECT_EQ(le16(bytes, 22), c.channels);
        EXPECT_EQ(le32(bytes, 24), static_cast<uint32_t>(c.rate));
        EXPECT_EQ(bytes.substr(data_at - 8, 4), "data");
        EXPECT_EQ(le32(bytes, data_at - 4), bytes.size() - data_at);
        if (extensible) {
            EXPECT_EQ(le32(bytes, 40), wav_channel_mask(c.channels));
        }

        wav_audio audio;
        ASSERT_TRUE(wav_read(file.c_str(), &audio, &error)) << error;
        EXPECT_EQ(audio.channels, c.channels);
        EXPECT_EQ(audio.sample_rate, c.rate);
        EXPECT_EQ(audio.channel_mask, extensible ? wav_channel_mask(c.channels) : 0u);
        EXPECT_EQ(audio.samples, samples);
    }
}

TEST_F(Wav, UnseekableOutputKeepsItsFirstSizes)
{
    const int16_t samples[4] = {1, 2, 3, 4};
    for (const int64_t total : {int64_t{-1}, int64_t{2}}) {
        wav_writer writer;
        std::string error;
        ASSERT_TRUE(wav_writer_open(&writer, "/dev/null", 2, 44100, total, &error)) << error;
        ASSERT_TRUE(wav_writer_write(&writer, samples, 2, &error)) << error;
        EXPECT_TRUE(wav_writer_close(&writer, &error)) << error;
    }
}

// A WAV file put together by hand: RIFF header, then the chunks given.
std::string riff(const std::string& chunks, uint32_t riff_size = 0)
{
    std::string out = "RIFF";
    const uint32_t size = riff_size != 0 ? riff_size : static_cast<uint32_t>(4 + chunks.size());
    out.append(reinterpret_cast<const char*>(&size), 4);
    return out + "WAVE" + chunks;
}
std::string chunk(const char* tag, const std::string& body, uint32_t declared = 0xFFFFFFFFu - 1)
{
    const uint32_t size = declared != 0xFFFFFFFFu - 1 ? declared : static_cast<uint32_t>(body.size());
    std::string out(tag, 4);
    out.append(reinterpret_cast<const char*>(&size), 4);
    out += body;
    if (body.size() % 2 == 1 && declared == 0xFFFFFFFFu - 1) {
        out.push_back('\0');
    }
    return out;
}
std::string fmt_body(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits)
{
    std::string out;
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    const uint32_t byte_rate = rate * align;
    out.append(reinterpret_cast<const char*>(&format), 2);
    out.append(reinterpret_cast<const char*>(&channels), 2);
    out.append(reinterpret_cast<const char*>(&rate), 4);
    out.append(reinterpret_cast<const char*>(&byte_rate), 4);
    out.append(reinterpret_cast<const char*>(&align), 2);
    out.append(reinterpret_cast<const char*>(&bits), 2);
    return out;
}
std::string extensible_body(uint16_t channels, uint32_t mask, uint8_t subformat_first_byte)
{
    std::string out = fmt_body(0xFFFE, channels, 48000, 16);
    const uint16_t extension = 22;
    const uint16_t valid = 16;
    out.append(reinterpret_cast<const char*>(&extension), 2);
    out.append(reinterpret_cast<const char*>(&valid), 2);
    out.append(reinterpret_cast<const char*>(&mask), 4);
    const uint8_t guid[16] = {subformat_first_byte, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    out.append(reinterpret_cast<const char*>(guid), 16);
    return out;
}

TEST_F(Wav, HandMadeFilesAcceptedAndRefused)
{
    const std::string four_samples("\x01\x00\x02\x00\x03\x00\x04\x00", 8);
    const struct {
        const char* name;
        std::string bytes;
        bool accepted;
        int64_t frames;
    } cases[] = {
        {"plain", riff(chunk("fmt ", fmt_body(1, 2, 44100, 16)) + chunk("data", four_samples)), true, 2},
        {"other chunks skipped", riff(chunk("LIST", "abc") + chunk("fmt ", fmt_body(1, 1, 8000, 16)) +
                                      chunk("fact", "1234") + chunk("data", four_samples)), true, 4},
        {"streamed: data size past the end", riff(chunk("fmt ", fmt_body(1, 2, 44100, 16)) +
                                                  chunk("data", four_samples + "\x05", 0xFFFFFFFFu), 0xFFFFFFFFu),
         true, 2},
        {"extensible PCM", riff(chunk("fmt ", extensible_body(6, 0x3F, 1)) + chunk("data", std::string(24, '\0'))),
         true, 2},
        {"extensible float", riff(chunk("fmt ", extensible_body(6, 0x3F, 3)) + chunk("data", std::string(24, '\0'))),
         false, 0},
        {"8-bit", riff(chunk("fmt ", fmt_body(1, 2, 44100, 8)) + chunk("data", four_samples)), false, 0},
        {"24-bit", riff(chunk("fmt ", fmt_body(1, 2, 44100, 24)) + chunk("data", four_samples)), false, 0},
        {"float", riff(chunk("fmt ", fmt_body(3, 2, 44100, 32)) + chunk("data", four_samples)), false, 0},
        {"9 channels", riff(chunk("fmt ", fmt_body(1, 9, 44100, 16)) + chunk("data", four_samples)), false, 0},
        {"no sample rate", riff(chunk("fmt ", fmt_body(1, 2, 0, 16)) + chunk("data", four_samples)), false, 0},
        {"data before fmt", riff(chunk("data", four_samples) + chunk("fmt ", fmt_body(1, 2, 44100, 16))), false, 0},
        {"no data", riff(chunk("fmt ", fmt_body(1, 2, 44100, 16))), false, 0},
        {"cut fmt", riff(chunk("fmt ", fmt_body(1, 2, 44100, 16).substr(0, 10), 16)), false, 0},
        {"huge fmt", riff(chunk("fmt ", fmt_body(1, 2, 44100, 16), 0x7FFFFFFF)), false, 0},
        {"not RIFF", "RIFX" + riff(chunk("fmt ", fmt_body(1, 2, 44100, 16))).substr(4), false, 0},
        {"empty", "", false, 0},
    };
    for (const auto& c : cases) {
        const std::string file = path("in.wav");
        write_all(file, c.bytes);
        wav_audio audio;
        std::string error;
        EXPECT_EQ(wav_read(file.c_str(), &audio, &error), c.accepted) << c.name << ": " << error;
        EXPECT_EQ(error.empty(), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(audio.frames(), c.frames) << c.name;
        }
    }
}

TEST(WavChannels, ReorderBetweenVorbisAndWavOrder)
{
    // Sample value = the channel's speaker, numbered in WAV mask order:
    // 1 FL, 2 FR, 3 C, 4 LFE, 5 BL, 6 BR, 9 BC, 10 SL, 11 SR.
    const struct {
        int32_t channels;
        std::vector<int16_t> vorbis;
        std::vector<int16_t> wav;
        uint32_t mask;
    } cases[] = {
        {1, {3}, {3}, 0x4},
        {2, {1, 2}, {1, 2}, 0x3},
        {3, {1, 3, 2}, {1, 2, 3}, 0x7},
        {4, {1, 2, 5, 6}, {1, 2, 5, 6}, 0x33},
        {5, {1, 3, 2, 5, 6}, {1, 2, 3, 5, 6}, 0x37},
        {6, {1, 3, 2, 5, 6, 4}, {1, 2, 3, 4, 5, 6}, 0x3F},
        {7, {1, 3, 2, 10, 11, 9, 4}, {1, 2, 3, 4, 9, 10, 11}, 0x70F},
        {8, {1, 3, 2, 10, 11, 5, 6, 4}, {1, 2, 3, 4, 5, 6, 10, 11}, 0x63F},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels");
        EXPECT_EQ(wav_channel_mask(c.channels), c.mask);
        // Two frames, to see that every frame is reordered.
        std::vector<int16_t> samples = c.vorbis;
        samples.insert(samples.end(), c.vorbis.begin(), c.vorbis.end());
        wav_reorder_vorbis_to_wav(samples.data(), 2, c.channels);
        std::vector<int16_t> expected = c.wav;
        expected.insert(expected.end(), c.wav.begin(), c.wav.end());
        EXPECT_EQ(samples, expected);
        wav_reorder_wav_to_vorbis(samples.data(), 2, c.channels);
        EXPECT_EQ(std::vector<int16_t>(samples.begin(), samples.begin() + c.channels), c.vorbis);
    }
    EXPECT_EQ(wav_channel_mask(9), 0u);
}

}  // namespace
