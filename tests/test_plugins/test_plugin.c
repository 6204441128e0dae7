/*
 * One source for every purpose-built test plug-in. Compile definitions choose the kind,
 * identity and behaviour:
 *   TP_KIND, TP_ID          kind and identifier
 *   TP_TAG                  text that marks this plug-in's work in what it produces
 *   TP_INPUT_EXT            GetInputExt result; absent: no GetInputExt export
 *   TP_FORMAT_EXT           GetFormatNameExt result; absent: no GetFormatNameExt export
 *   TP_CONNECTOR_EXT        GetConnectorExt result
 *   TP_ONLY_KIND            export GetKindOfDLL and nothing else
 *   TP_NO_WORK              leave out the working entry point (Decode, Code or Connect)
 *   TP_NO_SONG              a decoder that succeeds without a Song
 *   TP_BUFFERS              number of buffers a coder returns (default 1)
 *   TP_STATUS, TP_MESSAGE   status and message every working call returns
 *
 * What they produce is readable text, so tests can see which plug-in ran on what:
 * a decoder names its Song "TAG:base name:input bytes", a coder writes buffer i as
 * "song name#i", a connector wraps each buffer as "TAG(buffer)".
 * Every block handed over is malloc'd; the host releases it.
 */
#include "tonebridge/plugin_api.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef TP_TAG
#define TP_TAG "T"
#endif
#ifndef TP_STATUS
#define TP_STATUS 0
#endif
#ifndef TP_BUFFERS
#define TP_BUFFERS 1
#endif

/* Helpers that some kinds of test plug-in leave unused. */
#if defined(__GNUC__)
#define TP_UNUSED __attribute__((unused))
#else
#define TP_UNUSED
#endif

TB_EXPORT int32_t GetKindOfDLL(void) {
    return TP_KIND;
}

#ifndef TP_ONLY_KIND

/* A malloc'd copy of size bytes of text followed by a NUL. */
TP_UNUSED static char* copyText(const char* text, size_t size) {
    char* copy = (char*)malloc(size + 1);
    if (copy != NULL) {
        if (size > 0) {
            memcpy(copy, text, size);
        }
        copy[size] = '\0';
    }
    return copy;
}

#ifdef TP_MESSAGE
TP_UNUSED static void setTestMessage(char** message) {
    *message = copyText(TP_MESSAGE, strlen(TP_MESSAGE));
}
#else
TP_UNUSED static void setTestMessage(char** message) {
    (void)message;
}
#endif

TB_EXPORT int32_t GetDLLID(void) {
    return TP_ID;
}
TB_EXPORT const char* GetName(void) {
    return "Test plug-in " TP_TAG;
}
TB_EXPORT const char* GetDLLVersion(void) {
    return "1.00";
}
TB_EXPORT const char* GetDate(void) {
    return "01/01/2024";
}

#ifdef TP_INPUT_EXT
TB_EXPORT const char* GetInputExt(void) {
    return TP_INPUT_EXT;
}
#endif

#if TP_KIND == 1 || TP_KIND == 4 /* decoder, filter */
TP_UNUSED static Song* makeSong(const uint8_t* data, uint32_t size, const char* name) {
    static const uint8_t endOfTrack[3] = {0xFF, 0x2F, 0x00};
    Song* song = (Song*)calloc(1, sizeof(Song));
    if (song == NULL) {
        return NULL;
    }
    song->header = (SongHeader*)malloc(sizeof(SongHeader));
    song->tracks = (SongEvent**)calloc(1, sizeof(SongEvent*));
    song->eventCounts = (uint16_t*)calloc(1, sizeof(uint16_t));
    if (song->header == NULL || song->tracks == NULL || song->eventCounts == NULL) {
        free(song->header);
        free(song->tracks);
        free(song->eventCounts);
        free(song);
        return NULL;
    }
    song->header->format = 0;
    song->header->trackCount = 1;
    song->header->division = 96;
    song->tracks[0] = (SongEvent*)calloc(1, sizeof(SongEvent));
    if (song->tracks[0] != NULL) {
        song->tracks[0][0].data = (uint8_t*)copyText((const char*)endOfTrack, 3);
        song->tracks[0][0].length = 3;
        song->eventCounts[0] = 1;
    }
    /* Name: TAG ":" base name ":" the first bytes of the input. */
    const size_t shown = size > 200 ? 200 : size;
    const size_t total = strlen(TP_TAG) + 1 + strlen(name) + 1 + shown;
    song->name = (char*)malloc(total + 1);
    if (song->name != NULL) {
        strcpy(song->name, TP_TAG ":");
        strcat(song->name, name);
        strcat(song->name, ":");
        memcpy(song->name + total - shown, data, shown);
        song->name[total] = '\0';
    }
    return song;
}
#endif

