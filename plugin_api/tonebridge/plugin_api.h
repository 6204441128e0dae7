/*
 * The binary contract between the converter host and every plug-in and engine library.
 *
 * Plain C (C11 and C++20). Every block that crosses a module boundary -- each block of a
 * Song, each buffer and both arrays of a buffer set, every message -- is allocated with
 * malloc and becomes the receiver's property; the receiver releases it with free.
 * Text returned by the identity getters stays the plug-in's and is valid while the
 * library is loaded.
 *
 * Threads: the host may enter Decode, Code, Connect and Filter from two threads at once (a
 * preview during a batch run); plug-ins keep no state between calls.
 */
#ifndef TONEBRIDGE_PLUGIN_API_H
#define TONEBRIDGE_PLUGIN_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of the three working entry points and the engine exports: the
 * platform's standard one, in which the callee removes its arguments (32-bit Windows). */
#if defined(_WIN32) && !defined(_WIN64)
#define TB_CALL __stdcall
#else
#define TB_CALL
#endif

/* Marks a function as one of the library's exports. */
#if defined(_WIN32)
#define TB_EXPORT __declspec(dllexport)
#else
#define TB_EXPORT __attribute__((visibility("default")))
#endif

/* Defines the five identity getters every library exports (GetKindOfDLL, GetDLLID, GetName,
 * GetDLLVersion, GetDate) from its constants. The texts must be static: they stay the
 * library's while it is loaded. Use at file scope, inside extern "C" in a C++ source. */
#define TB_DEFINE_IDENTITY(kind, id, name, version, date)                                          \
    TB_EXPORT int32_t GetKindOfDLL(void) {                                                         \
        return (kind);                                                                             \
    }                                                                                              \
    TB_EXPORT int32_t GetDLLID(void) {                                                             \
        return (id);                                                                               \
    }                                                                                              \
    TB_EXPORT const char* GetName(void) {                                                          \
        return (name);                                                                             \
    }                                                                                              \
    TB_EXPORT const char* GetDLLVersion(void) {                                                    \
        return (version);                                                                          \
    }                                                                                              \
    TB_EXPORT const char* GetDate(void) {                                                          \
        return (date);                                                                             \
    }

/* Plug-in kinds as returned by GetKindOfDLL. */
enum {
    TB_KIND_OTHER = 0,
    TB_KIND_DECODER = 1,
    TB_KIND_CODER = 2,
    TB_KIND_CONNECTOR = 3,
    TB_KIND_FILTER = 4
};

/* Export names, looked up by name in each library. */
#define TB_EXPORT_GET_KIND "GetKindOfDLL"
#define TB_EXPORT_GET_ID "GetDLLID"
#define TB_EXPORT_GET_NAME "GetName"
#define TB_EXPORT_GET_VERSION "GetDLLVersion"
#define TB_EXPORT_GET_DATE "GetDate"
#define TB_EXPORT_GET_INPUT_EXT "GetInputExt"
#define TB_EXPORT_DECODE "Decode"
#define TB_EXPORT_GET_FORMAT_NAME "GetFormatName"
#define TB_EXPORT_GET_FORMAT_EXT "GetFormatNameExt"
#define TB_EXPORT_CODE "Code"
#define TB_EXPORT_GET_CONNECTOR_NAME "GetConnectorName"
#define TB_EXPORT_GET_CONNECTOR_EXT "GetConnectorExt"
#define TB_EXPORT_CONNECT "Connect"
#define TB_EXPORT_FILTER "Filter"
#define TB_EXPORT_GET_FILTER_NAME "GetFilterName"
#define TB_EXPORT_CODE_LSP "CodeLsp"
#define TB_EXPORT_DECODE_LSP "DecodeLsp"

/* The MIDI header values, as in the header chunk of a Standard MIDI File. */
typedef struct SongHeader {
    uint16_t format;     /* 0, 1 or 2 */
    uint16_t trackCount; /* length of Song.tracks and Song.eventCounts */
    uint16_t division;   /* ticks per quarter note, or the time-code form, as in the file */
} SongHeader;

