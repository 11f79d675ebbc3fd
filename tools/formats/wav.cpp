#include "wav.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr uint16_t FORMAT_PCM = 1;
constexpr uint16_t FORMAT_EXTENSIBLE = 0xFFFE;
// The PCM sub-format GUID, KSDATAFORMAT_SUBTYPE_PCM, as stored.
constexpr uint8_t SUBFORMAT_PCM[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint32_t RIFF_LIMIT = 0xFFFFFFFFu;

// wav_from_vorbis[channels][i]: the Vorbis channel that goes to WAV slot i.
constexpr int WAV_FROM_VORBIS[9][8] = {
    {},
    {0},
    {0, 1},
    {0, 2, 1},
    {0, 1, 2, 3},
    {0, 2, 1, 3, 4},
    {0, 2, 1, 5, 3, 4},
    {0, 2, 1, 6, 5, 3, 4},
    {0, 2, 1, 7, 5, 6, 3, 4},
};

bool fail(std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(std::vector<uint8_t>* out, uint32_t v)
{
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>* out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put_tag(std::vector<uint8_t>* out, const char* tag)
{
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<uint8_t>(tag[i]));
    }
}

void reorder(int16_t* samples, int64_t frames, int32_t channels, bool to_wav)
{
    if (channels < 3 || channels > 8) {
        return;
    }
    const int* map = WAV_FROM_VORBIS[channels];
    int16_t frame[8];
    for (int64_t i = 0; i < frames; ++i) {
        int16_t* at = samples + i * channels;
        memcpy(frame, at, sizeof(int16_t) * static_cast<size_t>(channels));
        for (int slot = 0; slot < channels; ++slot) {
            if (to_wav) {
                at[slot] = frame[map[slot]];
            } else {
                at[map[slot]] = frame[slot];
            }
        }
    }
}

// Data bytes of `frames` frames, and the RIFF size for them, clamped to what
// the 32-bit fields can say.
uint32_t data_bytes(int64_t frames, int32_t channels)
{
    const int64_t bytes = frames * channels * 2;
    return bytes > static_cast<int64_t>(RIFF_LIMIT) - 64 ? RIFF_LIMIT - 64 : static_cast<uint32_t>(bytes);
}

std::vector<uint8_t> make_header(int32_t channels, int32_t sample_rate, int64_t frames)
{
    const bool extensible = channels > 2;
    const uint32_t fmt_size = extensible ? 40 : 16;
    const uint32_t data_size = data_bytes(frames, channels);
    const uint32_t block_align = static_cast<uint32_t>(channels) * 2;
    std::vector<uint8_t> h;
    h.reserve(68);
    put_tag(&h, "RIFF");
    put32(&h, 4 + (8 + fmt_size) + 8 + data_size);
    put_tag(&h, "WAVE");
    put_tag(&h, "fmt ");
    put32(&h, fmt_size);
    put16(&h, extensible ? FORMAT_EXTENSIBLE : FORMAT_PCM);
    put16(&h, static_cast<uint32_t>(channels));
    put32(&h, static_cast<uint32_t>(sample_rate));
    put32(&h, static_cast<uint32_t>(sample_rate) * block_align);
    put16(&h, block_align);
    put16(&h, 16);
    if (extensible) {
        put16(&h, 22);  // extension size
        put16(&h, 16);  // valid bits per sample
        put32(&h, wav_channel_mask(channels));
        for (const uint8_t byte : SUBFORMAT_PCM) {
            h.push_back(byte);
        }
    }
    put_tag(&h, "data");
    put32(&h, data_size);
    return h;
}

}  // namespace

