// Payload scrambling and the byte layout of movies written by the writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/zarn_crypt.h"
#include "common/zarn_file.h"
#include "common/zarn_format.h"
#include "writer/zarn_writer.h"

namespace {

TEST(Crypt, ScramblesWithTheBlockLengthAndRestoresWhenAppliedTwice)
{
    uint8_t abc[] = {0x61, 0x62, 0x63};
    EXPECT_EQ(zarn_crypt_encrypt(abc, 3), 3);
    EXPECT_EQ(abc[0], 0x2F);
    EXPECT_EQ(abc[1], 0x0D);
    EXPECT_EQ(abc[2], 0xF3);

    uint8_t one[] = {0x00};
    zarn_crypt_encrypt(one, 1);
    EXPECT_EQ(one[0], 0x4C);

    std::vector<uint8_t> block(300);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7);
    }
    std::vector<uint8_t> copy = block;
    zarn_crypt_encrypt(copy.data(), 300);
    EXPECT_NE(copy, block);
    EXPECT_EQ(zarn_crypt_decrypt(copy.data(), 300), 300);
    EXPECT_EQ(copy, block);

    uint8_t untouched[] = {1, 2};
    EXPECT_EQ(zarn_crypt_encrypt(untouched, 0), 0);
    EXPECT_EQ(zarn_crypt_encrypt(untouched, -5), 0);
    EXPECT_EQ(untouched[0], 1);
}

class Layout : public testing::Test {
protected:
    void SetUp() override { path = testing::TempDir() + "zarn_layout_" + std::to_string(getpid()) + ".zrn"; }
    void TearDown() override { unlink(path.c_str()); }

    zarn_movie_layout write(const zarn_writer_movie& movie, const std::vector<std::vector<uint8_t>>& packets)
    {
        zarn_writer writer;
        EXPECT_TRUE(zarn_writer_begin(&writer, path.c_str(), movie));
        int64_t timestamp = 0;
        for (const auto& packet : packets) {
            EXPECT_TRUE(zarn_writer_add_packet(&writer, timestamp, timestamp == 0, packet.data(),
                                               static_cast<uint32_t>(packet.size())));
            timestamp += 400000;
        }
        EXPECT_TRUE(zarn_writer_finish(&writer));
        return writer.layout;
    }

    template <typename Record>
    Record read_at(zarn_file* file, int64_t offset)
    {
        Record record{};
        EXPECT_EQ(zarn_fseek(file, offset, SEEK_SET), 0);
        EXPECT_EQ(zarn_fread(file, &record, sizeof(record), 1), 1u);
        return record;
    }

    std::string path;
};

TEST_F(Layout, VideoHeaderFollowsTheMovieHeaderWithoutAudio)
{
    zarn_writer_movie movie;
    movie.width = 64;
    movie.height = 48;
    movie.frame_rate_numerator = 25;
    const zarn_movie_layout layout = write(movie, {{1, 2, 3}});
    EXPECT_EQ(layout.video_track_header, 72);
    EXPECT_EQ(layout.packet_headers.at(0), 72 + 96);
}

TEST_F(Layout, RecordsReadBackFieldByField)
{
    zarn_writer_movie movie;
    movie.width = 320;
    movie.height = 240;
    movie.frame_rate_numerator = 30000;
    movie.frame_rate_denominator = 1001;
    movie.video_name = "Video";
    movie.header_word = 0xCAFEF00D;
    zarn_writer_audio_track audio;
    audio.name = "Audio 1";
    audio.channels = 2;
    audio.sample_rate = 44100;
    audio.ogg_data.assign(1000, 0x5A);
    movie.audio_tracks.push_back(audio);
    const std::vector<uint8_t> payload = {10, 20, 30, 40, 50};
    const zarn_movie_layout layout = write(movie, {payload, {7, 7}});

    EXPECT_EQ(layout.video_track_header, 1168);
    EXPECT_EQ(layout.packet_headers.at(0), 1264);

    zarn_file* file = nullptr;
    ASSERT_EQ(zarn_file_create(&file, path.c_str(), true), 0);
    const auto header = read_at<zarn_header>(file, 0);
    EXPECT_EQ(memcmp(header.magic, "KTW ZARN", 8), 0);
    EXPECT_EQ(header.frame_rate_numerator, 30000);
    EXPECT_EQ(header.frame_rate_denominator, 1001);
    EXPECT_EQ(header.audio_track_count, 1);
    EXPECT_EQ(header.video_track_count, 1);
    EXPECT_EQ(header.frame_blob_size, 5u) << "the largest payload";
    EXPECT_EQ(header.duration, 400000 + 10000000LL * 1001 / 30000) << "last timestamp plus one frame period";
    EXPECT_EQ(header.width, 320);
    EXPECT_EQ(header.height, 240);

    const auto audio_header = read_at<zarn_track_header>(file, 72);
    EXPECT_STREQ(audio_header.name, "Audio 1");
    EXPECT_EQ(audio_header.audio.channels, 2);
    EXPECT_EQ(audio_header.audio.sample_rate, 44100);
    EXPECT_EQ(audio_header.audio.data_size, 1000u);
    std::vector<uint8_t> data(1000);
    ASSERT_EQ(zarn_fread(file, data.data(), data.size(), 1), 1u);
    zarn_crypt_decrypt(data.data(), 1000);
    EXPECT_EQ(data, audio.ogg_data) << "track data is stored scrambled as one block";

    const auto video_header = read_at<zarn_track_header>(file, 1168);
    EXPECT_STREQ(video_header.name, "Video");
    EXPECT_EQ(video_header.video.width, 320);
    EXPECT_EQ(video_header.video.height, 240);
    EXPECT_EQ(video_header.video.header_word, 0xCAFEF00Du);

    const auto packet = read_at<zarn_packet_header>(file, 1264);
    EXPECT_EQ(packet.timestamp, 0);
    EXPECT_EQ(packet.size, 5u);
    EXPECT_EQ(packet.flags, PACKET_FLAG_KEY_FRAME);
    std::vector<uint8_t> frame(5);
    ASSERT_EQ(zarn_fread(file, frame.data(), frame.size(), 1), 1u);
    zarn_crypt_decrypt(frame.data(), 5);
    EXPECT_EQ(frame, payload);

    const auto second = read_at<zarn_packet_header>(file, layout.packet_headers.at(1));
    EXPECT_EQ(second.timestamp, 400000);
    EXPECT_EQ(second.flags, 0u);

    const auto end = read_at<zarn_packet_header>(file, layout.end_of_stream_header);
    EXPECT_EQ(end.flags, PACKET_FLAG_END_OF_STREAM);
    EXPECT_EQ(end.size, 0u);
    EXPECT_EQ(layout.end_of_stream_header + 16, layout.file_size);
    zarn_file_free(file);
}

}  // namespace
