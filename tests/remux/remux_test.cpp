// zrn extract and zrn remux, run as a user runs them. What they write is read
// back with readers of the test's own (a plain IVF parser, libogg's packet
// reader, libwebm's parser with a callback of the test's, mkvinfo and mkvmerge
// from mkvtoolnix) and held against the movie's records read one by one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <ogg/ogg.h>
#include <string>
#include <vector>
#include <webm/callback.h>
#include <webm/file_reader.h>
#include <webm/webm_parser.h>

#include "formats/webm.h"
#include "writer/zarn_writer.h"
#include "zrn_test_support.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes to_bytes(const std::string& text)
{
    return bytes(text.begin(), text.end());
}

bool program_exists(const char* name)
{
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

// Runs a shell command line, returning its exit status and output.
int run_shell(const std::string& command, std::string* output)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output->append(buffer, got);
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The one-line failure of a command: exit status 1, nothing but
// "zrn: FILE: reason" on standard error.
void expect_one_line_failure(const zrn_run& run, const std::string& file)
{
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> lines = split_lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0].rfind("zrn: " + file + ": ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), ("zrn: " + file + ": ").size());
}

// ---- Ogg, read with libogg ----

struct ogg_packet_record {
    bytes data;
    int64_t granule;  // of the page it ends, for the last packet on a page; else -1
};

std::vector<ogg_packet_record> ogg_packets(const bytes& data)
{
    std::vector<ogg_packet_record> out;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(data.size()));
    memcpy(buffer, data.data(), data.size());
    ogg_sync_wrote(&sync, static_cast<long>(data.size()));
    ogg_stream_state stream;
    bool started = false;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (!started) {
            ogg_stream_init(&stream, ogg_page_serialno(&page));
            started = true;
        }
        ogg_stream_pagein(&stream, &page);
        ogg_packet packet;
        while (ogg_stream_packetout(&stream, &packet) == 1) {
            out.push_back({bytes(packet.packet, packet.packet + packet.bytes), packet.granulepos});
        }
    }
    if (started) {
        ogg_stream_clear(&stream);
    }
    ogg_sync_clear(&sync);
    return out;
}

// An Ogg stream of the given packets, one page each.
bytes ogg_stream_of(const std::vector<bytes>& packets)
{
    bytes out;
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);
    for (size_t i = 0; i < packets.size(); ++i) {
        ogg_packet packet{};
        packet.packet = const_cast<unsigned char*>(packets[i].data());
        packet.bytes = static_cast<long>(packets[i].size());
        packet.b_o_s = i == 0;
        packet.e_o_s = i + 1 == packets.size();
        packet.granulepos = 0;
        packet.packetno = static_cast<int64_t>(i);
        ogg_stream_packetin(&stream, &packet);
        ogg_page page;
        while (ogg_stream_flush(&stream, &page) != 0) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    }
    ogg_stream_clear(&stream);
    return out;
}

bytes track_ogg(const reference_movie& movie, const std::string& path, size_t track)
{
    (void)movie;
    // read_reference_movie does not keep the audio data: take it from the file.
    const std::string file = read_file(path);
    const zarn_track_header& header = movie.audio_tracks[track];
    int64_t at = static_cast<int64_t>(sizeof(zarn_header));
    for (size_t i = 0; i < track; ++i) {
        at += static_cast<int64_t>(sizeof(zarn_track_header)) + movie.audio_tracks[i].audio.data_size;
    }
    at += static_cast<int64_t>(sizeof(zarn_track_header));
    bytes data(file.begin() + at, file.begin() + at + header.audio.data_size);
    const size_t n = data.size();
    for (size_t i = 0; i < n; ++i) {
        data[i] ^= static_cast<uint8_t>((n + 33 * i + 75) % 256);
    }
    return data;
}

// ---- IVF ----

struct ivf_frame {
    uint64_t timestamp;
    bytes data;
};
struct ivf_file {
    std::string fourcc;
    int width = 0;
    int height = 0;
    uint32_t rate = 0;
    uint32_t scale = 0;
    uint32_t frame_count = 0;
    std::vector<ivf_frame> frames;
};

