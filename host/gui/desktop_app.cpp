#include "desktop_app.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>

namespace tonebridge::gui {

namespace {

constexpr const char* kMidiMimeTypes[] = {"audio/midi", "audio/x-midi"};
constexpr const char* kOwnDesktopId = "tonebridge.desktop";
constexpr int kPollMs = 10;
constexpr int kKillWaitMs = 3000;

/// Owns one GObject reference.
template <typename T> struct Ref {
    T* object = nullptr;
    explicit Ref(T* o) : object(o) {}
    ~Ref() {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
};

bool isOwn(GAppInfo* app) {
    const char* id = g_app_info_get_id(app);
    return id != nullptr && std::string_view(id) == kOwnDesktopId;
}

std::string idOf(GAppInfo* app) {
    const char* id = g_app_info_get_id(app);
    return id != nullptr ? id : "";
}

/// The first recommended application for mime that is not this program.
std::string recommendedFor(const char* mime) {
    GList* apps = g_app_info_get_recommended_for_type(mime);
    std::string id;
    for (GList* it = apps; it != nullptr && id.empty(); it = it->next) {
        auto* app = static_cast<GAppInfo*>(it->data);
        if (!isOwn(app)) {
            id = idOf(app);
        }
    }
    g_list_free_full(apps, g_object_unref);
    return id;
}

void keepPid(GDesktopAppInfo* /*app*/, GPid pid, gpointer data) {
    *static_cast<pid_t*>(data) = pid;
}

/// Waits up to ms for child to end; true when it was reaped.
bool waitFor(pid_t child, int ms) {
    for (int waited = 0;; waited += kPollMs) {
        if (pollChild(child) != ChildState::Running) {
            return true;
        }
        if (waited >= ms) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

} // namespace

std::string defaultMidiApplication() {
    for (const char* mime : kMidiMimeTypes) {
        Ref<GAppInfo> app(g_app_info_get_default_for_type(mime, FALSE));
        if (app.object != nullptr && !isOwn(app.object)) {
            return idOf(app.object);
        }
        if (std::string id = recommendedFor(mime); !id.empty()) {
            return id;
        }
    }
    return {};
}

Launch launchApplication(const std::string& desktopId, const std::string& file) {
    Launch launch;
    Ref<GDesktopAppInfo> app(g_desktop_app_info_new(desktopId.c_str()));
    if (app.object == nullptr) {
        launch.error = "no desktop entry " + desktopId;
        return launch;
    }
    Ref<GFile> target(g_file_new_for_path(file.c_str()));
    gchar* uri = g_file_get_uri(target.object);
    GList uris{uri, nullptr, nullptr};
    GError* error = nullptr;
    // WATCHOUT: without G_SPAWN_DO_NOT_REAP_CHILD the pid handed over is not the child's to
    // end; with it, the child is ours to reap (pollChild, endChild).
    const gboolean started = g_desktop_app_info_launch_uris_as_manager(
        app.object, &uris, nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
        keepPid, &launch.pid, &error);
    g_free(uri);
    launch.started = started != FALSE;
    if (error != nullptr) {
        launch.error = error->message;
        g_error_free(error);
    }
    return launch;
}

ChildState pollChild(pid_t child) {
    int status = 0;
    const pid_t got = waitpid(child, &status, WNOHANG);
    if (got == 0 || (got < 0 && errno == EINTR)) {
        return ChildState::Running;
    }
    // An error (ECHILD: reaped elsewhere) means there is nothing left to wait for.
    if (got < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
        (WIFSIGNALED(status) && (WTERMSIG(status) == SIGTERM || WTERMSIG(status) == SIGKILL))) {
        return ChildState::Ended;
    }
    return ChildState::Failed;
}

void endChild(pid_t child, int terminateMs) {
    if (child <= 0 || pollChild(child) != ChildState::Running) {
        return;
    }
    kill(child, SIGTERM);
    // WATCHOUT: a player that ignores the request would block the window for ever; after a
    // grace period it is killed instead.
    if (!waitFor(child, terminateMs)) {
        kill(child, SIGKILL);
        waitFor(child, kKillWaitMs);
    }
}

} // namespace tonebridge::gui
