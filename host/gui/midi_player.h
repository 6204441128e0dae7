// Playing the preview file with the desktop's MIDI application, started as a child process
// so that the next preview can end it.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QProcess;

namespace tonebridge::gui {

/// A program and its arguments.
struct PlayerCommand {
    QString program;
    QStringList arguments;
};

/// The desktop file id (e.g. "player.desktop") the desktop associates with MIDI files:
/// asked of xdg-mime when it is installed, otherwise read from the mimeapps.list files and
/// the applications' mimeinfo.cache in the XDG configuration and data folders.
QString defaultMidiApplication();

/// The desktop file of an id in $XDG_DATA_HOME/applications or $XDG_DATA_DIRS/applications,
/// or empty.
QString findDesktopFile(const QString& desktopId);

/// The command an Exec value of a desktop file runs for one file: quoting undone, %f %F %u
/// %U replaced by the file (appended when there is none), other field codes dropped.
std::optional<PlayerCommand> commandFromExec(const QString& exec, const QString& file);

/// The Exec value of a desktop file's [Desktop Entry] group, or empty.
QString desktopExec(const QString& desktopFilePath);

/// The command that plays file: the desktop's MIDI application when it is set and can be
/// found, otherwise a known player on the PATH; nullopt when there is neither.
std::optional<PlayerCommand> resolvePlayer(const QString& file);

/// The player of the last preview. Starting a new one, and destroying this object, ends the
/// previous one first.
class MidiPlayer : public QObject {
    Q_OBJECT
public:
    explicit MidiPlayer(QObject* parent = nullptr);
    ~MidiPlayer() override;

    /// Ends the known player, if it still runs, and waits until it has ended.
    void stop();
    /// Starts the player for file. When no player can be resolved the desktop is asked to
    /// open the file, without a process to end later. Failures are silent.
    void start(const QString& file);

    /// The running player process, or null.
    QProcess* process() const { return m_process; }

private:
    QProcess* m_process = nullptr;
};

} // namespace tonebridge::gui
