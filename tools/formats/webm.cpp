#include "formats/webm.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <webm/callback.h>
#include <webm/file_reader.h>
#include <webm/status.h>
#include <webm/webm_parser.h>

namespace {

bool fail(std::string* error, const std::string& reason)
{
    *error = reason;
    return false;
}

// ---- EBML encoding ----

using bytes = std::vector<uint8_t>;

constexpr uint32_t ID_EBML = 0x1A45DFA3;
constexpr uint32_t ID_EBML_VERSION = 0x4286;
constexpr uint32_t ID_EBML_READ_VERSION = 0x42F7;
constexpr uint32_t ID_EBML_MAX_ID_LENGTH = 0x42F2;
constexpr uint32_t ID_EBML_MAX_SIZE_LENGTH = 0x42F3;
constexpr uint32_t ID_DOC_TYPE = 0x4282;
constexpr uint32_t ID_DOC_TYPE_VERSION = 0x4287;
constexpr uint32_t ID_DOC_TYPE_READ_VERSION = 0x4285;
constexpr uint32_t ID_SEGMENT = 0x18538067;
constexpr uint32_t ID_SEEK_HEAD = 0x114D9B74;
constexpr uint32_t ID_SEEK = 0x4DBB;
constexpr uint32_t ID_SEEK_ID = 0x53AB;
constexpr uint32_t ID_SEEK_POSITION = 0x53AC;
constexpr uint32_t ID_INFO = 0x1549A966;
constexpr uint32_t ID_TIMECODE_SCALE = 0x2AD7B1;
constexpr uint32_t ID_DURATION = 0x4489;
constexpr uint32_t ID_MUXING_APP = 0x4D80;
constexpr uint32_t ID_WRITING_APP = 0x5741;
constexpr uint32_t ID_TRACKS = 0x1654AE6B;
constexpr uint32_t ID_TRACK_ENTRY = 0xAE;
constexpr uint32_t ID_TRACK_NUMBER = 0xD7;
constexpr uint32_t ID_TRACK_UID = 0x73C5;
constexpr uint32_t ID_TRACK_TYPE = 0x83;
constexpr uint32_t ID_FLAG_LACING = 0x9C;
constexpr uint32_t ID_DEFAULT_DURATION = 0x23E383;
constexpr uint32_t ID_NAME = 0x536E;
constexpr uint32_t ID_CODEC_ID = 0x86;
constexpr uint32_t ID_CODEC_PRIVATE = 0x63A2;
constexpr uint32_t ID_VIDEO = 0xE0;
constexpr uint32_t ID_PIXEL_WIDTH = 0xB0;
constexpr uint32_t ID_PIXEL_HEIGHT = 0xBA;
constexpr uint32_t ID_AUDIO = 0xE1;
constexpr uint32_t ID_SAMPLING_FREQUENCY = 0xB5;
constexpr uint32_t ID_CHANNELS = 0x9F;
constexpr uint32_t ID_CLUSTER = 0x1F43B675;
constexpr uint32_t ID_TIMECODE = 0xE7;
constexpr uint32_t ID_SIMPLE_BLOCK = 0xA3;
constexpr uint32_t ID_BLOCK_GROUP = 0xA0;
constexpr uint32_t ID_BLOCK = 0xA1;
constexpr uint32_t ID_DISCARD_PADDING = 0x75A2;
constexpr uint32_t ID_CUES = 0x1C53BB6B;
constexpr uint32_t ID_CUE_POINT = 0xBB;
constexpr uint32_t ID_CUE_TIME = 0xB3;
constexpr uint32_t ID_CUE_TRACK_POSITIONS = 0xB7;
constexpr uint32_t ID_CUE_TRACK = 0xF7;
constexpr uint32_t ID_CUE_CLUSTER_POSITION = 0xF1;

constexpr uint64_t TIMECODE_SCALE = 1000000;  // 1 ms

void put_id(bytes* out, uint32_t id)
{
    int length = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    for (int i = length - 1; i >= 0; --i) {
        out->push_back(static_cast<uint8_t>(id >> (8 * i)));
    }
}

// An element size as an EBML variable-length integer of `length` bytes
// (0: the shortest that holds it).
void put_size(bytes* out, uint64_t size, int length = 0)
{
    if (length == 0) {
        length = 1;
        while (length < 8 && size >= (uint64_t{1} << (7 * length)) - 1) {
            length += 1;
        }
    }
    const uint64_t marked = size | (uint64_t{1} << (7 * length));
    for (int i = length - 1; i >= 0; --i) {
        out->push_back(static_cast<uint8_t>(marked >> (8 * i)));
    }
}

void put_binary(bytes* out, uint32_t id, const uint8_t* data, size_t size)
{
    put_id(out, id);
    put_size(out, size);
    out->insert(out->end(), data, data + size);
}

void put_master(bytes* out, uint32_t id, const bytes& children)
{
    put_binary(out, id, children.data(), children.size());
}

void put_string(bytes* out, uint32_t id, const std::string& text)
{
    put_binary(out, id, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// An unsigned integer in the fewest bytes, or exactly `length` bytes.
void put_uint(bytes* out, uint32_t id, uint64_t value, int length = 0)
{
    if (length == 0) {
        length = 1;
        while (length < 8 && (value >> (8 * length)) != 0) {
            length += 1;
        }
    }
    put_id(out, id);
    put_size(out, static_cast<uint64_t>(length));
    for (int i = length - 1; i >= 0; --i) {
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void put_int(bytes* out, uint32_t id, int64_t value)
{
    int length = 1;
    while (length < 8 && (value < -(int64_t{1} << (8 * length - 1)) || value >= (int64_t{1} << (8 * length - 1)))) {
        length += 1;
    }
    put_id(out, id);
    put_size(out, static_cast<uint64_t>(length));
    for (int i = length - 1; i >= 0; --i) {
        out->push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
    }
}

void put_float(bytes* out, uint32_t id, double value)
{
    uint64_t bits = 0;
    memcpy(&bits, &value, sizeof(bits));
    put_id(out, id);
    put_size(out, 8);
    for (int i = 7; i >= 0; --i) {
        out->push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
}

bool write_at(FILE* file, int64_t position, const bytes& data)
{
    return fseeko(file, position, SEEK_SET) == 0 && (data.empty() || fwrite(data.data(), data.size(), 1, file) == 1);
}

int64_t timecode_of(int64_t ns)
{
    const int64_t scale = static_cast<int64_t>(TIMECODE_SCALE);
    return ns >= 0 ? (ns + scale / 2) / scale : -((-ns + scale / 2) / scale);
}

// The SeekHead with fixed-size positions, so that it keeps its size when it
// is written again at the end with the real ones.
bytes seek_head(int64_t info, int64_t tracks, int64_t cues)
{
    const std::pair<uint32_t, int64_t> entries[] = {{ID_INFO, info}, {ID_TRACKS, tracks}, {ID_CUES, cues}};
    bytes children;
    for (const auto& [id, position] : entries) {
        bytes seek;
        bytes id_bytes;
        put_id(&id_bytes, id);
        put_binary(&seek, ID_SEEK_ID, id_bytes.data(), id_bytes.size());
        put_uint(&seek, ID_SEEK_POSITION, static_cast<uint64_t>(position), 8);
        put_master(&children, ID_SEEK, seek);
    }
    bytes out;
    put_master(&out, ID_SEEK_HEAD, children);
    return out;
}

bytes info(double duration_timecodes)
{
    bytes children;
    put_uint(&children, ID_TIMECODE_SCALE, TIMECODE_SCALE);
    put_float(&children, ID_DURATION, duration_timecodes);
    put_string(&children, ID_MUXING_APP, "zrn");
    put_string(&children, ID_WRITING_APP, "zrn remux");
    bytes out;
    put_master(&out, ID_INFO, children);
    return out;
}

bytes tracks_element(const std::vector<webm_track>& tracks)
{
    bytes children;
    for (const webm_track& track : tracks) {
        bytes entry;
        put_uint(&entry, ID_TRACK_NUMBER, track.number);
        put_uint(&entry, ID_TRACK_UID, track.number);
        put_uint(&entry, ID_TRACK_TYPE, track.type);
        put_uint(&entry, ID_FLAG_LACING, 0);
        if (track.default_duration != 0) {
            put_uint(&entry, ID_DEFAULT_DURATION, track.default_duration);
        }
        if (!track.name.empty()) {
            put_string(&entry, ID_NAME, track.name);
        }
        put_string(&entry, ID_CODEC_ID, track.codec_id);
        if (!track.codec_private.empty()) {
            put_binary(&entry, ID_CODEC_PRIVATE, track.codec_private.data(), track.codec_private.size());
        }
        bytes details;
        if (track.type == WEBM_TRACK_TYPE_VIDEO) {
            put_uint(&details, ID_PIXEL_WIDTH, track.width);
            put_uint(&details, ID_PIXEL_HEIGHT, track.height);
            put_master(&entry, ID_VIDEO, details);
        } else if (track.type == WEBM_TRACK_TYPE_AUDIO) {
            put_float(&details, ID_SAMPLING_FREQUENCY, track.sampling_frequency);
            put_uint(&details, ID_CHANNELS, track.channels);
            put_master(&entry, ID_AUDIO, details);
        }
        put_master(&children, ID_TRACK_ENTRY, entry);
    }
    bytes out;
    put_master(&out, ID_TRACKS, children);
    return out;
}

bool flush_cluster(webm_writer* writer, std::string* error)
{
    if (!writer->cluster_open) {
        return true;
    }
    bytes out;
    put_master(&out, ID_CLUSTER, writer->cluster);
    writer->cluster.clear();
    writer->cluster_open = false;
    return fwrite(out.data(), out.size(), 1, writer->file) == 1 || fail(error, "can't write the file");
}

}  // namespace

bool webm_begin(webm_writer* writer, const char* path, const std::vector<webm_track>& tracks, std::string* error)
{
    *writer = webm_writer{};
    writer->tracks = tracks;
    writer->file = fopen(path, "wb");
    if (writer->file == nullptr) {
        return fail(error, "can't create the file");
    }
    bytes header_children;
    put_uint(&header_children, ID_EBML_VERSION, 1);
    put_uint(&header_children, ID_EBML_READ_VERSION, 1);
    put_uint(&header_children, ID_EBML_MAX_ID_LENGTH, 4);
    put_uint(&header_children, ID_EBML_MAX_SIZE_LENGTH, 8);
    put_string(&header_children, ID_DOC_TYPE, "webm");
    put_uint(&header_children, ID_DOC_TYPE_VERSION, 4);  // DiscardPadding came with version 4
    put_uint(&header_children, ID_DOC_TYPE_READ_VERSION, 2);
    bytes out;
    put_master(&out, ID_EBML, header_children);
    put_id(&out, ID_SEGMENT);
    writer->segment_size_at = static_cast<int64_t>(out.size());
    put_size(&out, 0, 8);  // written at the end
    writer->segment_data = static_cast<int64_t>(out.size());

    writer->seek_head_at = static_cast<int64_t>(out.size());
    const bytes head = seek_head(0, 0, 0);
    out.insert(out.end(), head.begin(), head.end());
    writer->info_at = static_cast<int64_t>(out.size());
    const bytes info_bytes = info(0);
    out.insert(out.end(), info_bytes.begin(), info_bytes.end());
    writer->tracks_at = static_cast<int64_t>(out.size());
    const bytes tracks_bytes = tracks_element(tracks);
    out.insert(out.end(), tracks_bytes.begin(), tracks_bytes.end());
    return fwrite(out.data(), out.size(), 1, writer->file) == 1 || fail(error, "can't write the file");
}

bool webm_add_frame(webm_writer* writer, uint64_t track, int64_t timestamp, bool key_frame, const uint8_t* data,
                    size_t size, int64_t discard_padding, std::string* error)
{
    if (track == 0 || track > 126) {
        return fail(error, "too many tracks for the WebM file");
    }
    const int64_t time = timecode_of(timestamp);
    const webm_track* entry = nullptr;
    for (const webm_track& candidate : writer->tracks) {
        if (candidate.number == track) {
            entry = &candidate;
        }
    }
    const bool video = entry != nullptr && entry->type == WEBM_TRACK_TYPE_VIDEO;
    // Blocks carry their time as a signed 16-bit offset from their cluster's.
    const bool out_of_reach = writer->cluster_open &&
        (time - writer->cluster_time > std::numeric_limits<int16_t>::max() ||
         time - writer->cluster_time < std::numeric_limits<int16_t>::min());
    if (!writer->cluster_open || (video && key_frame && !writer->cluster.empty()) || out_of_reach) {
        if (!flush_cluster(writer, error)) {
            return false;
        }
        writer->cluster_open = true;
        writer->cluster_time = std::max<int64_t>(time, 0);
        put_uint(&writer->cluster, ID_TIMECODE, static_cast<uint64_t>(writer->cluster_time));
        if (time < 0) {
            return fail(error, "a frame lies before the start of the file");
        }
    }
    if (video && key_frame) {
        const int64_t cluster_at = ftello(writer->file) - writer->segment_data;
        if (writer->cues.empty() || writer->cues.back().time != static_cast<uint64_t>(time)) {
            writer->cues.push_back({static_cast<uint64_t>(time), track, static_cast<uint64_t>(cluster_at)});
        }
    }
    const int16_t relative = static_cast<int16_t>(time - writer->cluster_time);
    bytes block = {static_cast<uint8_t>(0x80 | track), static_cast<uint8_t>(static_cast<uint16_t>(relative) >> 8),
                   static_cast<uint8_t>(relative & 0xFF)};
    if (discard_padding > 0) {
        block.push_back(0);
        block.insert(block.end(), data, data + size);
        bytes group;
        put_binary(&group, ID_BLOCK, block.data(), block.size());
        put_int(&group, ID_DISCARD_PADDING, discard_padding);
        put_master(&writer->cluster, ID_BLOCK_GROUP, group);
    } else {
        block.push_back(key_frame ? 0x80 : 0x00);
        block.insert(block.end(), data, data + size);
        put_binary(&writer->cluster, ID_SIMPLE_BLOCK, block.data(), block.size());
    }
    return true;
}

bool webm_finish(webm_writer* writer, int64_t duration, std::string* error)
{
    bool ok = flush_cluster(writer, error);
    const int64_t cues_at = ftello(writer->file);
    if (ok) {
        bytes children;
        for (const webm_cue& cue : writer->cues) {
            bytes point;
            put_uint(&point, ID_CUE_TIME, cue.time);
            bytes positions;
            put_uint(&positions, ID_CUE_TRACK, cue.track);
            put_uint(&positions, ID_CUE_CLUSTER_POSITION, cue.cluster_position);
            put_master(&point, ID_CUE_TRACK_POSITIONS, positions);
            put_master(&children, ID_CUE_POINT, point);
        }
        bytes cues;
        put_master(&cues, ID_CUES, children);
        ok = fwrite(cues.data(), cues.size(), 1, writer->file) == 1;
    }
    const int64_t end = ftello(writer->file);
    if (ok) {
        bytes size;
        put_size(&size, static_cast<uint64_t>(end - writer->segment_data), 8);
        ok = write_at(writer->file, writer->segment_size_at, size) &&
            write_at(writer->file, writer->seek_head_at,
                     seek_head(writer->info_at - writer->segment_data, writer->tracks_at - writer->segment_data,
                               cues_at - writer->segment_data)) &&
            write_at(writer->file, writer->info_at,
                     info(static_cast<double>(duration) / static_cast<double>(TIMECODE_SCALE)));
    }
    const bool closed = fclose(writer->file) == 0;
    writer->file = nullptr;
    return (ok && closed) || fail(error, "can't write the file");
}

void webm_abandon(webm_writer* writer)
{
    if (writer->file != nullptr) {
        fclose(writer->file);
        writer->file = nullptr;
    }
}

namespace {

// Codes of our own for the parser's callbacks (positive, as libwebm asks).
constexpr int32_t STATUS_TIME_OUT_OF_RANGE = 1;
constexpr int32_t STATUS_NO_CLUSTER_TIME = 2;

// Gathers what webm_read keeps.
class gatherer : public webm::Callback {
public:
    explicit gatherer(webm_file* file) : file_(file) {}

    bool saw_ebml = false;
    bool saw_segment = false;

    webm::Status OnEbml(const webm::ElementMetadata&, const webm::Ebml& ebml) override
    {
        saw_ebml = true;
        file_->doc_type = ebml.doc_type.value();
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnSegmentBegin(const webm::ElementMetadata&, webm::Action* action) override
    {
        saw_segment = true;
        *action = webm::Action::kRead;
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnInfo(const webm::ElementMetadata&, const webm::Info& info) override
    {
        file_->timecode_scale = info.timecode_scale.value();
        file_->duration = info.duration.is_present() ? info.duration.value() : -1;
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnTrackEntry(const webm::ElementMetadata&, const webm::TrackEntry& entry) override
    {
        webm_track track;
        track.number = entry.track_number.value();
        track.type = static_cast<uint64_t>(entry.track_type.value());
        track.codec_id = entry.codec_id.value();
        track.name = entry.name.value();
        track.codec_private = entry.codec_private.value();
        track.default_duration = entry.default_duration.is_present() ? entry.default_duration.value() : 0;
        if (entry.video.is_present()) {
            track.width = entry.video.value().pixel_width.value();
            track.height = entry.video.value().pixel_height.value();
        }
        if (entry.audio.is_present()) {
            track.sampling_frequency = entry.audio.value().sampling_frequency.value();
            track.channels = entry.audio.value().channels.value();
        }
        track.encoded = entry.content_encodings.is_present() && !entry.content_encodings.value().encodings.empty();
        file_->tracks.push_back(track);
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnClusterBegin(const webm::ElementMetadata&, const webm::Cluster& cluster,
                                webm::Action* action) override
    {
        cluster_time_known_ = cluster.timecode.is_present();
        cluster_time_ = cluster.timecode.value();
        *action = webm::Action::kRead;
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnSimpleBlockBegin(const webm::ElementMetadata&, const webm::SimpleBlock& block,
                                    webm::Action* action) override
    {
        *action = webm::Action::kRead;
        return begin_block(block, block.is_key_frame);
    }

    webm::Status OnBlockGroupBegin(const webm::ElementMetadata&, webm::Action* action) override
    {
        group_first_frame_ = file_->frames.size();
        *action = webm::Action::kRead;
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnBlockBegin(const webm::ElementMetadata&, const webm::Block& block, webm::Action* action) override
    {
        *action = webm::Action::kRead;
        return begin_block(block, false);
    }

    webm::Status OnBlockGroupEnd(const webm::ElementMetadata&, const webm::BlockGroup& group) override
    {
        // A Block is a key frame when it refers to no other.
        const bool key_frame = group.references.empty();
        const int64_t padding = group.discard_padding.is_present() ? group.discard_padding.value() : 0;
        for (size_t i = group_first_frame_; i < file_->frames.size(); ++i) {
            file_->frames[i].key_frame = key_frame;
            file_->frames[i].discard_padding = padding;
        }
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm::Status OnFrame(const webm::FrameMetadata& metadata, webm::Reader* reader,
                         std::uint64_t* bytes_remaining) override
    {
        if (*bytes_remaining == metadata.size) {  // not a resumed call
            webm_frame frame = block_;
            frame.position = metadata.position;
            frame.size = metadata.size;
            file_->frames.push_back(frame);
        }
        return Skip(reader, bytes_remaining);
    }

private:
    webm::Status begin_block(const webm::Block& block, bool key_frame)
    {
        if (!cluster_time_known_) {
            return webm::Status(STATUS_NO_CLUSTER_TIME);
        }
        const __int128 timecode = static_cast<__int128>(cluster_time_) + block.timecode;
        const __int128 ns = timecode * static_cast<__int128>(file_->timecode_scale);
        if (ns < std::numeric_limits<int64_t>::min() || ns > std::numeric_limits<int64_t>::max()) {
            return webm::Status(STATUS_TIME_OUT_OF_RANGE);
        }
        block_ = webm_frame{};
        block_.track = block.track_number;
        block_.timestamp = static_cast<int64_t>(ns);
        block_.key_frame = key_frame;
        block_.laced = block.num_frames > 1;
        return webm::Status(webm::Status::kOkCompleted);
    }

    webm_file* file_;
    bool cluster_time_known_ = false;
    uint64_t cluster_time_ = 0;
    webm_frame block_;
    size_t group_first_frame_ = 0;
};

}  // namespace

bool webm_read(const char* path, webm_file* file, std::string* error)
{
    *file = webm_file{};
    FILE* stream = fopen(path, "rb");
    if (stream == nullptr) {
        return fail(error, std::string("can't open the file (") + strerror(errno) + ")");
    }
    webm::FileReader reader(stream);
    webm::WebmParser parser;
    gatherer callback(file);
    webm::Status status = parser.Feed(&callback, &reader);
    // A short read only asks to be fed again; a file gives no more later.
    for (int tries = 0; status.code == webm::Status::kOkPartial && tries < 16; ++tries) {
        status = parser.Feed(&callback, &reader);
    }
    if (status.code == STATUS_NO_CLUSTER_TIME) {
        return fail(error, "damaged WebM file: a cluster has no timecode");
    }
    if (status.code == STATUS_TIME_OUT_OF_RANGE) {
        return fail(error, "damaged WebM file: a block's time is out of range");
    }
    if (status.code == webm::Status::kEndOfFile) {
        return fail(error, "the WebM file is cut short");
    }
    if (!status.completed_ok()) {
        return fail(error, "not a WebM file, or a damaged one (the parser stops with code " +
                               std::to_string(status.code) + ")");
    }
    if (!callback.saw_ebml || (file->doc_type != "webm" && file->doc_type != "matroska")) {
        return fail(error, "not a WebM file");
    }
    if (!callback.saw_segment) {
        return fail(error, "the WebM file has no segment");
    }
    return true;
}

bool webm_read_frame_data(FILE* file, const webm_frame& frame, std::vector<uint8_t>* data, std::string* error)
{
    if (frame.size > static_cast<uint64_t>(std::numeric_limits<uint32_t>::max()) ||
        frame.position > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return fail(error, "a frame is too large");
    }
    data->resize(static_cast<size_t>(frame.size));
    if (fseeko(file, static_cast<off_t>(frame.position), SEEK_SET) != 0 ||
        (frame.size != 0 && fread(data->data(), data->size(), 1, file) != 1)) {
        return fail(error, "can't read a frame (the file changed while being read?)");
    }
    return true;
}
