// Shared support of the desktop program's tests: a headless application with its own
// temporary XDG folders and working directory, the staged plug-ins, and small files.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTest>

#include <initializer_list>
#include <string>

namespace tonebridge::gui::test {

/// The temporary folder of this test process (removed at exit).
QString tempRoot();

/// A fresh, empty folder under the temporary folder.
QString freshDir(const QString& name);

/// Writes bytes to path (folders created); fails the test when it cannot.
void writeFile(const QString& path, const QByteArray& bytes);

/// A small valid Standard MIDI File: one track, a tempo, three notes.
QByteArray tinyMidi();

/// The staged plug-ins, loaded once.
const core::PluginRegistry& stagedPlugins();

/// An empty registry (no plug-ins at all).
const core::PluginRegistry& noPlugins();

/// True when every named plug-in (file name without suffix) is staged.
bool pluginsStaged(std::initializer_list<const char*> names);

/// Points XDG_CONFIG_HOME at a fresh folder, so each test starts from a first run.
void freshSettingsStore();

/// How long a wait for the program may take: a loaded build machine can need seconds to list
/// a folder or start a process. A wait ends as soon as its condition holds.
constexpr int kWaitMs = 30000;

/// Processes events until condition() holds; false after kWaitMs.
template <typename Condition> bool waitUntil(Condition condition) {
    return QTest::qWaitFor(condition, kWaitMs);
}

/// Skips the current test when a plug-in it needs has not been built.
#define TB_REQUIRE_PLUGINS(...)                                                                    \
    do {                                                                                           \
        if (!::tonebridge::gui::test::pluginsStaged({__VA_ARGS__})) {                              \
            GTEST_SKIP() << "plug-in not built: " #__VA_ARGS__;                                    \
        }                                                                                          \
    } while (0)

} // namespace tonebridge::gui::test
