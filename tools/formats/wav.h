// RIFF WAVE (.wav) audio, 16-bit PCM: a reader (plain PCM and
// WAVE_FORMAT_EXTENSIBLE) and a writer, plus the channel reordering between
// Vorbis order and WAV order.
//
// Vorbis orders the channels of 1 to 8 channel streams as
//   1: M   2: L R   3: L C R   4: FL FR BL BR   5: FL C FR BL BR
//   6: FL C FR BL BR LFE   7: FL C FR SL SR BC LFE   8: FL C FR SL SR BL BR LFE
// while WAV orders them by the bits of the channel mask
//   FL FR C LFE BL BR (FLC FRC) BC SL SR.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The standard channel mask of a WAV file with this many channels (1 to 8);
// 0 for other counts.
uint32_t wav_channel_mask(int32_t channels);

// Reorder interleaved samples in place, `frames` samples per channel.
// Channel counts outside 3..8 are left as they are.
void wav_reorder_vorbis_to_wav(int16_t* samples, int64_t frames, int32_t channels);
void wav_reorder_wav_to_vorbis(int16_t* samples, int64_t frames, int32_t channels);

struct wav_audio {
    int32_t channels = 0;
    int32_t sample_rate = 0;
    uint32_t channel_mask = 0;     // from WAVE_FORMAT_EXTENSIBLE, else 0
    std::vector<int16_t> samples;  // interleaved, in the file's (WAV) order
    int64_t frames() const { return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// Reads a whole 16-bit PCM WAV file ("-" for standard input). Accepts format
// 1 and WAVE_FORMAT_EXTENSIBLE with the PCM sub-format, 1 to 8 channels. A
// data chunk whose size runs past the end of the file (as streamed files
// carry) is taken up to the end. Returns false with *error set otherwise.
bool wav_read(const char* path, wav_audio* audio, std::string* error);

struct wav_writer {
    FILE* file = nullptr;
    bool owns_file = false;
    int32_t channels = 0;
    int32_t sample_rate = 0;
    int64_t header_size = 0;      // bytes before the samples
    int64_t declared_frames = 0;  // the length the header gives
    int64_t frames_written = 0;
};

// Creates `path` ("-" for standard output) and writes the header: plain PCM
// for 1 and 2 channels, WAVE_FORMAT_EXTENSIBLE with wav_channel_mask for 3
// to 8. The sizes are written for `total_frames` (0 when not known, e.g. -1);
// when a different count gets written, close patches them in a regular file
// and leaves them in a pipe or device such as /dev/null, which cannot seek.
bool wav_writer_open(wav_writer* writer, const char* path, int32_t channels, int32_t sample_rate,
                     int64_t total_frames, std::string* error);
// Appends interleaved samples already in WAV order.
bool wav_writer_write(wav_writer* writer, const int16_t* samples, int64_t frames, std::string* error);
// Patches the RIFF and data sizes when needed (see open), flushes and closes.
bool wav_writer_close(wav_writer* writer, std::string* error);