uint64_t le(const std::string& data, size_t at, int size)
{
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(data[at + static_cast<size_t>(i)]);
    }
    return value;
}

bool parse_ivf(const std::string& data, ivf_file* ivf)
{
    if (data.size() < 32 || data.compare(0, 4, "DKIF") != 0 || le(data, 4, 2) != 0 || le(data, 6, 2) != 32) {
        ADD_FAILURE() << "not an IVF file header";
        return false;
    }
    ivf->fourcc = data.substr(8, 4);
    ivf->width = static_cast<int>(le(data, 12, 2));
    ivf->height = static_cast<int>(le(data, 14, 2));
    ivf->rate = static_cast<uint32_t>(le(data, 16, 4));
    ivf->scale = static_cast<uint32_t>(le(data, 20, 4));
    ivf->frame_count = static_cast<uint32_t>(le(data, 24, 4));
    for (size_t at = 32; at < data.size();) {
        if (data.size() - at < 12) {
            ADD_FAILURE() << "a frame header is cut short";
            return false;
        }
        const size_t size = le(data, at, 4);
        const uint64_t timestamp = le(data, at + 4, 8);
        at += 12;
        if (data.size() - at < size) {
            ADD_FAILURE() << "a frame is cut short";
            return false;
        }
        ivf->frames.push_back({timestamp, bytes(data.begin() + at, data.begin() + at + size)});
        at += size;
    }
    return true;
}

// ---- WebM, read with libwebm's parser ----

struct parsed_frame {
    uint64_t track;
    int64_t timecode;  // absolute, in timecode units
    bool key_frame;
    bytes data;
};
struct parsed_webm {
    webm::Status status{webm::Status::kOkPartial};
    std::string doc_type;
    webm::Info info;
    std::vector<webm::TrackEntry> tracks;
    std::vector<webm::CuePoint> cues;
    std::vector<parsed_frame> frames;
};