uint32_t wav_channel_mask(int32_t channels)
{
    static const uint32_t masks[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
    return channels >= 1 && channels <= 8 ? masks[channels] : 0;
}

void wav_reorder_vorbis_to_wav(int16_t* samples, int64_t frames, int32_t channels)
{
    reorder(samples, frames, channels, true);
}

void wav_reorder_wav_to_vorbis(int16_t* samples, int64_t frames, int32_t channels)
{
    reorder(samples, frames, channels, false);
}

bool wav_read(const char* path, wav_audio* audio, std::string* error)
{
    *audio = wav_audio{};
    const bool from_stdin = strcmp(path, "-") == 0;
    FILE* file = from_stdin ? stdin : fopen(path, "rb");
    if (file == nullptr) {
        return fail(error, std::string("can't open: ") + strerror(errno));
    }
    struct closer {
        FILE* file;
        bool owns;
        ~closer()
        {
            if (owns) {
                fclose(file);
            }
        }
    } close_at_end{file, !from_stdin};

    uint8_t riff[12];
    if (fread(riff, sizeof(riff), 1, file) != 1 || memcmp(riff, "RIFF", 4) != 0 ||
        memcmp(riff + 8, "WAVE", 4) != 0) {
        return fail(error, "not a RIFF WAVE file");
    }
    bool have_format = false;
    for (;;) {
        uint8_t chunk[8];
        if (fread(chunk, sizeof(chunk), 1, file) != 1) {
            return fail(error, have_format ? "no data chunk" : "no fmt chunk");
        }
        const uint32_t size = get32(chunk + 4);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 1024) {
                return fail(error, "bad fmt chunk size " + std::to_string(size));
            }
            uint8_t fmt[1024 + 1];
            if (fread(fmt, size + (size & 1), 1, file) != 1) {
                return fail(error, "fmt chunk is cut short");
            }
            uint16_t format = get16(fmt);
            const uint16_t channels = get16(fmt + 2);
            const uint32_t rate = get32(fmt + 4);
            const uint16_t bits = get16(fmt + 14);
            if (format == FORMAT_EXTENSIBLE) {
                if (size < 40 || get16(fmt + 16) < 22) {
                    return fail(error, "WAVE_FORMAT_EXTENSIBLE fmt chunk too short");
                }
                if (memcmp(fmt + 24, SUBFORMAT_PCM, 16) != 0) {
                    return fail(error, "WAVE_FORMAT_EXTENSIBLE sub-format is not PCM");
                }
                audio->channel_mask = get32(fmt + 20);
                format = FORMAT_PCM;
            }
            if (format != FORMAT_PCM) {
                return fail(error, "format " + std::to_string(format) + " is not PCM");
            }
            if (bits != 16) {
                return fail(error, std::to_string(bits) + "-bit samples; only 16-bit PCM is supported");
            }
            if (channels < 1 || channels > 8) {
                return fail(error, std::to_string(channels) + " channels; 1 to 8 are supported");
            }
            if (rate < 1 || rate > 1000000) {
                return fail(error, "sample rate " + std::to_string(rate) + " out of range");
            }
            if (get16(fmt + 12) != channels * 2) {
                return fail(error, "block align does not match 16-bit samples");
            }
            audio->channels = channels;
            audio->sample_rate = static_cast<int32_t>(rate);
            have_format = true;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!have_format) {
                return fail(error, "data chunk before fmt chunk");
            }
            // Read in pieces up to the declared size or the end of the file,
            // whichever comes first, so a lying size allocates nothing extra.
            const size_t frame_bytes = static_cast<size_t>(audio->channels) * 2;
            const uint64_t wanted = size / frame_bytes * frame_bytes;
            std::vector<uint8_t> bytes;
            uint8_t piece[65536];
            while (bytes.size() < wanted) {
                const size_t ask = static_cast<size_t>(std::min<uint64_t>(sizeof(piece), wanted - bytes.size()));
                const size_t got = fread(piece, 1, ask, file);
                bytes.insert(bytes.end(), piece, piece + got);
                if (got < ask) {
                    if (ferror(file)) {
                        return fail(error, std::string("read error: ") + strerror(errno));
                    }
                    break;
                }
            }
            const size_t count = bytes.size() / frame_bytes * static_cast<size_t>(audio->channels);
            audio->samples.resize(count);
            for (size_t i = 0; i < count; ++i) {
                audio->samples[i] = static_cast<int16_t>(get16(bytes.data() + 2 * i));
            }
            return true;
        } else {
            // Skip other chunks (LIST, fact, ...), padded to even size.
            uint8_t skip[4096];
            uint64_t left = static_cast<uint64_t>(size) + (size & 1);
            while (left > 0) {
                const size_t ask = static_cast<size_t>(std::min<uint64_t>(sizeof(skip), left));
                if (fread(skip, ask, 1, file) != 1) {
                    return fail(error, have_format ? "no data chunk" : "no fmt chunk");
                }
                left -= ask;
            }
        }
    }
}

bool wav_writer_open(wav_writer* writer, const char* path, int32_t channels, int32_t sample_rate,
                     int64_t total_frames, std::string* error)
{
    *writer = wav_writer{};
    if (channels < 1 || channels > 8 || sample_rate < 1) {
        return fail(error, "WAV output takes 1 to 8 channels and a sample rate above 0");
    }
    const bool to_stdout = strcmp(path, "-") == 0;
    writer->file = to_stdout ? stdout : fopen(path, "wb");
    if (writer->file == nullptr) {
        return fail(error, std::string("can't create: ") + strerror(errno));
    }
    writer->owns_file = !to_stdout;
    writer->channels = channels;
    writer->sample_rate = sample_rate;
    writer->declared_frames = std::max<int64_t>(total_frames, 0);
    const std::vector<uint8_t> header = make_header(channels, sample_rate, writer->declared_frames);
    writer->header_size = static_cast<int64_t>(header.size());
    if (fwrite(header.data(), header.size(), 1, writer->file) != 1) {
        return fail(error, std::string("write error: ") + strerror(errno));
    }
    return true;
}

bool wav_writer_write(wav_writer* writer, const int16_t* samples, int64_t frames, std::string* error)
{
    if (frames <= 0) {
        return true;
    }
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(writer->channels);
    std::vector<uint8_t> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const auto value = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(value);
        bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    if (fwrite(bytes.data(), bytes.size(), 1, writer->file) != 1) {
        return fail(error, std::string("write error: ") + strerror(errno));
    }
    writer->frames_written += frames;
    return true;
}

bool wav_writer_close(wav_writer* writer, std::string* error)
{
    if (writer->file == nullptr) {
        return true;
    }
    FILE* file = writer->file;
    writer->file = nullptr;
    bool ok = true;
    if (writer->declared_frames != writer->frames_written) {
        // Patch the sizes of a regular file; a pipe or a device such as
        // /dev/null cannot seek back and keeps the sizes written first.
        struct stat info;
        if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) {
            const std::vector<uint8_t> header =
                make_header(writer->channels, writer->sample_rate, writer->frames_written);
            ok = fflush(file) == 0 && fseeko(file, 0, SEEK_SET) == 0 &&
                 fwrite(header.data(), header.size(), 1, file) == 1;
        }
    }
    ok = fflush(file) == 0 && ok;
    if (writer->owns_file) {
        ok = fclose(file) == 0 && ok;
    }
    return ok || fail(error, std::string("write error: ") + strerror(errno));
}
