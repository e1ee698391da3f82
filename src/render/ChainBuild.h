// Building a suggested chain for real: the file's source, then one filter per
// node of the chain, each connected to what came before. The platform does
// the building (the GStreamer one in a child process) and says which step
// failed; the texts a person reads are made here from that report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/ChainSearch.h"
#include "render/FilterRecords.h"

namespace torvo {

// How a node's filter comes into being.
enum class FilterCreation { kByClass, kDmoWrapper, kVfwWrapper, kAcmWrapper };

struct ChainBuildNode {
    FilterCreation creation = FilterCreation::kByClass;
    std::string clsidText;     // the entry's class identifier as registered
    std::string name;          // the entry's name, as the texts give it
    std::string friendlyName;  // the entry's registered name
    std::string path;          // the file implementing it
    std::string graphName;     // the name it gets in the graph
    bool renderer = false;     // the chain's target: the node completes the chain
    const CodecEntry* entry = nullptr;  // for the texts only
};

struct ChainBuildRequest {
    ChainKind kind = ChainKind::kVideo;
    std::string file;
    std::vector<ChainBuildNode> nodes;
    // The output pin a node continues through: the first whose name contains one of these.
    std::vector<std::string> pinFilter;
};

// What the platform did; the first failure ends the build.
struct ChainBuildReport {
    enum class Step {
        kNone,           // every node was added and connected
        kSource,         // the source filter for the file
        kCreate,         // creating a node's filter
        kClassId,        // the class identifier text does not parse
        kAdd,            // adding it to the graph
        kConnect,        // connecting the previous output pin to its input pin
        kPinInfo,        // a pin's information could not be read
    };
    Step failedStep = Step::kNone;
    int node = -1;           // the node that failed
    uint32_t code = 0;       // the platform's result code for the failure
    std::string message;     // the platform's own text
    // The connection that failed (kConnect).
    uint32_t outputPin = 0, inputPin = 0;
    std::string outputPinName, inputPinName;
    int completedNodes = 0;
    bool paused = false;     // the built graph reached the paused state
    // The build crashed (its child process ended on a fault), in this
    // module when it is known.
    bool crashed = false;
    std::string crashedIn;
};

class IChainBuildPlatform {
public:
    virtual ~IChainBuildPlatform() = default;
    // Builds the chain for the file and takes it to paused; never throws.
    virtual ChainBuildReport BuildChain(const ChainBuildRequest& request) = 0;
};

// The request for a chain of the search: its nodes in order, at most six,
// the renderer last. Empty nodes when the graph has none.
ChainBuildRequest MakeBuildRequest(const CGraph& graph, ChainKind kind, const std::string& file);

// "%s %s / %s": the wrapper label, the friendly name cut after 23
// characters ("..." when it had more than 24), the file name of its path.
std::string GraphFilterName(const char* label, std::string_view friendlyName, std::string_view path);

// The text of a failed build (empty when the build succeeded); describe
// gives the codec database's text of a result code.
std::string BuildErrorText(const ChainBuildRequest& request, const ChainBuildReport& report,
                           const std::function<std::string(uint32_t)>& describe);
// The crash report of a build that crashed (the module named when known);
// empty for any other outcome. ownProgram is never named as the culprit.
std::string ChainCrashReport(const ChainBuildReport& report, std::string_view ownProgram);

// A build succeeded: every node completed and the graph is paused.
inline bool BuildSucceeded(const ChainBuildReport& report) {
    return report.failedStep == ChainBuildReport::Step::kNone && report.paused;
}

}  // namespace torvo
