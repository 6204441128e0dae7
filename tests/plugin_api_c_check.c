/* Compiled as C11: the contract header must be plain C. */
#include "tonebridge/plugin_api.h"

int tb_c_check_song_size(void) {
    Song song = {0};
    SongEvent event = {0, 0, 0};
    return (int)(sizeof song + sizeof event);
}