class collector : public webm::Callback {
public:
    explicit collector(parsed_webm* out) : out_(out) {}
    webm::Status OnEbml(const webm::ElementMetadata&, const webm::Ebml& ebml) override
    {
        out_->doc_type = ebml.doc_type.value();
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnInfo(const webm::ElementMetadata&, const webm::Info& info) override
    {
        out_->info = info;
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnTrackEntry(const webm::ElementMetadata&, const webm::TrackEntry& entry) override
    {
        out_->tracks.push_back(entry);
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnCuePoint(const webm::ElementMetadata&, const webm::CuePoint& cue) override
    {
        out_->cues.push_back(cue);
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnClusterBegin(const webm::ElementMetadata&, const webm::Cluster& cluster,
                                webm::Action* action) override
    {
        cluster_time_ = static_cast<int64_t>(cluster.timecode.value());
        *action = webm::Action::kRead;
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnSimpleBlockBegin(const webm::ElementMetadata&, const webm::SimpleBlock& block,
                                    webm::Action* action) override
    {
        block_ = {block.track_number, cluster_time_ + block.timecode, block.is_key_frame, {}};
        *action = webm::Action::kRead;
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnBlockBegin(const webm::ElementMetadata&, const webm::Block& block, webm::Action* action) override
    {
        block_ = {block.track_number, cluster_time_ + block.timecode, true, {}};
        *action = webm::Action::kRead;
        return webm::Status(webm::Status::kOkCompleted);
    }
    webm::Status OnFrame(const webm::FrameMetadata& metadata, webm::Reader* reader,
                         std::uint64_t* bytes_remaining) override
    {
        parsed_frame frame = block_;
        frame.data.resize(metadata.size);
        uint64_t done = 0;
        while (done < metadata.size) {
            uint64_t got = 0;
            const webm::Status status = reader->Read(metadata.size - done, frame.data.data() + done, &got);
            done += got;
            if (!status.ok() || got == 0) {
                return status.ok() ? webm::Status(webm::Status::kEndOfFile) : status;
            }
        }
        *bytes_remaining = 0;
        out_->frames.push_back(std::move(frame));
        return webm::Status(webm::Status::kOkCompleted);
    }

private:
    parsed_webm* out_;
    int64_t cluster_time_ = 0;
    parsed_frame block_;
};

parsed_webm parse_webm(const std::string& path)
{
    parsed_webm out;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "can't open " << path;
        return out;
    }
    webm::FileReader reader(file);
    webm::WebmParser parser;
    collector callback(&out);
    out.status = parser.Feed(&callback, &reader);
    return out;
}

// The three Vorbis headers from a Xiph-laced CodecPrivate.
std::vector<bytes> unlace(const bytes& data)
{
    std::vector<bytes> out;
    if (data.empty() || data[0] != 2) {
        return out;
    }
    size_t at = 1;
    size_t sizes[2] = {0, 0};
    for (size_t& size : sizes) {
        while (at < data.size() && data[at] == 255) {
            size += 255;
            at += 1;
        }
        size += at < data.size() ? data[at++] : 0;
    }
    if (sizes[0] + sizes[1] > data.size() - at) {
        return out;
    }
    out.emplace_back(data.begin() + at, data.begin() + at + sizes[0]);
    at += sizes[0];
    out.emplace_back(data.begin() + at, data.begin() + at + sizes[1]);
    at += sizes[1];
    out.emplace_back(data.begin() + at, data.end());
    return out;
}

// ---- Movies made for the failure cases ----

zarn_writer_movie small_movie()
{
    zarn_writer_movie movie;
    movie.width = 64;
    movie.height = 48;
    movie.frame_rate_numerator = 25;
    movie.frame_rate_denominator = 1;
    movie.video_name = "Video";
    return movie;
}

// Writes a movie with the given audio tracks and timestamps, its packets the
// VP8 frames of video_64x48.zrn.
bool write_movie(const std::string& path, const zarn_writer_movie& movie, const std::vector<int64_t>& timestamps)
{
    reference_movie source;
    if (!read_reference_movie(test_movie("video_64x48"), &source)) {
        return false;
    }
    zarn_writer writer;
    if (!zarn_writer_begin(&writer, path.c_str(), movie)) {
        return false;
    }
    for (size_t i = 0; i < timestamps.size(); ++i) {
        const reference_packet& packet = source.packets[i];
        if (!zarn_writer_add_packet(&writer, timestamps[i], (packet.flags & PACKET_FLAG_KEY_FRAME) != 0,
                                    packet.payload.data(), static_cast<uint32_t>(packet.payload.size()))) {
            return false;
        }
    }
    return zarn_writer_finish(&writer);
}

// A WebM file of the given tracks, made with the project's WebM writer, each
// track given a few frames of bytes.
bool write_webm(const std::string& path, const std::vector<webm_track>& tracks)
{
    std::string error;
    webm_writer writer;
    if (!webm_begin(&writer, path.c_str(), tracks, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    const uint8_t frame[16] = {0x10, 0x02, 0x00, 0x9d, 0x01, 0x2a};
    for (int i = 0; i < 3; ++i) {
        for (const webm_track& track : tracks) {
            if (!webm_add_frame(&writer, track.number, i * 40000000LL, i == 0, frame, sizeof(frame), 0, &error)) {
                ADD_FAILURE() << error;
                return false;
            }
        }
    }
    return webm_finish(&writer, 120000000, &error);
}

webm_track vp8_track()
{
    webm_track track;
    track.number = 1;
    track.type = WEBM_TRACK_TYPE_VIDEO;
    track.codec_id = "V_VP8";
    track.width = 64;
    track.height = 48;
    track.default_duration = 40000000;
    return track;
}

class remux : public ::testing::Test {
protected:
    scratch_dir dir;
};

// ---- zrn extract ----

TEST_F(remux, extracted_audio_is_the_ogg_stream_that_went_in)
{
    const struct {
        const char* movie;
        int track;
    } cases[] = {{"stereo", 0}, {"mono", 0}, {"six_channel", 0}, {"two_audio", 0}, {"two_audio", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.movie) + " track " + std::to_string(c.track));
        const std::string out = dir.path("audio.ogg");
        const zrn_run run = run_zrn({"extract", test_movie(c.movie), "--audio", out,
                                     "--audio-track", std::to_string(c.track)});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(read_file(out), read_file(test_movie_ogg(c.movie, c.track)));
    }
}

TEST_F(remux, extracted_video_holds_the_movies_frames_on_its_frame_rate)
{
    const struct {
        const char* movie;
        uint32_t rate;
        uint32_t scale;
    } cases[] = {{"video_64x48", 25, 1}, {"video_65x49", 25, 1}, {"keyint10s", 1, 1}, {"ntsc", 30000, 1001}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.movie);
        const std::string movie_path = test_movie(c.movie);
        reference_movie movie;
        ASSERT_TRUE(read_reference_movie(movie_path, &movie));
        const std::string out = dir.path("video.ivf");
        const zrn_run run = run_zrn({"extract", movie_path, "--video", out});
        ASSERT_EQ(run.status, 0) << run.err;
        ivf_file ivf;
        ASSERT_TRUE(parse_ivf(read_file(out), &ivf));
        EXPECT_EQ(ivf.fourcc, "VP80");
        EXPECT_EQ(ivf.width, movie.header.width);
        EXPECT_EQ(ivf.height, movie.header.height);
        EXPECT_EQ(ivf.rate, c.rate);
        EXPECT_EQ(ivf.scale, c.scale);
        EXPECT_EQ(ivf.frame_count, movie.packets.size());
        ASSERT_EQ(ivf.frames.size(), movie.packets.size());
        for (size_t i = 0; i < ivf.frames.size(); ++i) {
            EXPECT_EQ(ivf.frames[i].timestamp, i) << "frame " << i;
            EXPECT_EQ(ivf.frames[i].data, movie.packets[i].payload) << "frame " << i;
            // The tick, back in 100-ns units as the movie's times are made.
            EXPECT_EQ(static_cast<int64_t>(ivf.frames[i].timestamp * ZARN_TIME_UNITS_PER_SECOND * c.scale / c.rate),
                      movie.packets[i].timestamp);
        }
    }
}

TEST_F(remux, timestamps_off_the_frame_grid_get_a_fine_time_base)
{
    const std::string movie_path = dir.path("irregular.zrn");
    const std::vector<int64_t> timestamps = {0, 400000, 410001, 1200000};
    ASSERT_TRUE(write_movie(movie_path, small_movie(), timestamps));
    const std::string out = dir.path("video.ivf");
    const zrn_run run = run_zrn({"extract", movie_path, "--video", out});
    ASSERT_EQ(run.status, 0) << run.err;
    ivf_file ivf;
    ASSERT_TRUE(parse_ivf(read_file(out), &ivf));
    EXPECT_EQ(ivf.rate, 10000000u);
    EXPECT_EQ(ivf.scale, 1u);
    ASSERT_EQ(ivf.frames.size(), timestamps.size());
    for (size_t i = 0; i < timestamps.size(); ++i) {
        EXPECT_EQ(static_cast<int64_t>(ivf.frames[i].timestamp), timestamps[i]);
    }
}

// ---- zrn remux, .zrn to WebM ----

TEST_F(remux, webm_holds_the_movies_frames_and_packets)
{
    for (const char* name : {"video_64x48", "stereo", "two_audio", "ntsc"}) {
        SCOPED_TRACE(name);
        const std::string movie_path = test_movie(name);
        reference_movie movie;
        ASSERT_TRUE(read_reference_movie(movie_path, &movie));
        const std::string out = dir.path("movie.webm");
        const zrn_run run = run_zrn({"remux", movie_path, out});
        ASSERT_EQ(run.status, 0) << run.err;

        const parsed_webm webm = parse_webm(out);
        ASSERT_TRUE(webm.status.completed_ok()) << webm.status.code;
        EXPECT_EQ(webm.doc_type, "webm");
        EXPECT_EQ(webm.info.timecode_scale.value(), 1000000u);
        EXPECT_DOUBLE_EQ(webm.info.duration.value(), static_cast<double>(movie.header.duration) / 10000);
        ASSERT_EQ(webm.tracks.size(), 1 + movie.audio_tracks.size());
        const webm::TrackEntry& video = webm.tracks[0];
        EXPECT_EQ(video.codec_id.value(), "V_VP8");
        EXPECT_EQ(video.video.value().pixel_width.value(), static_cast<uint64_t>(movie.header.width));
        EXPECT_EQ(video.video.value().pixel_height.value(), static_cast<uint64_t>(movie.header.height));

        std::vector<const parsed_frame*> frames;
        for (const parsed_frame& frame : webm.frames) {
            if (frame.track == video.track_number.value()) {
                frames.push_back(&frame);
            }
        }
        ASSERT_EQ(frames.size(), movie.packets.size());
        size_t key_frames = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            const reference_packet& packet = movie.packets[i];
            EXPECT_EQ(frames[i]->data, packet.payload) << "frame " << i;
            EXPECT_EQ(frames[i]->key_frame, (packet.flags & PACKET_FLAG_KEY_FRAME) != 0) << "frame " << i;
            EXPECT_EQ(frames[i]->timecode, (packet.timestamp + 5000) / 10000) << "frame " << i;
            key_frames += frames[i]->key_frame ? 1 : 0;
        }
        // One cue for every key frame, so players can seek to each.
        ASSERT_EQ(webm.cues.size(), key_frames);

        for (size_t t = 0; t < movie.audio_tracks.size(); ++t) {
            SCOPED_TRACE("audio track " + std::to_string(t));
            const webm::TrackEntry& track = webm.tracks[t + 1];
            EXPECT_EQ(track.codec_id.value(), "A_VORBIS");
            EXPECT_EQ(track.audio.value().channels.value(),
                      static_cast<uint64_t>(movie.audio_tracks[t].audio.channels));
            EXPECT_EQ(track.audio.value().sampling_frequency.value(), movie.audio_tracks[t].audio.sample_rate);
            const std::vector<ogg_packet_record> ogg =
                ogg_packets(to_bytes(read_file(test_movie_ogg(name, static_cast<int>(t)))));
            ASSERT_GT(ogg.size(), 3u);
            const std::vector<bytes> headers = unlace(track.codec_private.value());
            ASSERT_EQ(headers.size(), 3u);
            for (size_t h = 0; h < 3; ++h) {
                EXPECT_EQ(headers[h], ogg[h].data) << "header " << h;
            }
            std::vector<bytes> packets;
            for (const parsed_frame& frame : webm.frames) {
                if (frame.track == track.track_number.value()) {
                    packets.push_back(frame.data);
                }
            }
            ASSERT_EQ(packets.size(), ogg.size() - 3);
            for (size_t p = 0; p < packets.size(); ++p) {
                EXPECT_EQ(packets[p], ogg[p + 3].data) << "packet " << p;
            }
        }
    }
}

TEST_F(remux, mkvinfo_reads_the_webm_file)
{
    if (!program_exists("mkvinfo")) {
        GTEST_SKIP() << "mkvinfo (mkvtoolnix) is not installed";
    }
    const struct {
        const char* movie;
        std::vector<std::string> lines;
    } cases[] = {
        {"video_64x48",
         {"Document type: webm", "Codec ID: V_VP8", "Pixel width: 64", "Pixel height: 48",
          "Default duration: 00:00:00.040000000 (25.000 frames/fields per second", "Duration: 00:00:02.000000000"}},
        {"two_audio",
         {"Codec ID: V_VP8", "Codec ID: A_VORBIS", "Sampling frequency: 44100", "Channels: 2",
          "Sampling frequency: 22050", "Channels: 1", "Name: Audio 2", "Duration: 00:00:02.000000000"}},
        {"ntsc", {"Default duration: 00:00:00.033366667 (29.970 frames/fields per second", "Duration: 00:00:01.001"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.movie);
        const std::string out = dir.path("movie.webm");
        ASSERT_EQ(run_zrn({"remux", test_movie(c.movie), out}).status, 0);
        std::string info;
        ASSERT_EQ(run_shell("mkvinfo '" + out + "'", &info), 0) << info;
        for (const std::string& line : c.lines) {
            EXPECT_NE(info.find(line), std::string::npos) << "no \"" << line << "\" in\n" << info;
        }
        EXPECT_EQ(info.find("Error"), std::string::npos) << info;
        EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
    }
}

// ---- Round trips ----

void expect_same_movie(const std::string& original_path, const std::string& copy_path, bool exact_audio_end)
{
    reference_movie original;
    reference_movie copy;
    ASSERT_TRUE(read_reference_movie(original_path, &original));
    ASSERT_TRUE(read_reference_movie(copy_path, &copy));
    EXPECT_EQ(copy.header.width, original.header.width);
    EXPECT_EQ(copy.header.height, original.header.height);
    EXPECT_EQ(copy.header.frame_rate_numerator, original.header.frame_rate_numerator);
    EXPECT_EQ(copy.header.frame_rate_denominator, original.header.frame_rate_denominator);
    ASSERT_EQ(copy.packets.size(), original.packets.size());
    for (size_t i = 0; i < copy.packets.size(); ++i) {
        EXPECT_EQ(copy.packets[i].timestamp, original.packets[i].timestamp) << "packet " << i;
        EXPECT_EQ(copy.packets[i].flags, original.packets[i].flags) << "packet " << i;
        EXPECT_EQ(copy.packets[i].payload, original.packets[i].payload) << "packet " << i;
    }
    ASSERT_EQ(copy.audio_tracks.size(), original.audio_tracks.size());
    for (size_t t = 0; t < copy.audio_tracks.size(); ++t) {
        SCOPED_TRACE("audio track " + std::to_string(t));
        EXPECT_STREQ(copy.audio_tracks[t].name, original.audio_tracks[t].name);
        EXPECT_EQ(copy.audio_tracks[t].audio.channels, original.audio_tracks[t].audio.channels);
        EXPECT_EQ(copy.audio_tracks[t].audio.sample_rate, original.audio_tracks[t].audio.sample_rate);
        const std::vector<ogg_packet_record> a = ogg_packets(track_ogg(original, original_path, t));
        const std::vector<ogg_packet_record> b = ogg_packets(track_ogg(copy, copy_path, t));
        ASSERT_EQ(b.size(), a.size());
        for (size_t p = 0; p < a.size(); ++p) {
            EXPECT_EQ(b[p].data, a[p].data) << "packet " << p;
            if (p + 1 < a.size() || exact_audio_end) {
                EXPECT_EQ(b[p].granule, a[p].granule) << "packet " << p;
            }
        }
    }
}

TEST_F(remux, round_trip_through_webm_gives_the_movie_back)
{
    for (const char* name : {"video_64x48", "video_65x49", "keyint10s", "ntsc", "mono", "stereo", "six_channel",
                             "two_audio"}) {
        SCOPED_TRACE(name);
        const std::string original = test_movie(name);
        const std::string webm = dir.path("movie.webm");
        const std::string copy = dir.path("movie.zrn");
        zrn_run run = run_zrn({"remux", original, webm});
        ASSERT_EQ(run.status, 0) << run.err;
        run = run_zrn({"remux", webm, copy});
        ASSERT_EQ(run.status, 0) << run.err;
        expect_same_movie(original, copy, true);
        // The duration too, and with it every byte: the writer and the Ogg
        // paging are the ones the movie was made with.
        EXPECT_EQ(read_file(copy), read_file(original));
    }
}

TEST_F(remux, round_trip_decodes_to_the_same_samples)
{
    const std::string webm = dir.path("movie.webm");
    const std::string copy = dir.path("movie.zrn");
    ASSERT_EQ(run_zrn({"remux", test_movie("two_audio"), webm}).status, 0);
    ASSERT_EQ(run_zrn({"remux", webm, copy}).status, 0);
    for (int track = 0; track < 2; ++track) {
        SCOPED_TRACE(track);
        const std::string ogg = dir.path("track.ogg");
        ASSERT_EQ(run_zrn({"extract", copy, "--audio", ogg, "--audio-track", std::to_string(track)}).status, 0);
        int channels[2] = {0, 0};
        int rates[2] = {0, 0};
        std::vector<int16_t> samples[2];
        ASSERT_TRUE(tremor_decode(test_movie_ogg("two_audio", track), &channels[0], &rates[0], &samples[0]));
        ASSERT_TRUE(tremor_decode(ogg, &channels[1], &rates[1], &samples[1]));
        EXPECT_EQ(channels[1], channels[0]);
        EXPECT_EQ(rates[1], rates[0]);
        EXPECT_EQ(samples[1].size(), samples[0].size());
        EXPECT_TRUE(samples[1] == samples[0]);
    }
}

// A WebM file made by another muxer (mkvmerge, from the streams zrn extract
// gives) comes in with the same frames, timestamps, rate and packets.
TEST_F(remux, webm_from_another_muxer_becomes_the_same_movie)
{
    if (!program_exists("mkvmerge")) {
        GTEST_SKIP() << "mkvmerge (mkvtoolnix) is not installed";
    }
    for (const char* name : {"stereo", "ntsc"}) {
        SCOPED_TRACE(name);
        const std::string original = test_movie(name);
        const bool audio = std::string(name) == "stereo";
        const std::string ivf = dir.path("video.ivf");
        const std::string ogg = dir.path("audio.ogg");
        std::vector<std::string> extract = {"extract", original, "--video", ivf};
        if (audio) {
            extract.insert(extract.end(), {"--audio", ogg});
        }
        ASSERT_EQ(run_zrn(extract).status, 0);
        const std::string webm = dir.path("muxed.webm");
        std::string output;
        ASSERT_EQ(run_shell("mkvmerge -q --webm -o '" + webm + "' '" + ivf + "'" + (audio ? " '" + ogg + "'" : ""),
                            &output),
                  0)
            << output;
        const std::string copy = dir.path("movie.zrn");
        const zrn_run run = run_zrn({"remux", webm, copy});
        ASSERT_EQ(run.status, 0) << run.err;
        // mkvmerge keeps no record of the samples the last packet decodes
        // past the end, so the last granule position is left out.
        expect_same_movie(original, copy, false);
    }
}

// ---- Broken and foreign inputs ----

TEST_F(remux, cut_short_webm_is_refused)
{
    const std::string whole = dir.path("whole.webm");
    ASSERT_EQ(run_zrn({"remux", test_movie("two_audio"), whole}).status, 0);
    const std::string data = read_file(whole);
    for (size_t size : {size_t{0}, size_t{3}, size_t{40}, size_t{300}, data.size() / 2, data.size() - 1}) {
        SCOPED_TRACE(size);
        const std::string cut = dir.path("cut.webm");
        write_file(cut, data.substr(0, size));
        const zrn_run run = run_zrn({"remux", cut, dir.path("out.zrn")});
        expect_one_line_failure(run, cut);
        EXPECT_NE(run.err.find(size == 0 ? "not a WebM file" : "cut short"), std::string::npos) << run.err;
        EXPECT_FALSE(std::ifstream(dir.path("out.zrn")).good()) << "a half-written movie was left behind";
    }
}

TEST_F(remux, foreign_webm_tracks_are_refused)
{
    webm_track vp9 = vp8_track();
    vp9.codec_id = "V_VP9";
    webm_track opus;
    opus.number = 2;
    opus.type = WEBM_TRACK_TYPE_AUDIO;
    opus.codec_id = "A_OPUS";
    opus.sampling_frequency = 48000;
    opus.channels = 2;
    webm_track subtitles;
    subtitles.number = 2;
    subtitles.type = 0x11;
    subtitles.codec_id = "S_TEXT/WEBVTT";
    webm_track bad_vorbis = opus;
    bad_vorbis.codec_id = "A_VORBIS";
    bad_vorbis.codec_private = {2, 1, 1, 'x', 'y', 'z'};
    const struct {
        const char* name;
        std::vector<webm_track> tracks;
        const char* reason;
    } cases[] = {
        {"vp9 video", {vp9}, "V_VP9 video; a movie holds VP8 video only"},
        {"opus audio", {vp8_track(), opus}, "A_OPUS audio; a movie holds Vorbis audio only"},
        {"subtitles", {vp8_track(), subtitles}, "neither video nor audio"},
        {"no video", {opus}, "A_OPUS"},
        {"vorbis without vorbis headers", {vp8_track(), bad_vorbis}, "not a Vorbis stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir.path("foreign.webm");
        ASSERT_TRUE(write_webm(in, c.tracks));
        ASSERT_TRUE(parse_webm(in).status.completed_ok());  // a well-formed file of its kind
        const zrn_run run = run_zrn({"remux", in, dir.path("out.zrn")});
        expect_one_line_failure(run, in);
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    }
}

TEST_F(remux, audio_that_is_not_ogg_vorbis_is_refused)
{
    const bytes opus_head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0x38, 1, 0x80, 0xBB, 0, 0, 0, 0, 0};
    const bytes opus_tags = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 0, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        const char* name;
        bytes data;
        const char* reason;
    } cases[] = {
        {"ogg opus", ogg_stream_of({opus_head, opus_tags, {0xFC, 0xFF, 0xFE}}), "not a Vorbis stream"},
        {"not ogg", bytes(500, 0x5A), "Ogg"},
        {"empty", {}, "not an Ogg stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zarn_writer_movie movie = small_movie();
        zarn_writer_audio_track track;
        track.name = "Audio 1";
        track.channels = 2;
        track.sample_rate = 48000;
        track.ogg_data = c.data;
        movie.audio_tracks.push_back(track);
        const std::string in = dir.path("foreign_audio.zrn");
        if (c.data.empty()) {
            // The writer cannot make an empty track: put its header in by hand.
            ASSERT_TRUE(write_movie(in, small_movie(), {0, 400000, 800000}));
            std::string file = read_file(in);
            zarn_track_header header{};
            header.type = ZARN_TRACK_TYPE_AUDIO;
            strcpy(header.name, "Audio 1");
            header.audio.channels = 2;
            header.audio.sample_rate = 48000;
            file.insert(sizeof(zarn_header), reinterpret_cast<const char*>(&header), sizeof(header));
            const int32_t count = 1;
            file.replace(offsetof(zarn_header, audio_track_count), sizeof(count),
                         reinterpret_cast<const char*>(&count), sizeof(count));
            write_file(in, file);
        } else {
            ASSERT_TRUE(write_movie(in, movie, {0, 400000, 800000}));
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"remux", in, dir.path("out.webm")},
              std::vector<std::string>{"extract", in, "--audio", dir.path("out.ogg")}}) {
            SCOPED_TRACE(args[0]);
            const zrn_run run = run_zrn(args);
            expect_one_line_failure(run, in);
            EXPECT_NE(run.err.find("audio track 0: "), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        }
    }
}

TEST_F(remux, command_line_mistakes_are_usage_errors)
{
    const std::string movie = test_movie("video_64x48");
    const std::vector<std::vector<std::string>> cases = {
        {"remux", movie},
        {"remux", movie, dir.path("out.mkv")},
        {"remux", movie, dir.path("out.zrn")},
        {"extract", movie},
        {"extract", movie, "--video", dir.path("v.ivf"), "--audio-track", "0"},
        {"extract", movie, "--audio", dir.path("a.ogg"), "--audio-track", "-1"},
    };
    for (const std::vector<std::string>& args : cases) {
        SCOPED_TRACE(args.back());
        const zrn_run run = run_zrn(args);
        EXPECT_EQ(run.status, 2) << run.err;
    }
    // A track the movie lacks is the movie's failing, not the command line's.
    expect_one_line_failure(run_zrn({"extract", movie, "--audio", dir.path("a.ogg")}), movie);
}

}  // namespace
