// zrn remux: moves a movie's streams between .zrn and WebM without decoding
// them, in the direction the file names give.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "commands/cli.h"
#include "commands/commands.h"
#include "commands/movie_packets.h"
#include "formats/ogg_vorbis.h"
#include "formats/webm.h"
#include "writer/zarn_writer.h"

namespace {

const cli_command_syntax syntax = {
    "remux",
    "IN OUT",
    "Moves a movie's VP8 video and Vorbis audio between a .zrn movie and a WebM\n"
    "file, in the direction the names' extensions give (.zrn to .webm or .webm to\n"
    ".zrn). Nothing is decoded or encoded again: the frames and packets stay as\n"
    "they are. A WebM file gets one VP8 track and one Vorbis track per audio\n"
    "track, a cluster at every key frame, cues on the key frames and the duration.\n"
    "From WebM, the one VP8 track and every Vorbis track are taken; a track of any\n"
    "other codec is refused. The frame rate comes from the video track's default\n"
    "duration, or else from the frames' timestamps; timestamps that lie on the\n"
    "frame rate's grid (within the file's millisecond precision) are put back on\n"
    "it exactly.\n",
    {},
    2,
    2,
    {"zrn remux movie.zrn movie.webm", "zrn remux movie.webm movie.zrn"},
};

constexpr int64_t NS_PER_SECOND = 1000000000;
constexpr int64_t NS_PER_UNIT = NS_PER_SECOND / ZARN_TIME_UNITS_PER_SECOND;  // 100

bool has_extension(const std::string& path, const char* extension)
{
    const std::string ext = extension;
    if (path.size() <= ext.size()) {
        return false;
    }
    std::string tail = path.substr(path.size() - ext.size());
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return tail == ext;
}

// a * b / c rounded to nearest, for non-negative values.
int64_t scale_rounded(int64_t a, int64_t b, int64_t c)
{
    const __int128 product = static_cast<__int128>(a) * b;
    return static_cast<int64_t>((product + c / 2) / c);
}

// ---- .zrn to WebM ----

struct audio_source {
    vorbis_stream stream;
    uint64_t track_number = 0;
    size_t next = 0;  // next packet to store

