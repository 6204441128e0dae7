#include "gui_test_support.h"

#include "tonebridge/dynamic_library.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <string>

namespace tonebridge::gui::test {

namespace {

QString g_root;
int g_freshCount = 0;

} // namespace

QString tempRoot() {
    return g_root;
}

QString freshDir(const QString& name) {
    const QString path = QStringLiteral("%1/%2-%3").arg(g_root, name).arg(++g_freshCount);
    QDir().mkpath(path);
    return path;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray tinyMidi() {
    // clang-format off
    const QByteArray track = QByteArray::fromHex(
        "00ff510307a120"            // tempo: 500000 us per quarter note
        "00c000"                    // program 0
        "00903c64" "60803c40"       // C4 for a quarter note (division 96)
        "00903e64" "60803e40"       // D4
        "00904064" "8140804040"     // E4 for two quarter notes
        "00ff2f00");                // end of track
    QByteArray file = QByteArray::fromHex("4d546864" "00000006" "0000" "0001" "0060");
    // clang-format on
    file += QByteArray::fromHex("4d54726b");
    const auto size = static_cast<quint32>(track.size());
    file.append(static_cast<char>(size >> 24)).append(static_cast<char>(size >> 16));
    file.append(static_cast<char>(size >> 8)).append(static_cast<char>(size));
    return file + track;
}

const core::PluginRegistry& stagedPlugins() {
    static core::PluginRegistry* registry = [] {
        auto* loaded = new core::PluginRegistry();
        loaded->loadFrom(TB_STAGE_PLUGINS_DIR);
        return loaded;
    }();
    return *registry;
}

const core::PluginRegistry& noPlugins() {
    static core::PluginRegistry registry;
    return registry;
}

bool pluginsStaged(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (!QFileInfo::exists(QStringLiteral(TB_STAGE_PLUGINS_DIR "/") + name + kLibrarySuffix)) {
            return false;
        }
    }
    return true;
}

void freshSettingsStore() {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir(QStringLiteral("config"))));
}

} // namespace tonebridge::gui::test

// Every test process gets its own temporary XDG folders and working directory (the preview
// writes its file there), and runs headless unless told otherwise.
// Under LeakSanitizer: Qt's accessibility bridge asks for the session bus at the first
// accessible event, and the bus library's connection thread object is now and then still
// unfreed when the process ends (in Qt, at exit only). Matching it by name needs the full
// unwinder at each allocation; the suppression names nothing of this program. Read by the
// sanitizer runtime at start-up; unused in other builds.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:QDBusConnection::sessionBus\n";
}

int main(int argc, char** argv) {
    using namespace tonebridge::gui::test;
    QTemporaryDir root(QDir::tempPath() + "/tonebridge-gui-test-XXXXXX");
    if (!root.isValid()) {
        return 1;
    }
    g_root = root.path();
    QDir().mkpath(g_root + "/runtime");
    QFile::setPermissions(g_root + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(g_root + "/work");
    // On the X display when there is one (scripts/test.sh gives them a virtual one), so that
    // keys, focus and shortcuts behave as on a desktop; headless otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(g_root + "/runtime"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(g_root + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(g_root + "/data"));
    // The machine's own applications and lists never take part.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(g_root + "/data-dirs"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(g_root + "/config-dirs"));
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("DESKTOP_SESSION");
    // No session bus: nothing a test does may start one (on X, the bus library would launch
    // a daemon of its own) or reach the desktop's services.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    if (!QDir::setCurrent(g_root + "/work")) {
        return 1;
    }

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
