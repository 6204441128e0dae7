#include "midi_player.h"

#include "desktop_app.h"
#include "gui_texts.h"
#include "synth_player.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <string_view>

namespace tonebridge::gui {

namespace {

/// How long a desktop player may take to end after it was asked to.
constexpr int kTerminateTimeoutMs = 3000;
/// A desktop player that fails within this time of its start has not played: the program
/// plays instead. Later failures are the player's business.
constexpr qint64 kQuickFailureMs = 3000;
/// How often a running preview is looked at.
constexpr int kPollIntervalMs = 100;
/// The synthesizer's messages start so; in the box the sentence goes on instead.
constexpr std::string_view kErrorPrefix = "Error : ";

QString reasonText(const std::string& error) {
    std::string_view reason = error;
    if (reason.substr(0, kErrorPrefix.size()) == kErrorPrefix) {
        reason.remove_prefix(kErrorPrefix.size());
    }
    return QString::fromStdString(std::string(reason));
}

} // namespace

MidiPlayer::MidiPlayer(QObject* parent) : QObject(parent), m_poll(new QTimer(this)) {
    m_poll->setInterval(kPollIntervalMs);
    connect(m_poll, &QTimer::timeout, this, &MidiPlayer::poll);
}

MidiPlayer::~MidiPlayer() {
    stop();
}

void MidiPlayer::stop() {
    m_poll->stop();
    m_synth.reset();
    if (m_pid > 0) {
        endChild(m_pid, kTerminateTimeoutMs);
        m_pid = 0;
    }
}

MidiPlayer::Route MidiPlayer::start(const QString& file) {
    stop();
    m_file = QFile::encodeName(QFileInfo(file).absoluteFilePath()).toStdString();
    m_app = defaultMidiApplication();
    if (m_app.empty()) {
        return playInProgram(QString::fromUtf8(text::kPlayNoApplication));
    }
    const Launch launch = launchApplication(m_app, m_file);
    if (!launch.started) {
        QString problem = QString::fromStdString(m_app) + text::kPlayCannotStart;
        if (!launch.error.empty()) {
            problem += " (" + QString::fromStdString(launch.error) + ")";
        }
        return playInProgram(problem);
    }
    m_pid = launch.pid;
    if (m_pid > 0) {
        m_since.start();
        m_poll->start();
    }
    return Route::Desktop;
}

MidiPlayer::Route MidiPlayer::playInProgram(const QString& desktopProblem) {
    std::string error;
    m_synth = SynthPlayer::start(m_file, &error);
    if (!m_synth) {
        emit cannotPlay(QString::fromUtf8(text::kPlayNothing) + desktopProblem + text::kPlayAnd +
                        reasonText(error));
        return Route::Nothing;
    }
    m_poll->start();
    return Route::InProgram;
}

void MidiPlayer::poll() {
    if (m_pid > 0) {
        const ChildState state = pollChild(m_pid);
        if (state != ChildState::Running) {
            m_pid = 0;
            if (state == ChildState::Failed && m_since.elapsed() < kQuickFailureMs) {
                playInProgram(QString::fromStdString(m_app) + text::kPlayFailed);
            }
        }
    }
    if (m_synth && m_synth->finished()) {
        m_synth.reset();
    }
    if (m_pid == 0 && !m_synth) {
        m_poll->stop();
    }
}

} // namespace tonebridge::gui
