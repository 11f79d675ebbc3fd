#include "zarn_audio_render.h"

#include <cassert>
#include <cstring>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"
#include "zarn_audio_render_alsa.h"

int32_t zarn_audio_render_create(zarn_audio_render** audio_render, int32_t channels, int32_t sample_rate)
{
    assert(audio_render != nullptr);
    assert(*audio_render == nullptr);

    zarn_audio_render* table = static_cast<zarn_audio_render*>(zarn_malloc(sizeof(zarn_audio_render)));
    if (table == nullptr) {
        zarn_log_error("zarn_audio_render_create() : Couldn't allocate audio render.");
        return ZARN_AUDIO_RENDER_ERROR_ALLOCATE;
    }
    memset(table, 0, sizeof(*table));
    table->open = zarn_audio_render_alsa_open;
    table->free = zarn_audio_render_alsa_free;
    table->pause = zarn_audio_render_alsa_pause;
    table->play = zarn_audio_render_alsa_play;
    table->prime = zarn_audio_render_alsa_prime;
    table->stop = zarn_audio_render_alsa_stop;
    table->can_write_buffer = zarn_audio_render_alsa_can_write_buffer;
    table->write_buffer = zarn_audio_render_alsa_write_buffer;

    if (table->open(&table->handle, channels, sample_rate) < 0) {
        zarn_log_error("zarn_audio_render_create() : Couldn't open audio render.");
        zarn_audio_render_free(table);
        *audio_render = nullptr;
        return ZARN_AUDIO_RENDER_ERROR_OPEN;
    }
    *audio_render = table;
    return ZARN_OK;
}

void zarn_audio_render_free(zarn_audio_render* audio_render)
{
    if (audio_render == nullptr) {
        return;
    }
    if (audio_render->handle != nullptr) {
        audio_render->free(audio_render->handle);
    }
    memset(audio_render, 0, sizeof(*audio_render));
    zarn_free(audio_render);
}