/* One event of a track. */
typedef struct SongEvent {
    uint32_t delta;  /* ticks since the previous event of the same track */
    uint16_t length; /* bytes at data; 0 only with a null data (an event that is only a delta) */
    uint8_t* data;   /* the event's bytes as in a track, always starting with the status byte */
} SongEvent;

/* A parsed MIDI melody, handed from a decoder to a coder. A tree of separate malloc blocks;
 * release order: per track each event's data then the event array, then tracks, header,
 * eventCounts, name, and the record itself. */
typedef struct Song {
    SongHeader* header;
    SongEvent** tracks;    /* trackCount entries; an entry may be null for a track without events */
    uint16_t* eventCounts; /* trackCount entries */
    char* name;            /* NUL-terminated melody name, or null */
} Song;

/* Identity getters, common to every plug-in. */
typedef int32_t (*TbGetKindOfDLLFn)(void);
typedef int32_t (*TbGetDLLIDFn)(void);
typedef const char* (*TbGetNameFn)(void);
typedef const char* (*TbGetDLLVersionFn)(void);
typedef const char* (*TbGetDateFn)(void);
/* Decoders and connectors: input extension, lower case, no leading point. */
typedef const char* (*TbGetInputExtFn)(void);
/* Coders: display name and output extension (with its leading point). */
typedef const char* (*TbGetFormatNameFn)(void);
typedef const char* (*TbGetFormatNameExtFn)(void);
/* Connectors: display name and the extension appended to output names (with its point). */
typedef const char* (*TbGetConnectorNameFn)(void);
typedef const char* (*TbGetConnectorExtFn)(void);
/* Filters: display name of the arrangement the filter makes. */
typedef const char* (*TbGetFilterNameFn)(void);

/* Decode the whole input (read-only, the caller's) into a new Song. name is the input file's
 * name without its extension(s). Returns 0 and sets *song, or a non-zero status; *message may
 * be set (a malloc'd text, the caller's) whatever the status. */
typedef int32_t(TB_CALL* TbDecodeFn)(const uint8_t* data, uint32_t size, const char* name,
                                     Song** song, char** message);

/* Encode a Song (read-only, the caller's) into a buffer set: on success *buffers and *sizes
 * receive new arrays of *count entries, each buffer a malloc'd block. */
typedef int32_t(TB_CALL* TbCodeFn)(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                                   uint32_t* count, char** message);

/* Convert each buffer of a set (read-only, the caller's) into a new buffer set of the same
 * count. */
typedef int32_t(TB_CALL* TbConnectFn)(uint8_t* const* buffers, const uint32_t* sizes,
                                      uint32_t count, uint8_t*** outBuffers, uint32_t** outSizes,
                                      uint32_t* outCount, char** message);

/* Arrange a decoded Song (read-only, the caller's) for a target coder: on success *filtered
 * receives a new Song (a tree of malloc'd blocks, the caller's), and the caller hands that
 * Song to the coder in place of the decoded one.
 *   target:  identifier (GetDLLID) of the coder the arrangement must suit. It need not be the
 *            coder that will write the result: a phone arrangement can be written as MIDI.
 *            A filter that does not know the identifier makes its most general arrangement.
 *   options: NUL-terminated "key=value" pairs separated by white space, ',' or ';'; may be
 *            empty or null (no options). A filter refuses a key or value it does not know.
 * The filter itself measures whether its arrangement fits the target (for the melody-stream
 * coders it calls the melody engine, as they do): the host does not retry with shorter
 * candidates, and a Song a filter hands back for a target it knows is one that target's coder
 * accepts. Returns 0 or a non-zero status; *message may be set (a malloc'd text, the caller's)
 * whatever the status: with status 0 it says what the filter changed, and the host shows it as
 * it shows any plug-in message that accompanies success. On failure *filtered is left
 * untouched. Threads: may be entered from two threads at once; keeps no state between calls. */
