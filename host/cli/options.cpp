#include "tonebridge/cli/options.h"

#include "tonebridge/cli/messages.h"
#include "tonebridge/core/file_name.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <ostream>

namespace tonebridge::cli {

namespace {

/// Copies a parsed option into an optional only when it was given on the command line.
void takeIfGiven(const CLI::Option* option, const std::string& value,
                 std::optional<std::string>& target) {
    if (option->count() > 0) {
        target = value;
    }
}

std::string quotedText(std::string_view text) {
    std::string result = "\"";
    result += text;
    result += '"';
    return result;
}

std::string hexId(int32_t id) {
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, static_cast<uint32_t>(id), 16);
    (void)ec; // 8 hex digits always fit
    return "0x" + std::string(digits, end);
}

std::string_view withoutLeadingPoint(std::string_view ext) {
    if (!ext.empty() && ext.front() == '.') {
        ext.remove_prefix(1);
    }
    return ext;
}

} // namespace

ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err) {
    ParseResult result;
    CliOptions& options = result.options;

    CLI::App app{kHelpDescription, kProgramName};
    // Options are spelt "--name" on every platform: an argument that starts with '/' is a
    // file path (a valid one on Windows too), not a Windows-style option.
    app.allow_windows_style_options(false);
    app.footer(kHelpFooter);
    // Wide enough that the longest option and its value stand apart from their text.
    app.get_formatter()->column_width(kHelpColumnWidth);
    std::string format;
    std::string connector;
    std::string dest;
    std::string plugins;
    const CLI::Option* formatOption =
        app.add_option("-f,--format", format, kHelpFormat)->type_name("NAME|ID");
    const CLI::Option* connectorOption =
        app.add_option("-c,--connector", connector, kHelpConnector)->type_name("NAME|ID|none");
    const CLI::Option* destOption = app.add_option("-d,--dest", dest, kHelpDest)->type_name("DIR");
    const CLI::Option* pluginsOption =
        app.add_option("--plugins", plugins, kHelpPlugins)->type_name("DIR");
    bool fit = false;
    std::string filter;
    std::string fitFor;
    std::optional<int> track;
    std::optional<int> voices;
    std::optional<int> transpose;
    std::optional<std::string> section;
    CLI::Option* fitOption = app.add_flag("--fit", fit, kHelpFit);
    CLI::Option* filterOption =
        app.add_option("--filter", filter, kHelpFilter)->type_name("NAME|ID|none");
    fitOption->excludes(filterOption);
    const CLI::Option* fitForOption =
        app.add_option("--fit-for", fitFor, kHelpFitFor)->type_name("FORMAT");
    app.add_option("--track", track, kHelpTrack)->type_name("N")->check(CLI::PositiveNumber);
    app.add_option("--voices", voices, kHelpVoices)->type_name("N")->check(CLI::Range(1, 16));
    app.add_option("--transpose", transpose, kHelpTranspose)
        ->type_name("N")
        ->check(CLI::Range(-127, 127));
    app.add_option("--section", section, kHelpSection)
        ->type_name("start|hook")
        ->check(CLI::IsMember({"start", "hook"}));
    app.add_flag("--list-formats", options.listFormats, kHelpListFormats);
    app.add_flag("--list-plugins", options.listPlugins, kHelpListPlugins);
    app.add_flag("-V,--version", options.version, kHelpVersion);
    app.add_option("FILE", options.files, kHelpFiles)->type_name("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        app.exit(help, out, err);
        result.exitCode = kExitOk;
        return result;
    } catch (const CLI::ParseError& error) {
        err << kErrorPrefix << error.what() << '\n' << kMsgTryHelp << '\n';
        result.exitCode = kExitUsage;
        return result;
    }

    takeIfGiven(formatOption, format, options.format);
    takeIfGiven(connectorOption, connector, options.connector);
    takeIfGiven(destOption, dest, options.dest);
    takeIfGiven(pluginsOption, plugins, options.plugins);
    takeIfGiven(filterOption, filter, options.filter);
    takeIfGiven(fitForOption, fitFor, options.fitFor);
    if (fit) {
        options.filter = std::to_string(kFitFilterId);
    }
    const auto addOption = [&](const char* key, const std::string& value) {
        options.filterOptions +=
            (options.filterOptions.empty() ? "" : " ") + std::string(key) + "=" + value;
    };
    if (track) {
        addOption("track", std::to_string(*track));
    }
    if (voices) {
        addOption("voices", std::to_string(*voices));
    }
    if (transpose) {
        addOption("transpose", std::to_string(*transpose));
    }
    if (section) {
        addOption("section", *section);
    }
    // Arranging options without a filter mean the shipped one.
    if (!options.filter && (options.fitFor || !options.filterOptions.empty())) {
        options.filter = std::to_string(kFitFilterId);
    }

    // An empty name or folder is always a slip (an unset shell variable, say): refuse it
    // rather than fall back to a default the user did not ask for.
    const std::pair<const std::optional<std::string>*, const char*> given[] = {
        {&options.format, "--format"}, {&options.connector, "--connector"},
        {&options.dest, "--dest"},     {&options.plugins, "--plugins"},
        {&options.filter, "--filter"}, {&options.fitFor, "--fit-for"}};
    for (const auto& [value, name] : given) {
        if (value->has_value() && (*value)->empty()) {
            err << kErrorPrefix << kMsgEmptyArgument << name << '\n' << kMsgTryHelp << '\n';
            result.exitCode = kExitUsage;
            return result;
        }
    }
    return result;
}

