// Playing the preview file: with the desktop's MIDI application, started as a child process
// that the next preview ends, or, when the desktop has none, it cannot start or it fails at
// once, inside the program with the synthesizer of the audio coders.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <sys/types.h>

class QTimer;

namespace tonebridge::gui {

class SynthPlayer;

/// The player of the last preview. Starting a new one, and destroying this object, ends the
/// previous one first.
class MidiPlayer : public QObject {
    Q_OBJECT
public:
    /// How a preview plays.
    enum class Route { Nothing, Desktop, InProgram };

    explicit MidiPlayer(QObject* parent = nullptr);
    ~MidiPlayer() override;

    /// Ends what plays, and waits until it has ended.
    void stop();
    /// Plays file, ending what played before. When nothing can play it, cannotPlay is
    /// emitted (at once, or when the desktop's application fails right after its start).
    Route start(const QString& file);

    /// The desktop application's process while it runs, or 0.
    pid_t desktopPid() const { return m_pid; }
    /// True while the program itself plays a melody.
    bool playingInProgram() const { return m_synth != nullptr; }

signals:
    /// Nothing can play the preview; problem says why, worded for the user.
    void cannotPlay(const QString& problem);

private:
    /// Plays the file inside the program; desktopProblem says why the desktop did not.
    Route playInProgram(const QString& desktopProblem);
    /// Reaps a desktop player that ended, falls back to the program when it failed at once,
    /// releases the synthesizer at the end of its melody.
    void poll();

    std::string m_file;
    std::string m_app;
    pid_t m_pid = 0;
    QElapsedTimer m_since;
    std::unique_ptr<SynthPlayer> m_synth;
    QTimer* m_poll;
};

} // namespace tonebridge::gui
