/* Result codes of the Zarn codec, every module's block in one place.
 *
 * Every codec function that can fail returns a signed 32-bit result: 0 for
 * success, a negative code for failure. Each module owns a block and each
 * failure site its own code; a function that sees a callee fail logs its own
 * line and returns the code of its own failing step. The public interface
 * (zarn.h) passes the decoder's codes through unchanged. */
#ifndef ZARN_RESULTS_H
#define ZARN_RESULTS_H

/* Success, for every module. */
#define ZARN_OK 0

/* Public interface: -1 to -7. */
#define ZARN_ERROR_BAD_VERSION            (-1)
#define ZARN_ERROR_NOT_INITIALISED        (-2)
#define ZARN_ERROR_NULL_MOVIE             (-3)
#define ZARN_ERROR_MOVIE_NOT_READY        (-4)
#define ZARN_ERROR_BAD_TRACK_INDEX        (-5)
#define ZARN_ERROR_UNSUPPORTED_TRACK_TYPE (-6)
#define ZARN_ERROR_NULL_TRACK             (-7)

/* Decoder: creation. */
#define ZARN_DECODER_ERROR_ALLOCATE                 (-10000)
#define ZARN_DECODER_ERROR_CREATE_INIT_COND_VAR     (-10001)
#define ZARN_DECODER_ERROR_CREATE_INIT_MUTEX        (-10002)
#define ZARN_DECODER_ERROR_CREATE_COMMAND_COND_VAR  (-10003)
#define ZARN_DECODER_ERROR_CREATE_COMMAND_MUTEX     (-10004)
#define ZARN_DECODER_ERROR_PREPARE_THREAD           (-10005)
#define ZARN_DECODER_ERROR_PATH_TOO_LONG            (-10017) /* path of 256 bytes or more */
#define ZARN_DECODER_ERROR_CREATE_THREAD            (-10047)
#define ZARN_DECODER_ERROR_CREATE_EVENT_BUFFER      (-10050)
#define ZARN_DECODER_ERROR_CREATE_EVENT_MUTEX       (-10051)
/* Decoder: frame conversion and events. */
#define ZARN_DECODER_ERROR_BAD_PIXEL_FORMAT         (-10006)
#define ZARN_DECODER_ERROR_NO_CURRENT_FRAME         (-10049)
#define ZARN_DECODER_ERROR_NO_EVENT_PENDING         (-10052)
/* Decoder: enabling tracks. */
#define ZARN_DECODER_ERROR_CREATE_AUDIO_RENDER      (-10007)
#define ZARN_DECODER_ERROR_CREATE_AUDIO_TRACK       (-10008)
#define ZARN_DECODER_ERROR_CREATE_VIDEO_TRACK       (-10009)
/* Decoder: initialisation and header reading. */
#define ZARN_DECODER_ERROR_CREATE_INPUT_FILE        (-10010)
#define ZARN_DECODER_ERROR_READ_HEADER              (-10011)
#define ZARN_DECODER_ERROR_HEADER_MAGIC             (-10012)
#define ZARN_DECODER_ERROR_PARTIALLY_ENCODED        (-10013)
#define ZARN_DECODER_ERROR_CREATE_FRAME_MUTEX       (-10014)
#define ZARN_DECODER_ERROR_CREATE_TIMER             (-10015)
#define ZARN_DECODER_ERROR_EXAMINE_AUDIO_TRACKS     (-10016)
#define ZARN_DECODER_ERROR_EXAMINE_VIDEO_TRACKS     (-10018)
#define ZARN_DECODER_ERROR_ENABLE_AUDIO_TRACK       (-10019)
#define ZARN_DECODER_ERROR_ENABLE_VIDEO_TRACK       (-10020)
#define ZARN_DECODER_ERROR_SEEK_TO_START            (-10021)
#define ZARN_DECODER_ERROR_BAD_FRAME_RATE           (-10024) /* numerator or denominator <= 0 */
#define ZARN_DECODER_ERROR_BAD_TRACK_COUNT          (-10039) /* negative or impossible track count */
#define ZARN_DECODER_ERROR_PICTURE_SIZE_MISMATCH    (-10048) /* movie and video track sizes differ */
#define ZARN_DECODER_ERROR_BAD_PICTURE_SIZE         (-10055) /* width or height out of range */
#define ZARN_DECODER_ERROR_BAD_FRAME_BLOB_SIZE      (-10056) /* larger than the file */
#define ZARN_DECODER_ERROR_ALLOCATE_FRAME_IMAGES    (-10057) /* the frame images the worker rotates through */
#define ZARN_DECODER_ERROR_INITIALISE               (-10046) /* the worker's report to creation */
#define ZARN_DECODER_ERROR_ALLOCATE_AUDIO_HEADERS   (-10032)
#define ZARN_DECODER_ERROR_READ_AUDIO_HEADER        (-10033)
#define ZARN_DECODER_ERROR_SEEK_NEXT_AUDIO_HEADER   (-10034)
#define ZARN_DECODER_ERROR_ALLOCATE_VIDEO_HEADERS   (-10035)
#define ZARN_DECODER_ERROR_READ_VIDEO_HEADER        (-10036)
/* Decoder: commands and the playback step. */
#define ZARN_DECODER_ERROR_PAUSE_AUDIO              (-10022)
#define ZARN_DECODER_ERROR_PLAY_AUDIO               (-10023)
#define ZARN_DECODER_ERROR_STOP_SEEK_TO_START       (-10025)
#define ZARN_DECODER_ERROR_SEEK_STOP_AUDIO          (-10026)
#define ZARN_DECODER_ERROR_SEEK_AUDIO_TRACK         (-10027)
#define ZARN_DECODER_ERROR_SEEK_VIDEO_TRACK         (-10028)
#define ZARN_DECODER_ERROR_SEEK_PREPARE_AUDIO       (-10029)
#define ZARN_DECODER_ERROR_SEEK_PRIME_AUDIO         (-10030)
#define ZARN_DECODER_ERROR_SEEK_PLAY_AUDIO          (-10031)
#define ZARN_DECODER_ERROR_SEEK_GET_FRAME_IMAGE     (-10054)
#define ZARN_DECODER_ERROR_UPDATE_VIDEO             (-10037)
#define ZARN_DECODER_ERROR_UPDATE_AUDIO             (-10038)
#define ZARN_DECODER_ERROR_DECODE_AUDIO_BLOCK       (-10040)
#define ZARN_DECODER_ERROR_WRITE_AUDIO_BLOCK        (-10041)
#define ZARN_DECODER_ERROR_INVALID_VIDEO_TRACK      (-10042)
#define ZARN_DECODER_ERROR_DECODE_VIDEO_FRAME       (-10043)
#define ZARN_DECODER_ERROR_END_STOP_PLAYBACK        (-10044)
#define ZARN_DECODER_ERROR_END_START_PLAYBACK       (-10045)
#define ZARN_DECODER_ERROR_UPDATE_GET_FRAME_IMAGE   (-10053)