std::optional<int32_t> parseIdentifier(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    const std::string left = core::toLower(a);
    const std::string right = core::toLower(b);
    // One row of the classic table, updated in place.
    std::vector<std::size_t> row(right.size() + 1);
    for (std::size_t j = 0; j <= right.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= left.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= right.size(); ++j) {
            const std::size_t above = row[j];
            const std::size_t substitution = diagonal + (left[i - 1] == right[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[right.size()];
}

std::optional<std::string> closestName(std::string_view typed,
                                       const std::vector<std::string>& candidates) {
    std::optional<std::string> best;
    std::size_t bestDistance = 0;
    for (const std::string& candidate : candidates) {
        // A third of the name may be mistyped, at least one and at most three characters:
        // enough for slips, too little to suggest an unrelated format.
        const std::size_t allowed = std::clamp<std::size_t>(candidate.size() / 3, 1, 3);
        const std::size_t distance = editDistance(typed, candidate);
        if (distance <= allowed && (!best || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

namespace {

std::vector<NamedPlugin> namedPlugins(const std::vector<core::Plugin>& plugins) {
    std::vector<NamedPlugin> result;
    for (const core::Plugin& plugin : plugins) {
        if (plugin.id() && plugin.displayName()) {
            result.push_back({*plugin.id(), *plugin.displayName(), plugin.outputExt().value_or(""),
                              plugin.kind() == TB_KIND_CONNECTOR ? plugin.inputExt().value_or("")
                                                                 : std::string()});
        }
    }
    return result;
}

} // namespace

std::vector<NamedPlugin> namedCoders(const core::PluginRegistry& registry) {
    return namedPlugins(registry.coders());
}

std::vector<NamedPlugin> namedConnectors(const core::PluginRegistry& registry) {
    return namedPlugins(registry.connectors());
}

std::vector<NamedPlugin> namedFilters(const core::PluginRegistry& registry) {
    return namedPlugins(registry.filters());
}

namespace {

/// Short names people type for a format, and the output extension each stands for.
constexpr std::pair<const char*, const char*> kFormatAliases[] = {
    {"gd95", ".gd85_95"}, {"gd85", ".gd85_95"}, {"gd85/95", ".gd85_95"},
    {"midi", ".mid"},     {"smf", ".mid"},      {"rtx", ".rtttl"},
    {"imelody", ".imy"},  {"wave", ".wav"},     {"vorbis", ".ogg"},
};

const char* unknownText(PluginKind kind) {
    switch (kind) {
    case PluginKind::Format:
        return kMsgUnknownFormat;
    case PluginKind::Connector:
        return kMsgUnknownConnector;
    default:
        return kMsgUnknownFilter;
    }
}

const char* noIdText(PluginKind kind) {
    switch (kind) {
    case PluginKind::Format:
        return kMsgNoFormatWithId;
    case PluginKind::Connector:
        return kMsgNoConnectorWithId;
    default:
        return kMsgNoFilterWithId;
    }
}

} // namespace

Resolution resolvePlugin(const std::vector<NamedPlugin>& plugins, std::string_view typed,
                         PluginKind kind) {
    const bool isFormat = kind == PluginKind::Format;
    Resolution result;
    if (const std::optional<int32_t> id = parseIdentifier(typed)) {
        const auto found = std::find_if(plugins.begin(), plugins.end(),
                                        [&](const NamedPlugin& p) { return p.id == *id; });
        if (found != plugins.end()) {
            result.id = found->id;
        } else {
            result.error = std::string(noIdText(kind)) + hexId(*id);
        }
        return result;
    }

    const std::string wanted = core::toLower(typed);
    for (const NamedPlugin& plugin : plugins) {
        if (core::toLower(plugin.name) == wanted) {
            result.id = plugin.id;
            return result;
        }
    }
    for (const NamedPlugin& plugin : plugins) {
        const std::string_view ext = withoutLeadingPoint(plugin.ext);
        if (!ext.empty() && core::toLower(ext) == core::toLower(withoutLeadingPoint(wanted))) {
            result.id = plugin.id;
            return result;
        }
    }

    if (isFormat) {
        for (const auto& [alias, ext] : kFormatAliases) {
            if (wanted != alias) {
                continue;
            }
            for (const NamedPlugin& plugin : plugins) {
                if (core::toLower(plugin.ext) == ext) {
                    result.id = plugin.id;
                    return result;
                }
            }
        }
    }

    // A slip in a name or in an extension gets the same suggestion.
    std::vector<std::string> names;
    for (const NamedPlugin& plugin : plugins) {
        names.push_back(plugin.name);
        if (!withoutLeadingPoint(plugin.ext).empty()) {
            names.emplace_back(withoutLeadingPoint(plugin.ext));
        }
    }
    if (isFormat) {
        // The short names people type, where their format is loaded.
        for (const auto& [alias, ext] : kFormatAliases) {
            if (std::any_of(plugins.begin(), plugins.end(),
                            [&](const NamedPlugin& p) { return core::toLower(p.ext) == ext; })) {
                names.emplace_back(alias);
            }
        }
    }
    result.error = std::string(unknownText(kind)) + quotedText(typed);
    if (const std::optional<std::string> suggestion = closestName(typed, names)) {
        result.error += std::string("; ") + kMsgDidYouMean + quotedText(*suggestion) + "?";
    }
    return result;
}

} // namespace tonebridge::cli
