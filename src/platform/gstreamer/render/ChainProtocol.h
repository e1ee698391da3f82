// A chain to build as the render child receives it (one JSON argument) and
// the report it writes back (one JSON line, "chain").
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "render/ChainBuild.h"

namespace torvo::chain_protocol {

inline constexpr const char* kReport = "chain";

inline const char* CreationText(FilterCreation c) {
    switch (c) {
        case FilterCreation::kDmoWrapper: return "dmo";
        case FilterCreation::kVfwWrapper: return "vfw";
        case FilterCreation::kAcmWrapper: return "acm";
        default: return "class";
    }
}

inline FilterCreation CreationOf(const std::string& text) {
    if (text == "dmo") return FilterCreation::kDmoWrapper;
    if (text == "vfw") return FilterCreation::kVfwWrapper;
    if (text == "acm") return FilterCreation::kAcmWrapper;
    return FilterCreation::kByClass;
}

inline std::string RequestText(const ChainBuildRequest& r) {
    nlohmann::json j;
    j["kind"] = r.kind == ChainKind::kAudio ? "audio" : "video";
    j["file"] = r.file;
    j["pinFilter"] = r.pinFilter;
    nlohmann::json nodes = nlohmann::json::array();
    for (const ChainBuildNode& n : r.nodes)
        nodes.push_back({{"creation", CreationText(n.creation)},
                         {"clsid", n.clsidText},
                         {"name", n.name},
                         {"friendlyName", n.friendlyName},
                         {"path", n.path},
                         {"graphName", n.graphName},
                         {"renderer", n.renderer}});
    j["nodes"] = std::move(nodes);
    return j.dump();
}

inline bool ParseRequest(const std::string& text, ChainBuildRequest& r) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (!j.is_object() || !j.contains("nodes") || !j["nodes"].is_array()) return false;
    r = {};
    r.kind = j.value("kind", "video") == "audio" ? ChainKind::kAudio : ChainKind::kVideo;
    r.file = j.value("file", "");
    if (j.contains("pinFilter") && j["pinFilter"].is_array())
        for (const auto& f : j["pinFilter"])
            if (f.is_string()) r.pinFilter.push_back(f.get<std::string>());
    for (const auto& n : j["nodes"]) {
        if (!n.is_object()) return false;
        ChainBuildNode node;
        node.creation = CreationOf(n.value("creation", "class"));
        node.clsidText = n.value("clsid", "");
        node.name = n.value("name", "");
        node.friendlyName = n.value("friendlyName", "");
        node.path = n.value("path", "");
        node.graphName = n.value("graphName", "");
        node.renderer = n.value("renderer", false);
        r.nodes.push_back(std::move(node));
    }
    return true;
}

inline const char* StepText(ChainBuildReport::Step s) {
    using S = ChainBuildReport::Step;
    switch (s) {
        case S::kSource: return "source";
        case S::kCreate: return "create";
        case S::kClassId: return "clsid";
        case S::kAdd: return "add";
        case S::kConnect: return "connect";
        case S::kPinInfo: return "pininfo";
        default: return "none";
    }
}

inline ChainBuildReport::Step StepOf(const std::string& text) {
    using S = ChainBuildReport::Step;
    for (S s : {S::kSource, S::kCreate, S::kClassId, S::kAdd, S::kConnect, S::kPinInfo})
        if (text == StepText(s)) return s;
    return S::kNone;
}

inline nlohmann::json ReportJson(const ChainBuildReport& r) {
    return {{"step", StepText(r.failedStep)}, {"node", r.node},
            {"code", r.code},                 {"message", r.message},
            {"outputPin", r.outputPin},       {"outputPinName", r.outputPinName},
            {"inputPin", r.inputPin},         {"inputPinName", r.inputPinName},
            {"completed", r.completedNodes},  {"paused", r.paused}};
}

inline ChainBuildReport ReportOf(const nlohmann::json& j) {
    ChainBuildReport r;
    if (!j.is_object()) return r;
    r.failedStep = StepOf(j.value("step", "none"));
    r.node = j.value("node", -1);
    r.code = j.value("code", 0u);
    r.message = j.value("message", "");
    r.outputPin = j.value("outputPin", 0u);
    r.outputPinName = j.value("outputPinName", "");
    r.inputPin = j.value("inputPin", 0u);
    r.inputPinName = j.value("inputPinName", "");
    r.completedNodes = j.value("completed", 0);
    r.paused = j.value("paused", false);
    return r;
}

}  // namespace torvo::chain_protocol
