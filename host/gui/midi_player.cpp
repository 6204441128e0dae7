#include "midi_player.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

#include <array>

namespace tonebridge::gui {

namespace {

constexpr std::array<const char*, 2> kMidiMimeTypes = {"audio/midi", "audio/x-midi"};
constexpr const char* kXdgMime = "xdg-mime";
/// This program's own desktop entry: never taken for the player, or a preview would open a
/// second converter instead of playing.
constexpr const char* kOwnDesktopId = "tonebridge.desktop";
constexpr const char* kMimeAppsList = "mimeapps.list";
constexpr const char* kMimeInfoCache = "mimeinfo.cache";
constexpr const char* kGroupDefaults = "Default Applications";
constexpr const char* kGroupAdded = "Added Associations";
constexpr const char* kGroupCache = "MIME Cache";
constexpr const char* kGroupDesktopEntry = "Desktop Entry";
constexpr const char* kKeyExec = "Exec";
constexpr int kXdgMimeTimeoutMs = 5000;
/// How long a player may take to start, and to end after it was asked to.
constexpr int kStartTimeoutMs = 5000;
constexpr int kTerminateTimeoutMs = 3000;
constexpr int kKillTimeoutMs = 3000;

/// Players tried, in order, when the desktop names none; fluidsynth also needs a sound font.
constexpr const char* kTimidity = "timidity";
constexpr const char* kFluidsynth = "fluidsynth";
constexpr const char* kAplaymidi = "aplaymidi";
constexpr std::array<const char*, 5> kSoundFonts = {
    "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3", "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/soundfonts/default.sf2"};

QString envPath(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? value : fallback;
}

QStringList envPathList(const char* name, const QString& fallback) {
    QStringList result;
    const QString value = qEnvironmentVariable(name);
    for (const QString& entry :
         (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(entry)) {
            result << entry;
        }
    }
    return result;
}

/// Folders searched for applications and their lists: the user's first.
QStringList applicationDirs() {
    QStringList dirs{envPath("XDG_DATA_HOME", QDir::homePath() + "/.local/share")};
    dirs << envPathList("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    for (QString& dir : dirs) {
        dir += "/applications";
    }
    return dirs;
}

/// Every mimeapps.list, in the order the desktop consults them.
QStringList mimeAppsLists() {
    QStringList configDirs{envPath("XDG_CONFIG_HOME", QDir::homePath() + "/.config")};
    configDirs << envPathList("XDG_CONFIG_DIRS", "/etc/xdg");
    QStringList desktops;
    for (const QString& desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts)) {
        desktops << desktop.toLower() + "-" + kMimeAppsList;
    }
    desktops << kMimeAppsList;
    QStringList files;
    for (const QStringList& dirs : {configDirs, applicationDirs()}) {
        for (const QString& dir : dirs) {
            for (const QString& name : desktops) {
                files << dir + "/" + name;
            }
        }
    }
    return files;
}

/// Key-value lines of one [group] of a desktop-style file (keys keep their case and any
/// "/": QSettings would mangle "audio/midi").
QList<std::pair<QString, QString>> readGroup(const QString& path, const QString& group) {
    QList<std::pair<QString, QString>> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return entries;
    }
    QTextStream in(&file);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            inGroup = line.mid(1, line.size() - 2) == group;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inGroup && eq > 0) {
            entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
        }
    }
    return entries;
}

/// The first installed application a group of a list names for MIDI files.
QString firstInstalled(const QString& listPath, const QString& group) {
    const auto entries = readGroup(listPath, group);
    for (const char* mime : kMidiMimeTypes) {
        for (const auto& [key, value] : entries) {
            if (key != QLatin1String(mime)) {
                continue;
            }
            for (const QString& id : value.split(u';', Qt::SkipEmptyParts)) {
                if (!findDesktopFile(id.trimmed()).isEmpty()) {
                    return id.trimmed();
                }
            }
        }
    }
    return {};
}

/// Undoes the escapes of a desktop file's string value.
QString unescapeValue(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's') {
            out += u' ';
        } else if (next == u'n') {
            out += u'\n';
        } else if (next == u't') {
            out += u'\t';
        } else if (next == u'r') {
            out += u'\r';
        } else {
            out += u'\\';
            out += next;
        }
    }
    return out;
}

/// Splits an Exec value into arguments, undoing its double-quote quoting.
QStringList splitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasToken = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\' && i + 1 < exec.size() &&
                       QStringView(u"\"`$\\").contains(exec[i + 1])) {
                current += exec[++i];
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            hasToken = true;
        } else if (c.isSpace()) {
            if (hasToken) {
                args << current;
                current.clear();
                hasToken = false;
            }
        } else {
            current += c;
            hasToken = true;
        }
    }
    if (hasToken) {
        args << current;
    }
    return args;
}

bool isFileCode(QChar code) {
    return code == u'f' || code == u'F' || code == u'u' || code == u'U';
}

bool isExecutable(const QString& program) {
    if (program.contains(u'/')) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

std::optional<PlayerCommand> knownPlayer(const QString& file) {
    if (isExecutable(kTimidity)) {
        return PlayerCommand{kTimidity, {file}};
    }
    if (isExecutable(kFluidsynth)) {
        for (const char* font : kSoundFonts) {
            if (QFileInfo::exists(font)) {
                return PlayerCommand{kFluidsynth, {"-i", font, file}};
            }
        }
    }
    if (isExecutable(kAplaymidi)) {
        return PlayerCommand{kAplaymidi, {file}};
    }
    return std::nullopt;
}

} // namespace