    // A packet's time is where its samples begin: the previous packet's
    // granule (the first two packets both begin at the stream's start).
    int64_t packet_time(size_t index) const
    {
        const int64_t samples = index == 0 ? stream.packets[0].granule : stream.packets[index - 1].granule;
        return scale_rounded(samples, NS_PER_SECOND, stream.setup.sample_rate);
    }
};

int zrn_to_webm(const std::string& in_path, const std::string& out_path)
{
    cli_movie movie;
    int status = cli_movie_open(&movie, in_path);
    if (status != ZRN_EXIT_OK) {
        cli_movie_close(&movie);
        return status;
    }
    const zarn_header& header = movie.decoder.header;
    std::string reason;
    std::vector<webm_track> tracks;
    webm_track video;
    video.number = 1;
    video.type = WEBM_TRACK_TYPE_VIDEO;
    video.codec_id = "V_VP8";
    video.name = std::string(movie.decoder.video_track_headers[0].name,
                             strnlen(movie.decoder.video_track_headers[0].name, 64));
    video.default_duration = static_cast<uint64_t>(
        scale_rounded(NS_PER_SECOND, header.frame_rate_denominator, header.frame_rate_numerator));
    video.width = static_cast<uint64_t>(header.width);
    video.height = static_cast<uint64_t>(header.height);
    tracks.push_back(video);

    std::vector<audio_source> audio(static_cast<size_t>(header.audio_track_count));
    for (int32_t i = 0; i < header.audio_track_count; ++i) {
        const zarn_track_header& track_header = movie.decoder.audio_track_headers[i];
        const std::string what = "audio track " + std::to_string(i) + ": ";
        std::vector<uint8_t> data;
        if (!movie_read_audio(&movie, i, &data, &reason) ||
            !ogg_vorbis_read(data.data(), data.size(), &audio[i].stream, &reason)) {
            cli_movie_close(&movie);
            return cli_fail(in_path, what + reason);
        }
        const vorbis_setup& setup = audio[i].stream.setup;
        if (setup.channels != track_header.audio.channels || setup.sample_rate != track_header.audio.sample_rate) {
            cli_movie_close(&movie);
            return cli_fail(in_path, what + "its header's channels or sample rate differ from its stream");
        }
        webm_track track;
        track.number = static_cast<uint64_t>(i) + 2;
        track.type = WEBM_TRACK_TYPE_AUDIO;
        track.codec_id = "A_VORBIS";
        track.name = std::string(track_header.name, strnlen(track_header.name, 64));
        track.codec_private = vorbis_pack_headers(audio[i].stream.headers);
        track.sampling_frequency = setup.sample_rate;
        track.channels = static_cast<uint64_t>(setup.channels);
        tracks.push_back(track);
        audio[i].track_number = track.number;
    }

    std::string error;
    webm_writer writer;
    bool written = false;
    if (!webm_begin(&writer, out_path.c_str(), tracks, &error)) {
        status = cli_fail(out_path, error);
    } else if (!movie_rewind_packets(&movie, &reason)) {
        status = cli_fail(in_path, reason);
    } else {
        // Audio packets go in front of the video frame they precede, so the
        // streams are interleaved by time; at equal times the video frame
        // comes first and opens its cluster.
        auto store_audio_before = [&](int64_t limit, bool all) {
            for (;;) {
                audio_source* earliest = nullptr;
                for (audio_source& source : audio) {
                    if (source.next < source.stream.packets.size() &&
                        (earliest == nullptr ||
                         source.packet_time(source.next) < earliest->packet_time(earliest->next))) {
                        earliest = &source;
                    }
                }
                if (earliest == nullptr || (!all && earliest->packet_time(earliest->next) >= limit)) {
                    return true;
                }
                const size_t index = earliest->next++;
                const vorbis_packet& packet = earliest->stream.packets[index];
                const bool last = index + 1 == earliest->stream.packets.size();
                const int64_t padding = last ? scale_rounded(earliest->stream.end_trim, NS_PER_SECOND,
                                                             earliest->stream.setup.sample_rate)
                                             : 0;
                if (!webm_add_frame(&writer, earliest->track_number, earliest->packet_time(index), true,
                                    packet.data.data(), packet.data.size(), padding, &error)) {
                    return false;
                }
            }
        };
        movie_packet packet;
        for (;;) {
            const movie_read_result got = movie_next_packet(&movie, &packet, true, &reason);
            if (got == movie_read_result::failed) {
                status = cli_fail(in_path, reason);
                break;
            }
            if (got == movie_read_result::end) {
                if (!store_audio_before(0, true)) {
                    status = cli_fail(out_path, error);
                }
                break;
            }
            if (packet.timestamp < 0) {
                status = cli_fail(in_path, "a video packet's timestamp is negative");
                break;
            }
            const int64_t time = packet.timestamp * NS_PER_UNIT;
            if (!store_audio_before(time, false) ||
                !webm_add_frame(&writer, 1, time, packet.key_frame, packet.payload.data(), packet.payload.size(),
                                0, &error)) {
                status = cli_fail(out_path, error);
                break;
            }
        }
        if (status == ZRN_EXIT_OK) {
            if (webm_finish(&writer, std::max<int64_t>(header.duration, 0) * NS_PER_UNIT, &error)) {
                written = true;
            } else {
                status = cli_fail(out_path, error);
            }
        }
    }
    if (!written) {
        webm_abandon(&writer);
        unlink(out_path.c_str());
    }
    cli_movie_close(&movie);
    return status;
}

// ---- WebM to .zrn ----

struct rational {
    int64_t numerator = 0;
    int64_t denominator = 1;
};

// Whether every timestamp (ns) lies within `tolerance` of a whole frame of
// `rate`, at strictly increasing frame numbers; if so, those numbers.
bool fits_grid(const std::vector<int64_t>& times, rational rate, int64_t tolerance, std::vector<int64_t>* frames)
{
    frames->clear();
    for (int64_t time : times) {
        // frame = time * rate / 10^9, rounded
        const __int128 scaled = static_cast<__int128>(time) * rate.numerator;
        const __int128 unit = static_cast<__int128>(NS_PER_SECOND) * rate.denominator;
        const int64_t frame = static_cast<int64_t>((scaled + unit / 2) / unit);
        const __int128 frame_time = static_cast<__int128>(frame) * unit / rate.numerator;
        const __int128 distance = frame_time > time ? frame_time - time : time - frame_time;
        if (distance >= tolerance || (!frames->empty() && frame <= frames->back())) {
            return false;
        }
        frames->push_back(frame);
    }
    return true;
}

// The frame rate of frames `period` ns apart, known to within `tolerance`
// ns: a whole number of frames per second, or one of the NTSC-style rates
// (N*1000/1001), when one fits; else the rate in thousandths.
rational rate_of_period(double period, double tolerance)
{
    for (int64_t denominator : {int64_t{1}, int64_t{1001}}) {
        const int64_t step = denominator == 1 ? 1 : 1000;
        const int64_t numerator =
            std::llround(static_cast<double>(NS_PER_SECOND) * static_cast<double>(denominator) / period / step) * step;
        if (numerator > 0 && numerator <= INT32_MAX &&
            std::fabs(static_cast<double>(NS_PER_SECOND) * static_cast<double>(denominator) / numerator - period) <=
                tolerance) {
            return {numerator, denominator};
        }
    }
    const int64_t thousandths = std::llround(static_cast<double>(NS_PER_SECOND) * 1000.0 / period);
    return {std::clamp<int64_t>(thousandths, 1, INT32_MAX), 1000};
}

int webm_to_zrn(const std::string& in_path, const std::string& out_path)
{
    webm_file file;
    std::string error;
    if (!webm_read(in_path.c_str(), &file, &error)) {
        return cli_fail(in_path, error);
    }
    const webm_track* video = nullptr;
    std::vector<const webm_track*> audio;
    for (const webm_track& track : file.tracks) {
        const std::string what = "track " + std::to_string(track.number);
        if (track.type == WEBM_TRACK_TYPE_VIDEO) {
            if (track.codec_id != "V_VP8") {
                const std::string codec =
                    track.codec_id.empty() ? "video without a codec ID" : track.codec_id + " video";
                return cli_fail(in_path, what + " is " + codec + "; a movie holds VP8 video only");
            }
            if (video != nullptr) {
                return cli_fail(in_path, "more than one video track; a movie holds one");
            }
            video = &track;
        } else if (track.type == WEBM_TRACK_TYPE_AUDIO) {
            if (track.codec_id != "A_VORBIS") {
                const std::string codec =
                    track.codec_id.empty() ? "audio without a codec ID" : track.codec_id + " audio";
                return cli_fail(in_path, what + " is " + codec + "; a movie holds Vorbis audio only");
            }
            audio.push_back(&track);
        } else {
            return cli_fail(in_path, what + " is neither video nor audio (" + track.codec_id +
                                         "); a movie holds VP8 video and Vorbis audio only");
        }
        if (track.encoded) {
            return cli_fail(in_path, what + " is compressed or encrypted, which a movie cannot hold");
        }
    }
    if (video == nullptr) {
        return cli_fail(in_path, "no video track; a movie needs one VP8 track");
    }
    if (video->width < 1 || video->height < 1 || video->width > 16383 || video->height > 16383) {
        return cli_fail(in_path, "the video track's picture size is missing or out of range");
    }
    if (file.timecode_scale == 0) {
        return cli_fail(in_path, "damaged WebM file: its timecode scale is 0");
    }

    // The video frames, in stream order.
    std::vector<const webm_frame*> frames;
    std::vector<int64_t> times;
    for (const webm_frame& frame : file.frames) {
        if (frame.track != video->number) {
            continue;
        }
        if (frame.laced) {
            return cli_fail(in_path, "the video frames are laced, which is not supported");
        }
        if (frame.size > UINT32_MAX) {
            return cli_fail(in_path, "a video frame is too large");
        }
        if (!times.empty() && frame.timestamp <= times.back()) {
            return cli_fail(in_path, "the video frames' timestamps don't increase");
        }
        if (frame.timestamp < 0) {
            return cli_fail(in_path, "a video frame lies before the start of the file");
        }
        frames.push_back(&frame);
        times.push_back(frame.timestamp);
    }
    if (frames.empty()) {
        return cli_fail(in_path, "the video track has no frames");
    }
    if (!frames[0]->key_frame) {
        return cli_fail(in_path, "the video doesn't start with a key frame");
    }

    // The frame rate, and the timestamps back on its grid when they lie on it.
    const int64_t precision = static_cast<int64_t>(std::min<uint64_t>(file.timecode_scale, NS_PER_SECOND));
    rational rate;
    if (video->default_duration != 0) {
        rate = rate_of_period(static_cast<double>(video->default_duration), 1.0);
    } else if (times.size() > 1) {
        const double span = static_cast<double>(times.back() - times.front());
        const double count = static_cast<double>(times.size() - 1);
        rate = rate_of_period(span / count, static_cast<double>(precision) / count);
    } else {
        rate = {1, 1};
    }
    std::vector<int64_t> grid;
    const bool on_grid = fits_grid(times, rate, precision, &grid);

    zarn_writer_movie movie;
    movie.width = static_cast<int32_t>(video->width);
    movie.height = static_cast<int32_t>(video->height);
    movie.frame_rate_numerator = static_cast<int32_t>(rate.numerator);
    movie.frame_rate_denominator = static_cast<int32_t>(rate.denominator);
    movie.video_name = video->name.empty() ? "Video" : video->name;

    FILE* in = fopen(in_path.c_str(), "rb");
    if (in == nullptr) {
        return cli_fail(in_path, "can't open the file again");
    }
    for (size_t n = 0; n < audio.size(); ++n) {
        const webm_track& track = *audio[n];
        const std::string what = "track " + std::to_string(track.number) + ": ";
        vorbis_stream stream;
        if (!vorbis_unpack_headers(track.codec_private.data(), track.codec_private.size(), stream.headers,
                                   &error) ||
            !vorbis_parse_headers(stream.headers[0], stream.headers[2], &stream.setup, &error)) {
            fclose(in);
            return cli_fail(in_path, what + error);
        }
        bool first = true;
        int64_t start = 0;
        uint64_t total = 0;
        for (const webm_frame& frame : file.frames) {
            if (frame.track != track.number) {
                continue;
            }
            total += frame.size;
            if (total > UINT32_MAX) {
                fclose(in);
                return cli_fail(in_path, what + "too much audio for a movie's track (4 GiB at most)");
            }
            vorbis_packet packet;
            if (!webm_read_frame_data(in, frame, &packet.data, &error)) {
                fclose(in);
                return cli_fail(in_path, what + error);
            }
            if (vorbis_packet_block_size(stream.setup, packet.data.data(), packet.data.size()) < 0) {
                fclose(in);
                return cli_fail(in_path, what + "a packet is not a Vorbis audio packet of this track");
            }
            if (first) {
                start = frame.timestamp > 0
                    ? scale_rounded(frame.timestamp, stream.setup.sample_rate, NS_PER_SECOND)
                    : 0;
                first = false;
            }
            stream.end_trim = frame.discard_padding > 0
                ? scale_rounded(frame.discard_padding, stream.setup.sample_rate, NS_PER_SECOND)
                : 0;
            stream.packets.push_back(std::move(packet));
        }
        vorbis_compute_granules(&stream, start);
        zarn_writer_audio_track out_track;
        out_track.name = track.name.empty() ? "Audio " + std::to_string(n + 1) : track.name;
        out_track.channels = stream.setup.channels;
        out_track.sample_rate = stream.setup.sample_rate;
        if (!ogg_vorbis_build(stream, &out_track.ogg_data, &error)) {
            fclose(in);
            return cli_fail(in_path, what + error);
        }
        if (out_track.ogg_data.size() > UINT32_MAX) {
            fclose(in);
            return cli_fail(in_path, what + "too much audio for a movie's track (4 GiB at most)");
        }
        movie.audio_tracks.push_back(std::move(out_track));
    }

    int status = ZRN_EXIT_OK;
    zarn_writer writer;
    if (!zarn_writer_begin(&writer, out_path.c_str(), movie)) {
        status = cli_fail(out_path, "can't write the movie");
    }
    std::vector<uint8_t> data;
    int64_t last = 0;
    for (size_t i = 0; i < frames.size() && status == ZRN_EXIT_OK; ++i) {
        if (!webm_read_frame_data(in, *frames[i], &data, &error)) {
            status = cli_fail(in_path, error);
            break;
        }
        last = on_grid ? static_cast<int64_t>(static_cast<__int128>(grid[i]) * ZARN_TIME_UNITS_PER_SECOND *
                                              rate.denominator / rate.numerator)
                       : (times[i] + NS_PER_UNIT / 2) / NS_PER_UNIT;
        if (!zarn_writer_add_packet(&writer, last, frames[i]->key_frame, data.data(),
                                    static_cast<uint32_t>(data.size()))) {
            status = cli_fail(out_path, "can't write the movie");
        }
    }
    fclose(in);
    if (status == ZRN_EXIT_OK) {
        // The file's own duration, unless it ends before the last frame has
        // been shown for a frame period.
        int64_t duration = -1;
        const int64_t shown_until =
            last + ZARN_TIME_UNITS_PER_SECOND * movie.frame_rate_denominator / movie.frame_rate_numerator;
        if (file.duration >= 0) {
            const double units = file.duration * static_cast<double>(file.timecode_scale) / NS_PER_UNIT;
            if (units < 9.0e18 && std::llround(units) >= shown_until) {
                duration = std::llround(units);
            }
        }
        if (!zarn_writer_finish(&writer, duration)) {
            status = cli_fail(out_path, "can't write the movie");
        }
    }
    if (status != ZRN_EXIT_OK) {
        zarn_writer_abandon(&writer);
        unlink(out_path.c_str());
    }
    return status;
}

}  // namespace

int zrn_remux(int argc, char** argv)
{
    cli_args args;
    const int parsed = cli_parse(syntax, argc, argv, &args);
    if (parsed >= 0) {
        return parsed;
    }
    const std::string& in = args.operands[0];
    const std::string& out = args.operands[1];
    if (has_extension(in, ".zrn") && has_extension(out, ".webm")) {
        return zrn_to_webm(in, out);
    }
    if (has_extension(in, ".webm") && has_extension(out, ".zrn")) {
        return webm_to_zrn(in, out);
    }
    return cli_usage_error(syntax, "can't tell the direction: give a .zrn and a .webm file, in either order");
}
