// The command line of tonebridge-cli: parsing it, and turning the names the user typed into
// plug-in identifiers.
#pragma once

#include "tonebridge/core/plugin_registry.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonebridge::cli {

/// What the command line asked for.
struct CliOptions {
    std::vector<std::string> files;
    std::optional<std::string> format;    ///< --format NAME|ID
    std::optional<std::string> connector; ///< --connector NAME|ID|none
    std::optional<std::string> dest;      ///< --dest DIR
    std::optional<std::string> plugins;   ///< --plugins DIR
    std::optional<std::string> filter;    ///< --filter NAME|ID|none, or the shipped one (--fit)
    std::optional<std::string> fitFor;    ///< --fit-for FORMAT: the filter's target
    /// The filter's options from --track, --voices, --transpose, --section ("key=value ...").
    std::string filterOptions;
    bool listFormats = false;
    bool listPlugins = false;
    bool version = false;
};

struct ParseResult {
    CliOptions options;
    /// Set when the program is to end at once with this code (after --help, or an error that
    /// has been reported on err).
    std::optional<int> exitCode;
};

/// Parses argv; --help goes to out, mistakes to err.
ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err);

/// A decimal number or a 0x hex number that fits 32 bits, as a plug-in identifier.
std::optional<int32_t> parseIdentifier(std::string_view text);

/// Levenshtein distance, ASCII case ignored.
std::size_t editDistance(std::string_view a, std::string_view b);

/// The candidate nearest to typed, if it is near enough to be a likely typo.
std::optional<std::string> closestName(std::string_view typed,
                                       const std::vector<std::string>& candidates);

/// A coder or connector as the user can name it.
struct NamedPlugin {
    int32_t id = 0;
    std::string name;  ///< GetFormatName or GetConnectorName
    std::string ext;   ///< GetFormatNameExt or GetConnectorExt, with its point
    std::string input; ///< GetInputExt (connectors that unwrap inputs), or empty
};

/// The coders (or connectors) that have a name and an identifier, in registry order.
std::vector<NamedPlugin> namedCoders(const core::PluginRegistry& registry);
std::vector<NamedPlugin> namedConnectors(const core::PluginRegistry& registry);
std::vector<NamedPlugin> namedFilters(const core::PluginRegistry& registry);

/// Outcome of naming a plug-in: its identifier, or an error text ready to show.
struct Resolution {
    std::optional<int32_t> id;
    std::string error;
};

/// Finds the plug-in the user meant: an identifier, a name (case-insensitive) or an output
/// extension with or without its point. Unknown names get a "did you mean" suggestion.
/// kind picks the wording of the error.
enum class PluginKind { Format, Connector, Filter };
Resolution resolvePlugin(const std::vector<NamedPlugin>& plugins, std::string_view typed,
                         PluginKind kind);

} // namespace tonebridge::cli