typedef int32_t(TB_CALL* TbFilterFn)(const Song* song, int32_t target, const char* options,
                                     Song** filtered, char** message);

/* Melody engine: encode a Song with a 6-byte format descriptor into a melody stream. */
typedef int32_t(TB_CALL* TbCodeLspFn)(const Song* song, const uint8_t* descriptor, uint8_t** stream,
                                      uint32_t* length, char** message);

/* Melody engine: decode a melody stream into a new Song. */
typedef int32_t(TB_CALL* TbDecodeLspFn)(const uint8_t* data, uint32_t size, Song** song,
                                        char** message);

/* Inside a plug-in or engine library (the build defines TB_BUILDING_PLUGIN), the exports are
 * declared here with the types above, so the compiler checks every definition against the
 * contract. A library defines only the ones of its kind. */
#ifdef TB_BUILDING_PLUGIN
TB_EXPORT int32_t GetKindOfDLL(void);
TB_EXPORT int32_t GetDLLID(void);
TB_EXPORT const char* GetName(void);
TB_EXPORT const char* GetDLLVersion(void);
TB_EXPORT const char* GetDate(void);
TB_EXPORT const char* GetInputExt(void);
TB_EXPORT const char* GetFormatName(void);
TB_EXPORT const char* GetFormatNameExt(void);
TB_EXPORT const char* GetConnectorName(void);
TB_EXPORT const char* GetConnectorExt(void);
TB_EXPORT const char* GetFilterName(void);
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* name, Song** song,
                                 char** message);
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message);
TB_EXPORT int32_t TB_CALL Connect(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                                  uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount,
                                  char** message);
TB_EXPORT int32_t TB_CALL Filter(const Song* song, int32_t target, const char* options,
                                 Song** filtered, char** message);
TB_EXPORT int32_t TB_CALL CodeLsp(const Song* song, const uint8_t* descriptor, uint8_t** stream,
                                  uint32_t* length, char** message);
TB_EXPORT int32_t TB_CALL DecodeLsp(const uint8_t* data, uint32_t size, Song** song,
                                    char** message);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The layout is shared by separately built modules: pin it down. */
#if defined(__cplusplus)
#define TB_STATIC_ASSERT static_assert
#else
#define TB_STATIC_ASSERT _Static_assert
#endif
#include <stddef.h>
TB_STATIC_ASSERT(sizeof(SongHeader) == 6, "SongHeader is three 16-bit fields");
TB_STATIC_ASSERT(offsetof(SongHeader, trackCount) == 2, "SongHeader.trackCount");
TB_STATIC_ASSERT(offsetof(SongHeader, division) == 4, "SongHeader.division");
TB_STATIC_ASSERT(offsetof(SongEvent, delta) == 0, "SongEvent.delta comes first");
TB_STATIC_ASSERT(offsetof(SongEvent, length) == 4, "SongEvent.length follows delta");
TB_STATIC_ASSERT(offsetof(SongEvent, data) == 8, "SongEvent.data is naturally aligned");
TB_STATIC_ASSERT(sizeof(SongEvent) == 2 * sizeof(void*) + (sizeof(void*) == 4 ? 4 : 0),
                 "SongEvent has natural alignment and no other padding");
TB_STATIC_ASSERT(offsetof(Song, header) == 0, "Song.header");
TB_STATIC_ASSERT(offsetof(Song, tracks) == sizeof(void*), "Song.tracks");
TB_STATIC_ASSERT(offsetof(Song, eventCounts) == 2 * sizeof(void*), "Song.eventCounts");
TB_STATIC_ASSERT(offsetof(Song, name) == 3 * sizeof(void*), "Song.name");
TB_STATIC_ASSERT(sizeof(Song) == 4 * sizeof(void*), "Song is four pointers");

#endif /* TONEBRIDGE_PLUGIN_API_H */
