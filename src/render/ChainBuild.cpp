#include "render/ChainBuild.h"

#include "base/Text.h"
#include "inventory/InventoryService.h"
#include "base/Translate.h"

namespace torvo {
namespace {

FilterCreation CreationOf(int32_t kind) {
    switch (kind) {
        case kKindDmo: return FilterCreation::kDmoWrapper;
        case kKindVfw: return FilterCreation::kVfwWrapper;
        case kKindAcm: return FilterCreation::kAcmWrapper;
        default: return FilterCreation::kByClass;
    }
}

const char* LabelOf(FilterCreation creation) {
    switch (creation) {
        case FilterCreation::kVfwWrapper: return "{ VFW }";
        case FilterCreation::kAcmWrapper: return "{ ACM }";
        default: return "";
    }
}

}  // namespace

std::string GraphFilterName(const char* label, std::string_view friendlyName, std::string_view path) {
    std::string name(TruncateUtf8(friendlyName, 23));
    if (CountUtf8(friendlyName) > 24) name += "...";
    return Format("%s %s / %s", label, name.c_str(), std::string(FileNamePart(path)).c_str());
}

ChainBuildRequest MakeBuildRequest(const CGraph& graph, ChainKind kind, const std::string& file) {
    ChainBuildRequest request;
    request.kind = kind;
    request.file = file;
    if (kind == ChainKind::kVideo) request.pinFilter = {"ideo", "tream 00"};
    else request.pinFilter = {"udio", "tream 01", "AC3", "DTS", "LPCM"};
    for (const CGraphNode& n : graph.nodes) {
        int index = -1;
        if (n.choice >= 1 && n.choice < graph.count) index = n.choice;
        else if (n.choice == 0 && n.target >= 0 && n.target < graph.count) index = n.target;
        if (index < 0) continue;
        const CodecEntry& e = graph.entries[index];
        ChainBuildNode node;
        node.creation = CreationOf(e.kind);
        node.clsidText = std::string(e.clsidText.View());
        node.name = std::string(e.name.View());
        node.friendlyName = std::string(e.friendlyName.Empty() ? e.name.View() : e.friendlyName.View());
        node.path = std::string(e.path.View());
        node.graphName = GraphFilterName(LabelOf(node.creation), node.friendlyName, node.path);
        node.renderer = n.choice == 0;
        node.entry = &e;
        const bool last = node.renderer;
        request.nodes.push_back(std::move(node));
        if (last) break;
    }
    return request;
}

std::string BuildErrorText(const ChainBuildRequest& request, const ChainBuildReport& report,
                           const std::function<std::string(uint32_t)>& describe) {
    using Step = ChainBuildReport::Step;
    // GStreamer's own words when it gave some; the code's description only without them.
    std::string error = report.message;
    if (error.empty() && report.code != 0 && describe) error = describe(report.code);
    const bool haveNode = report.node >= 0 && size_t(report.node) < request.nodes.size();
    const ChainBuildNode empty;
    const ChainBuildNode& node = haveNode ? request.nodes[size_t(report.node)] : empty;
    switch (report.failedStep) {
        case Step::kNone:
            if (report.paused) return {};
            return error;
        case Step::kSource:
            return Format(N_("Не удалось создать элемент-источник filesrc для входного файла %s.Неудача gst_element_factory_make(),ошибка:%s"),
                          request.file.c_str(), error.c_str());
        case Step::kCreate:
            switch (node.creation) {
                case FilterCreation::kDmoWrapper:
                    return Format(N_("Failed to create instance of DMO filter %s. Ошибка:%s"), node.name.c_str(), error.c_str());
                case FilterCreation::kVfwWrapper:
                    return Format(N_("Failed to create instance of VFW wrapper. Неудача CoCreateInstance(),ошибка:%s"),
                                  error.c_str());
                case FilterCreation::kAcmWrapper:
                    return Format(N_("Failed to create instance of ACM wrapper. Неудача CoCreateInstance(), ошибка:%s"),
                                  error.c_str());
                case FilterCreation::kByClass:
                    return Format(N_("Failed to create element %s. Неудача gst_element_factory_create(),ошибка:%s"),
                                  node.name.c_str(), error.c_str());
            }
            return error;
        case Step::kClassId:
            return Format(N_("Failed to create element %s - Unable to find its factory from the identifier %s. Неудача "
                          "gst_element_factory_find(),ошибка:%s"),
                          node.name.c_str(), node.clsidText.c_str(), error.c_str());
        case Step::kAdd:
            return Format(N_("Failed to add element %s to the pipeline. Неудача gst_bin_add(),ошибка:%s"),
                          node.name.c_str(), error.c_str());
        case Step::kConnect: {
            // The previous filter: the file for the first node, else the previous entry.
            std::string previous(FileNamePart(request.file));
            if (haveNode && report.node > 0) previous = request.nodes[size_t(report.node - 1)].name;
            return Format(N_("Failed to link source pad \"%s\" of %s to sink pad \"%s\" of element \"%s\".Неудача "
                          "gst_pad_link(),ошибка:%s"),
                          report.outputPinName.c_str(), previous.c_str(), report.inputPinName.c_str(), node.name.c_str(),
                          error.c_str());
        }
        case Step::kPinInfo:
            return Format(N_("Couldn't get pad information, неудача gst_pad_get_parent_element(),ошибка:%s"), error.c_str());
    }
    return error;
}

std::string ChainCrashReport(const ChainBuildReport& report, std::string_view ownProgram) {
    return report.crashed ? CrashReportText(kCrashInRender, {}, report.crashedIn, ownProgram) : std::string();
}

}  // namespace torvo
