// The render platform of this machine: runs the render child (torvo-render)
// for each test, reads its description from a pipe and enforces a time limit,
// so that a plugin that crashes or hangs never touches the calling program.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "render/RenderPlatform.h"

namespace torvo {

class CChildRenderPlatform : public IRenderPlatform {
public:
    // helper: the torvo-render program; empty finds it (RenderHelperPath).
    explicit CChildRenderPlatform(std::chrono::milliseconds timeLimit = kDefaultTimeLimit, std::string helper = {});

    RenderOutcome RenderFile(const std::string& path) override;

    static constexpr std::chrono::milliseconds kDefaultTimeLimit{20000};

private:
    std::chrono::milliseconds timeLimit_;
    std::string helper_;
};

// The render child: $TORVO_RENDER_HELPER, beside the running program, in the
// installed helper folder, or where the build tree made it.
std::string RenderHelperPath();

// Parses the child's lines into an outcome (exposed for tests).
RenderOutcome ParseRenderLines(const std::string& lines, bool exitedNormally);

}  // namespace torvo
