// The steps a conversion and a preview share: read the input, unwrap an outer extension
// with its connectors, decode with the decoders of the inner extension and code with one
// coder. Each caller reports in its own way through a PipelineReport. Private to the core.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/plugin_support.h"

#include <cstdint>
#include <string>

namespace tonebridge::core {

class PipelineReport {
public:
    virtual ~PipelineReport() = default;
    /// A plug-in returned this message (with any status).
    virtual void pluginMessage(const std::string& text) = 0;
    /// The step failed: text is the core's own wording, or null when a plug-in failed and
    /// its message (if any) was already reported.
    virtual void failure(const char* text) = 0;
};

/// Runs the shared steps on the file at fullPath and codes the melody with the coder
/// coderId. On success coded holds the coder's buffer set; false after a failure was
/// reported. Every block obtained from a plug-in is released on every path.
bool decodeAndCode(const PluginRegistry& registry, const std::string& fullPath, int32_t coderId,
                   PipelineReport& report, BufferSet& coded);

/// Releases a plug-in's message with free.
struct MessageDeleter {
    void operator()(char* text) const;
};

/// Calls Connect of connector on input; adopts the result only on success. Reports the
/// returned message. Returns the plug-in's status.
int32_t callConnect(TbConnectFn connect, uint8_t* const* buffers, const uint32_t* sizes,
                    uint32_t count, BufferSet& result, PipelineReport& report);

} // namespace tonebridge::core