/* Mutex, condition variable, circular buffer. */
#define ZARN_MUTEX_ERROR_ALLOCATE                   (-11000)
#define ZARN_MUTEX_ERROR_INITIALISE                 (-11001)
#define ZARN_COND_VAR_ERROR_ALLOCATE                (-12000)
#define ZARN_COND_VAR_ERROR_INITIALISE              (-12003)
#define ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE         (-13000)
#define ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE_STORAGE (-13001)
#define ZARN_CIRCULAR_BUFFER_ERROR_FULL             (-13002)
#define ZARN_CIRCULAR_BUFFER_ERROR_EMPTY            (-13003)

/* Audio render. */
#define ZARN_AUDIO_RENDER_ERROR_ALLOCATE            (-14000)
#define ZARN_AUDIO_RENDER_ERROR_OPEN                (-14001)

/* Audio track. */
#define ZARN_AUDIO_TRACK_ERROR_ALLOCATE             (-15000)
#define ZARN_AUDIO_TRACK_ERROR_ALLOCATE_DATA        (-15001)
#define ZARN_AUDIO_TRACK_ERROR_SEEK_DATA            (-15002)
#define ZARN_AUDIO_TRACK_ERROR_READ_DATA            (-15003) /* also: data runs past the end of the file */
#define ZARN_AUDIO_TRACK_ERROR_OPEN                 (-15004)
#define ZARN_AUDIO_TRACK_ERROR_FORMAT_MISMATCH      (-15005)

/* Video track. */
#define ZARN_VIDEO_TRACK_ERROR_ALLOCATE             (-16000)
#define ZARN_VIDEO_TRACK_ERROR_CREATE_DECOMPRESSOR  (-16001)
#define ZARN_VIDEO_TRACK_ERROR_ALLOCATE_YUV_FRAME   (-16002)
#define ZARN_VIDEO_TRACK_ERROR_ALLOCATE_FRAME_BLOB  (-16003)
#define ZARN_VIDEO_TRACK_ERROR_EXAMINE              (-16004)
#define ZARN_VIDEO_TRACK_ERROR_SEEK_FIRST_PACKET    (-16005)
#define ZARN_VIDEO_TRACK_ERROR_SEEK_KEYFRAME        (-16006)
#define ZARN_VIDEO_TRACK_ERROR_SEEK_READ_HEADER     (-16007)
#define ZARN_VIDEO_TRACK_ERROR_SEEK_KEYFRAME_AGAIN  (-16008)
#define ZARN_VIDEO_TRACK_ERROR_SEEK_DECODE          (-16009)
#define ZARN_VIDEO_TRACK_ERROR_SEEK_NEXT_PACKET     (-16010)
#define ZARN_VIDEO_TRACK_ERROR_READ_HEADER          (-16011)
#define ZARN_VIDEO_TRACK_ERROR_READ_DATA            (-16012)
#define ZARN_VIDEO_TRACK_ERROR_DECODE               (-16013)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_SEEK_START      (-16014)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_READ_HEADER     (-16015)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET     (-16016)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_ALLOCATE_INDEX  (-16017)
/* -16018 to -16020 belonged to a second scan pass; the scan now reads the
 * stream once, so they are no longer returned. */