QString defaultMidiApplication() {
    const QString xdgMime = QStandardPaths::findExecutable(kXdgMime);
    if (!xdgMime.isEmpty()) {
        QProcess query;
        query.start(xdgMime, {"query", "default", kMidiMimeTypes[0]});
        if (query.waitForFinished(kXdgMimeTimeoutMs) && query.exitCode() == 0) {
            const QString id = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
            if (!id.isEmpty()) {
                return id.section(u'\n', 0, 0).trimmed();
            }
        } else {
            query.kill();
            query.waitForFinished(kXdgMimeTimeoutMs);
        }
    }
    const QStringList lists = mimeAppsLists();
    for (const char* group : {kGroupDefaults, kGroupAdded}) {
        for (const QString& list : lists) {
            const QString id = firstInstalled(list, group);
            if (!id.isEmpty()) {
                return id;
            }
        }
    }
    for (const QString& dir : applicationDirs()) {
        const QString id = firstInstalled(dir + "/" + kMimeInfoCache, kGroupCache);
        if (!id.isEmpty()) {
            return id;
        }
    }
    return {};
}

QString findDesktopFile(const QString& desktopId) {
    if (desktopId.isEmpty() || desktopId.contains(u'/') || desktopId.startsWith(u'.')) {
        return {};
    }
    // An id "vendor-app.desktop" may also stand for vendor/app.desktop.
    QStringList names{desktopId};
    QString nested = desktopId;
    for (qsizetype dash = nested.indexOf(u'-'); dash > 0; dash = nested.indexOf(u'-', dash + 1)) {
        nested[dash] = u'/';
        names << nested;
    }
    for (const QString& dir : applicationDirs()) {
        for (const QString& name : names) {
            const QString path = dir + "/" + name;
            if (QFileInfo(path).isFile()) {
                return path;
            }
        }
    }
    return {};
}

QString desktopExec(const QString& desktopFilePath) {
    for (const auto& [key, value] : readGroup(desktopFilePath, kGroupDesktopEntry)) {
        if (key == QLatin1String(kKeyExec)) {
            return unescapeValue(value);
        }
    }
    return {};
}

std::optional<PlayerCommand> commandFromExec(const QString& exec, const QString& file) {
    const QStringList tokens = splitExec(exec);
    // The program itself must be named: a field code cannot stand for it.
    if (tokens.isEmpty() || tokens.front().startsWith(u'%')) {
        return std::nullopt;
    }
    QStringList args;
    bool fileUsed = false;
    for (const QString& token : tokens) {
        if (token.size() == 2 && token[0] == u'%' && token[1] != u'%') {
            // A field code standing alone: the file once, everything else dropped.
            if (isFileCode(token[1]) && !fileUsed) {
                args << file;
                fileUsed = true;
            }
            continue;
        }
        QString arg;
        for (qsizetype i = 0; i < token.size(); ++i) {
            if (token[i] != u'%' || i + 1 == token.size()) {
                arg += token[i];
                continue;
            }
            const QChar code = token[++i];
            if (code == u'%') {
                arg += u'%';
            } else if (isFileCode(code) && !fileUsed) {
                arg += file;
                fileUsed = true;
            }
        }
        args << arg;
    }
    if (args.isEmpty() || args.front().isEmpty()) {
        return std::nullopt;
    }
    if (!fileUsed) {
        args << file;
    }
    PlayerCommand command{args.takeFirst(), args};
    return command;
}

std::optional<PlayerCommand> resolvePlayer(const QString& file) {
    const QString id = defaultMidiApplication();
    if (!id.isEmpty() && id != QLatin1String(kOwnDesktopId)) {
        const QString desktopFile = findDesktopFile(id);
        if (!desktopFile.isEmpty()) {
            const auto command = commandFromExec(desktopExec(desktopFile), file);
            if (command && isExecutable(command->program)) {
                return command;
            }
        }
    }
    return knownPlayer(file);
}

MidiPlayer::MidiPlayer(QObject* parent) : QObject(parent) {}

MidiPlayer::~MidiPlayer() {
    stop();
}

void MidiPlayer::stop() {
    if (m_process == nullptr || m_process->state() == QProcess::NotRunning) {
        return;
    }
    m_process->terminate();
    // WATCHOUT: a player that ignores the request would block the window for ever; after a
    // grace period it is killed instead.
    if (!m_process->waitForFinished(kTerminateTimeoutMs)) {
        m_process->kill();
        m_process->waitForFinished(kKillTimeoutMs);
    }
}

void MidiPlayer::start(const QString& file) {
    stop();
    delete m_process;
    m_process = nullptr;

    const QString path = QFileInfo(file).absoluteFilePath();
    const auto command = resolvePlayer(path);
    if (!command) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return;
    }
    m_process = new QProcess(this);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->start(command->program, command->arguments);
    if (!m_process->waitForStarted(kStartTimeoutMs)) {
        delete m_process;
        m_process = nullptr;
    }
}

} // namespace tonebridge::gui