#if TP_KIND == 1 /* decoder */
#ifndef TP_NO_WORK
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* name, Song** song,
                                 char** message) {
    setTestMessage(message);
    if (TP_STATUS != 0) {
        return TP_STATUS;
    }
#ifdef TP_NO_SONG
    (void)data;
    (void)size;
    (void)name;
    (void)song;
#else
    *song = makeSong(data, size, name);
#endif
    return 0;
}
#endif
#endif /* decoder */

#if TP_KIND == 2 /* coder */
TB_EXPORT const char* GetFormatName(void) {
    return "Test format " TP_TAG;
}
#ifdef TP_FORMAT_EXT
TB_EXPORT const char* GetFormatNameExt(void) {
    return TP_FORMAT_EXT;
}
#endif

#ifndef TP_NO_WORK
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message) {
    setTestMessage(message);
    if (TP_STATUS != 0) {
        return TP_STATUS;
    }
    const uint32_t n = TP_BUFFERS;
    *buffers = (uint8_t**)calloc(n > 0 ? n : 1, sizeof(uint8_t*));
    *sizes = (uint32_t*)calloc(n > 0 ? n : 1, sizeof(uint32_t));
    *count = n;
    const char* name = song->name != NULL ? song->name : "";
    for (uint32_t i = 0; i < n && *buffers != NULL && *sizes != NULL; ++i) {
        const size_t length = strlen(name) + 2; /* "#" and one digit */
        char* text = (char*)malloc(length + 1);
        if (text != NULL) {
            strcpy(text, name);
            text[length - 2] = '#';
            text[length - 1] = (char)('0' + i % 10);
            text[length] = '\0';
            (*sizes)[i] = (uint32_t)length;
        }
        (*buffers)[i] = (uint8_t*)text;
    }
    return 0;
}
#endif
#endif /* coder */

#if TP_KIND == 3 /* connector */
TB_EXPORT const char* GetConnectorName(void) {
    return "Test connector " TP_TAG;
}
TB_EXPORT const char* GetConnectorExt(void) {
    return TP_CONNECTOR_EXT;
}

#ifndef TP_NO_WORK
TB_EXPORT int32_t TB_CALL Connect(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                                  uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount,
                                  char** message) {
    setTestMessage(message);
    if (TP_STATUS != 0) {
        return TP_STATUS;
    }
    *outBuffers = (uint8_t**)calloc(count > 0 ? count : 1, sizeof(uint8_t*));
    *outSizes = (uint32_t*)calloc(count > 0 ? count : 1, sizeof(uint32_t));
    *outCount = count;
    const size_t tag = strlen(TP_TAG);
    for (uint32_t i = 0; i < count && *outBuffers != NULL && *outSizes != NULL; ++i) {
        const size_t length = tag + 2 + sizes[i];
        uint8_t* out = (uint8_t*)malloc(length);
        if (out != NULL) {
            memcpy(out, TP_TAG, tag);
            out[tag] = '(';
            if (sizes[i] > 0) {
                memcpy(out + tag + 1, buffers[i], sizes[i]);
            }
            out[length - 1] = ')';
            (*outSizes)[i] = (uint32_t)length;
        }
        (*outBuffers)[i] = out;
    }
    return 0;
}
#endif
#endif /* connector */

#if TP_KIND == 4 /* filter */
/* A filter whose Song is named TAG "(" target in hex "," options ")" and the input's name, so
 * the coder's output shows what it was handed; with TP_NO_SONG it succeeds without a Song. */
TB_EXPORT int32_t TB_CALL Filter(const Song* song, int32_t target, const char* options,
                                 Song** filtered, char** message) {
    setTestMessage(message);
    if (TP_STATUS != 0) {
        return TP_STATUS;
    }
#ifdef TP_NO_SONG
    (void)song;
    (void)target;
    (void)options;
    (void)filtered;
#else
    char label[300];
    snprintf(label, sizeof label, "(%x,%s)%s", (unsigned)target, options != NULL ? options : "",
             song->name != NULL ? song->name : "");
    /* makeSong names its Song TAG ":" name ":" data; here the label is the whole "name". */
    *filtered = makeSong((const uint8_t*)"", 0, label);
#endif
    return 0;
}
TB_EXPORT const char* GetFilterName(void) {
    return "Test filter " TP_TAG;
}
#endif

#endif /* TP_ONLY_KIND */