#define ZARN_VIDEO_TRACK_ERROR_SCAN_SEEK_START_AGAIN (-16018)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_READ_HEADER_AGAIN (-16019)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET_AGAIN (-16020)
#define ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE      (-16021)
#define ZARN_VIDEO_TRACK_ERROR_SCAN_NO_LEADING_KEY_FRAME (-16022) /* first packet is no key frame */
#define ZARN_VIDEO_TRACK_ERROR_SCAN_PACKET_TOO_LARGE (-16023) /* size > frame_blob_size */
#define ZARN_VIDEO_TRACK_ERROR_PACKET_TOO_LARGE     (-16024) /* decode: size > frame_blob_size */

/* Timer, thread. */
#define ZARN_TIMER_ERROR_ALLOCATE                   (-17000)
#define ZARN_THREAD_ERROR_ALLOCATE                  (-18000)
#define ZARN_THREAD_ERROR_CREATE                    (-18002)

/* ALSA audio render back end. */
#define ZARN_ALSA_ERROR_ATTACH_OUTPUT               (-19100)
#define ZARN_ALSA_ERROR_OPEN_DEVICE                 (-19101)
#define ZARN_ALSA_ERROR_SET_HW_PARAMS               (-19102)
#define ZARN_ALSA_ERROR_SET_START_THRESHOLD         (-19103)
#define ZARN_ALSA_ERROR_SET_SW_PARAMS               (-19104)
#define ZARN_ALSA_ERROR_ALLOCATE                    (-19105)
#define ZARN_ALSA_ERROR_CREATE_CIRCULAR_BUFFER      (-19106)
#define ZARN_ALSA_ERROR_CREATE_THREAD_INIT_COND_VAR (-19107)
#define ZARN_ALSA_ERROR_CREATE_THREAD_INIT_MUTEX    (-19108)
#define ZARN_ALSA_ERROR_CREATE_COMMAND_COND_VAR     (-19109)
#define ZARN_ALSA_ERROR_CREATE_COMMAND_MUTEX        (-19110)
#define ZARN_ALSA_ERROR_CREATE_AUDIO_MUTEX          (-19111)
#define ZARN_ALSA_ERROR_CREATE_THREAD               (-19112)
#define ZARN_ALSA_ERROR_PREPARE_THREAD              (-19113)
#define ZARN_ALSA_ERROR_PAUSE_NOT_INITIALISED       (-19114)
#define ZARN_ALSA_ERROR_PLAY_NOT_INITIALISED        (-19115)
#define ZARN_ALSA_ERROR_PRIME_NOT_INITIALISED       (-19116)
#define ZARN_ALSA_ERROR_STOP_NOT_INITIALISED        (-19117)
#define ZARN_ALSA_ERROR_CAN_WRITE_NOT_INITIALISED   (-19118)
#define ZARN_ALSA_ERROR_WRITE_NOT_INITIALISED       (-19119)
#define ZARN_ALSA_ERROR_QUEUE_FULL                  (-19120)
#define ZARN_ALSA_ERROR_COMMAND_PAUSE_NOT_INITIALISED (-19121)
#define ZARN_ALSA_ERROR_PAUSE_NOT_RUNNING           (-19122)
#define ZARN_ALSA_ERROR_PAUSE_DEVICE                (-19123)
#define ZARN_ALSA_ERROR_COMMAND_PLAY_NOT_INITIALISED (-19124)
#define ZARN_ALSA_ERROR_PLAY_BAD_STATE              (-19125)
#define ZARN_ALSA_ERROR_RESUME_DEVICE               (-19126)
#define ZARN_ALSA_ERROR_START_DEVICE                (-19127)
#define ZARN_ALSA_ERROR_COMMAND_PRIME_NOT_INITIALISED (-19128)
#define ZARN_ALSA_ERROR_PRIME_PREPARE               (-19129)
#define ZARN_ALSA_ERROR_PRIME_WRITE                 (-19130)
#define ZARN_ALSA_ERROR_COMMAND_STOP_NOT_INITIALISED (-19131)
#define ZARN_ALSA_ERROR_STOP_BAD_STATE              (-19132)
#define ZARN_ALSA_ERROR_STOP_DEVICE                 (-19133)

/* File. */
#define ZARN_FILE_ERROR_ALLOCATE                    (-20000)
#define ZARN_FILE_ERROR_OPEN                        (-20001)

#endif
